#pragma once

#include "xlsxcells.h"

#include <QString>

namespace xlsx {

// No part of a workbook we read may unpack to more than this (zip bombs).
constexpr qint64 kMaxPartSize = 64 * 1024 * 1024;

// Loads the cells of the workbook's first worksheet. False with a readable
// reason when the file is not a workbook we can read; rows is then empty.
// sheetPart, when given, receives the worksheet's part name in the package.
bool loadWorkbook(const QString& path, CellMap* rows, QString* error, QString* sheetPart = nullptr);

} // namespace xlsx
