#pragma once

#include "xlsxcells.h"

#include <QString>

class QuaZip;

namespace xlsx {

// No part of a workbook we read may unpack to more than this (zip bombs).
constexpr qint64 kMaxPartSize = 64 * 1024 * 1024;

// Loads the cells of the workbook's first worksheet. False with a readable
// reason when the file is not a workbook we can read; rows is then empty.
// sheetPart and workbookPart, when given, receive the part names in the package
// of the worksheet and of the workbook; problems the cells that rows cannot
// give as shown (a formula without a stored result, which is not in rows; a
// number shown as a date, time, percentage or fraction).
bool loadWorkbook(const QString& path, CellMap* rows, QString* error, QString* sheetPart = nullptr,
                  QString* workbookPart = nullptr, CellProblems* problems = nullptr);

// Why the markup of a part would cost the XML parser the square of its size
// (too many attributes in a tag, or namespaces in scope); empty when it is fine.
QString markupProblem(const QByteArray& data, const QString& part);

// Unpacks the part `name` of `zip` into `data`, at most kMaxPartSize bytes
// whatever its header says, with its markup checked; empty when it is read,
// else why not. With `missing`, a part that is not there only sets it.
QString readPackagePart(QuaZip& zip, const QString& name, QByteArray* data, bool* missing = nullptr);

// A relationship target relative to the part that owns it, as a zip entry name;
// empty when it points outside the package.
QString resolveTarget(const QString& sourcePart, const QString& target);
// The relationships part of a part ("xl/workbook.xml": "xl/_rels/workbook.xml.rels").
QString relsPartOf(const QString& part);

} // namespace xlsx
