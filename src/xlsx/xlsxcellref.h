#pragma once

#include <QString>

namespace xlsx {

// The sheet size limits of current spreadsheet programs; cells outside are refused.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

// "B12" -> row 12, column 2 (1-based). Accepts optional '$' markers ("$B$12").
// Returns false (leaving the outputs untouched) for anything else or a cell
// outside the sheet limits.
bool parseCellRef(const QString& ref, int* row, int* column);

// Row 12, column 2 -> "B12"; an empty string outside the sheet limits.
QString cellRef(int row, int column);

// Column 2 -> "B", 28 -> "AB"; an empty string outside the limits.
QString columnName(int column);

} // namespace xlsx
