#include "xlsxdocument.h"

#include "xlsxcells.h"
#include "xlsxpackagewriter.h"
#include "xlsxreader.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace xlsx {

struct Document::Private {
    QString path;
    CellMap rows;
    QString error;
    bool loadFailed = false;
    // Rows up to savedRow are in the file as our writer left it; later rows
    // can be appended unless rewrite is set (an earlier row changed, or the
    // file is not of our making yet).
    int savedRow = 0;
    bool rewrite = true;
    bool dirty = false;
    mutable int maxColumn = 0;
    mutable bool maxColumnStale = false;
    qint64 lastSaveBytes = 0;
    PackageWriter writer;

    int lastRow() const { return rows.empty() ? 0 : rows.rbegin()->first; }
    void changed(int row)
    {
        dirty = true;
        if (row <= savedRow)
            rewrite = true;
    }
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

Document::Document(const QString& path) : d(std::make_unique<Private>())
{
    d->path = path;
    const QFileInfo info(path);
    if (path.isEmpty() || !(info.exists() || info.isSymLink()))
        return;
    if (!loadWorkbook(path, &d->rows, &d->error))
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
    QVariant stored;
    if (!normalize(value, &stored))
        return false;

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
    return d->lastRow();
}

int Document::columnCount() const
{
    if (d->maxColumnStale) {
        d->maxColumn = 0;
        for (const auto& row : d->rows)
            d->maxColumn = std::max(d->maxColumn, row.second.back().column);
        d->maxColumnStale = false;
    }
    return d->maxColumn;
}

bool Document::save()
{
    d->lastSaveBytes = 0;
    if (d->path.isEmpty()) {
        d->error = QStringLiteral("Cannot save: the file has no name");
        return false;
    }
    QString error;
    if (!d->rewrite && d->writer.canAppend(d->path)) {
        if (!d->dirty)
            return true;
        if (d->writer.append(d->path, d->rows.upper_bound(d->savedRow), d->rows.end(), &error)) {
            d->savedRow = d->lastRow();
            d->dirty = false;
            d->lastSaveBytes = d->writer.lastBytesWritten();
            return true;
        }
        // The in-place write may have left the file half done: rewrite it whole.
    }
    if (!d->writer.writeAll(d->path, d->rows, &error)) {
        d->error = error;
        d->rewrite = true;
        return false;
    }
    d->savedRow = d->lastRow();
    d->rewrite = false;
    d->dirty = false;
    d->lastSaveBytes = d->writer.lastBytesWritten();
    return true;
}

qint64 Document::lastSaveBytes() const
{
    return d->lastSaveBytes;
}

} // namespace xlsx
