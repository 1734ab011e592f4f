#include "xlsxdocument.h"

#include "xlsxcells.h"
#include "xlsxpackagewriter.h"
#include "xlsxpatch.h"
#include "xlsxreader.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <set>

namespace xlsx {

struct Document::Private {
    QString path;
    CellMap rows;
    QString error;
    bool loadFailed = false;
    bool stream = false;
    bool fileLost = false;
    bool nameTaken = false;
    // Rows up to savedRow are in the file as our writer left it, rows up to
    // fedRow at least in its compressor; later rows can be appended unless
    // rewrite is set (an earlier row changed, or the file is not of our
    // making yet).
    int savedRow = 0;
    int fedRow = 0;
    bool rewrite = true;
    bool dirty = false;
    // What a Stream document forgot: its last saved row and widest column.
    int forgottenRow = 0;
    int forgottenColumns = 0;
    mutable int maxColumn = 0;
    mutable bool maxColumnStale = false;
    qint64 lastSaveBytes = 0;
    PackageWriter writer;
    // A workbook loaded from a file: its worksheet's and workbook's parts, and the cells
    // written since the last save. A save changes only those cells and keeps
    // everything else in the file.
    QString sourceSheet;
    QString sourceWorkbook;
    std::set<std::pair<int, int>> touched;
    CellProblems problems;

