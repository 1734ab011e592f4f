#pragma once

#include <QString>
#include <QVariant>

#include <map>

namespace xlsx {

// New contents of single cells, by row and column; a null value clears the cell.
using CellEdits = std::map<int, std::map<int, QVariant>>;

// Saves a workbook someone else made with only `edits` changed in its
// worksheet `sheetPart`: the other parts of the package are copied unchanged
// (other sheets, styles, shared strings), and in the sheet every other cell,
// row and element keeps its markup. An edited cell keeps its style. So that
// formulas stay right, the workbook `workbookPart` is set to recalculate when
// next opened, its calculation chain is dropped, and the formulas of the sheet
// and those of other sheets that refer to it (by its name or through a defined
// name), or to a sheet whose formulas lost theirs, lose their stored results.
// Atomic (temporary file renamed over `path`).
bool patchWorkbook(const QString& path, const QString& workbookPart, const QString& sheetPart, const CellEdits& edits,
                   QString* error);

} // namespace xlsx
