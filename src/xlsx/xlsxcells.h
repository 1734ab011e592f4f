#pragma once

#include <QVariant>

#include <map>
#include <vector>

namespace xlsx {

// Spreadsheet programs refuse longer cell texts, so we neither write nor read them.
constexpr int kMaxCellText = 32767;
// Bounds what a loaded sheet may cost in memory (about 100 bytes a cell).
constexpr int kMaxLoadedCells = 4 * 1024 * 1024;

// One cell: a QString (text), double (number) or bool; never null.
struct Cell {
    int column;
    QVariant value;
};
using CellRow = std::vector<Cell>; // sorted by column, never empty
using CellMap = std::map<int, CellRow>; // by row
// Cells of a loaded sheet whose value cannot be given as the text a
// spreadsheet program shows in them, by (row, column), with why.
using CellProblems = std::map<std::pair<int, int>, QString>;

// Worksheet XML fragments. A sheet is head + rows + tail.
QByteArray sheetHead();
QByteArray sheetTail();
// Elements carry `prefix` ("x:" in a sheet whose main namespace has a prefix).
void appendRowXml(QByteArray& out, int row, const CellRow& cells, const QByteArray& prefix = QByteArray());
// One cell at `ref`; `attributes` (" s=\"3\"") go after its reference.
void appendCellXml(QByteArray& out, const QByteArray& ref, const QVariant& value, const QByteArray& attributes,
                   const QByteArray& prefix);

// Drops the characters XML 1.0 cannot carry (most C0 controls, U+FFFE/U+FFFF,
// unpaired surrogates).
QString xmlSafeText(const QString& text);

} // namespace xlsx