    int lastRow() const { return rows.empty() ? forgottenRow : rows.rbegin()->first; }
    void changed(int row)
    {
        dirty = true;
        if (row <= fedRow)
            rewrite = true;
    }
    void saved();
};

// The stored form of a value: QString, double or bool; null clears the cell.
static bool normalize(const QVariant& in, QVariant* out)
{
    if (!in.isValid() || in.isNull()) {
        *out = QVariant();
        return true;
    }
    switch (in.userType()) {
    case QMetaType::Bool:
        *out = in.toBool();
        return true;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Float:
    case QMetaType::Double: {
        const double v = in.toDouble();
        if (!std::isfinite(v))
            return false;
        *out = v;
        return true;
    }
    default:
        break;
    }
    if (!in.canConvert<QString>())
        return false;
    const QString text = xmlSafeText(in.toString());
    if (text.size() > kMaxCellText)
        return false;
    *out = text.isEmpty() ? QVariant() : QVariant(text);
    return true;
}

Document::Document(const QString& path, Mode mode) : d(std::make_unique<Private>())
{
    d->path = path;
    d->stream = mode == Stream;
    const QFileInfo info(path);
    if (d->stream || path.isEmpty() || !(info.exists() || info.isSymLink()))
        return;
    if (!loadWorkbook(path, &d->rows, &d->error, &d->sourceSheet, &d->sourceWorkbook, &d->problems))
        d->loadFailed = true;
    d->maxColumnStale = true;
}

Document::~Document() = default;

bool Document::isLoadFailed() const
{
    return d->loadFailed;
}

QString Document::errorString() const
{
    return d->error;
}

QVariant Document::read(const QString& ref) const
{
    int row = 0;
    int column = 0;
    if (!parseCellRef(ref, &row, &column))
        return QVariant();
    return read(row, column);
}

QVariant Document::read(int row, int column) const
{
    const auto it = d->rows.find(row);
    if (it == d->rows.end())
        return QVariant();
    const CellRow& cells = it->second;
    const auto c = std::lower_bound(cells.begin(), cells.end(), column,
                                    [](const Cell& cell, int col) { return cell.column < col; });
    if (c == cells.end() || c->column != column)
        return QVariant();
    return c->value;
}

QString Document::cellProblem(int row, int column) const
{
    const auto it = d->problems.find({row, column});
    return it == d->problems.end() ? QString() : it->second;
}

bool Document::write(const QString& ref, const QVariant& value)
{
    int row = 0;
    int column = 0;
    if (!parseCellRef(ref, &row, &column))
        return false;
    return write(row, column, value);
}

bool Document::write(int row, int column, const QVariant& value)
{
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        return false;
    if (d->stream && row <= d->fedRow)
        return false;
    QVariant stored;
    if (!normalize(value, &stored))
        return false;
    if (!d->sourceSheet.isEmpty())
        d->touched.insert({row, column});
    d->problems.erase({row, column});

    auto rowIt = d->rows.find(row);
    if (stored.isNull()) {
        if (rowIt == d->rows.end())
            return true;
        CellRow& cells = rowIt->second;
        const auto c = std::lower_bound(cells.begin(), cells.end(), column,
                                        [](const Cell& cell, int col) { return cell.column < col; });
        if (c == cells.end() || c->column != column)
            return true;
        if (c->column == d->maxColumn)
            d->maxColumnStale = true;
        cells.erase(c);
        if (cells.empty())
            d->rows.erase(rowIt);
        d->changed(row);
        return true;
    }

    CellRow& cells = rowIt != d->rows.end() ? rowIt->second : d->rows[row];
    if (cells.empty() || cells.back().column < column) {
        cells.push_back(Cell{column, stored});
    } else {
        const auto c = std::lower_bound(cells.begin(), cells.end(), column,
                                        [](const Cell& cell, int col) { return cell.column < col; });
        if (c != cells.end() && c->column == column)
            c->value = stored;
        else
            cells.insert(c, Cell{column, stored});
    }
    if (!d->maxColumnStale)
        d->maxColumn = std::max(d->maxColumn, column);
    d->changed(row);
    return true;
}

int Document::rowCount() const
{
    // A formula cell without a stored result holds no value, but it is there.
    return std::max(d->lastRow(), d->problems.empty() ? 0 : d->problems.rbegin()->first.first);
}

int Document::columnCount() const
{
    if (d->maxColumnStale) {
        d->maxColumn = d->forgottenColumns;
        for (const auto& row : d->rows)
            d->maxColumn = std::max(d->maxColumn, row.second.back().column);
        d->maxColumnStale = false;
    }
    return d->maxColumn;
}

void Document::Private::saved()
{
    savedRow = fedRow = lastRow();
    rewrite = false;
    dirty = false;
    lastSaveBytes = writer.lastBytesWritten();
    if (!stream || rows.empty())
        return;
    // Saved rows live in the file only: memory stays flat however long the sheet.
    for (const auto& row : rows)
        forgottenColumns = std::max(forgottenColumns, row.second.back().column);
    forgottenRow = savedRow;
    rows.clear();
    maxColumn = forgottenColumns;
    maxColumnStale = false;
}

bool Document::save()
{
    d->lastSaveBytes = 0;
    d->nameTaken = false;
    if (d->path.isEmpty()) {
        d->error = QStringLiteral("Cannot save: the file has no name");
        return false;
    }
    if (d->fileLost)
        return false;
    // What could not be read is not ours to replace: d->error keeps why.
    if (d->loadFailed)
        return false;
    QString error;
    if (!d->sourceSheet.isEmpty() && QFileInfo::exists(d->path)) {
        CellEdits edits;
        for (const auto& cell : d->touched)
            edits[cell.first][cell.second] = read(cell.first, cell.second);
        if (!patchWorkbook(d->path, d->sourceWorkbook, d->sourceSheet, edits, &error)) {
            d->error = error;
            return false;
        }
        d->touched.clear();
        d->dirty = false;
        d->lastSaveBytes = QFileInfo(d->path).size();
        return true;
    }
    // The loaded file is gone: what this document holds becomes a new workbook.
    d->sourceSheet.clear();
    d->touched.clear();
    if (!d->rewrite && d->writer.canAppend(d->path)) {
        if (!d->dirty && !d->writer.hasQueued())
            return true;
        if (d->dirty && d->writer.feed(d->rows.upper_bound(d->fedRow), d->rows.end(), &error)) {
            d->fedRow = d->lastRow();
            d->dirty = false;
        }
        if (error.isEmpty() && d->writer.flush(d->path, &error)) {
            d->saved();
            return true;
        }
        d->error = error;
        // A Stream document can only add to its file: the queued rows wait for the next save.
        if (d->stream && d->writer.canAppend(d->path))
            return false;
    }
    if (d->stream && d->forgottenRow > 0) {
        // The forgotten rows cannot be written again, and the file that held
        // them is gone or someone else's.
        d->fileLost = true;
        if (error.isEmpty())
            error = QStringLiteral("Cannot write %1: the file was removed or changed by another program").arg(d->path);
        d->error = error;
        return false;
    }
    // A Stream document starts a new file: whatever stands at its path, even
    // one that appeared after the document was made, is someone else's.
    if (!d->writer.writeAll(d->path, d->rows, &error, d->stream ? &d->nameTaken : nullptr)) {
        d->error = error;
        d->rewrite = true;
        return false;
    }
    d->saved();
    return true;
}

bool Document::isFileLost() const
{
    return d->fileLost;
}

bool Document::isNameTaken() const
{
    return d->nameTaken;
}

qint64 Document::lastSaveBytes() const
{
    return d->lastSaveBytes;
}

} // namespace xlsx
