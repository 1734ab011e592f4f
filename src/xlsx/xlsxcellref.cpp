#include "xlsxcellref.h"

namespace xlsx {

bool parseCellRef(const QString& ref, int* row, int* column)
{
    const int n = ref.size();
    int i = 0;
    if (i < n && ref.at(i) == QLatin1Char('$'))
        ++i;
    int col = 0;
    int letters = 0;
    while (i < n && ref.at(i) >= QLatin1Char('A') && ref.at(i) <= QLatin1Char('Z')) {
        if (++letters > 3)
            return false;
        col = col * 26 + (ref.at(i).unicode() - 'A' + 1);
        ++i;
    }
    if (letters == 0 || col > kMaxColumns)
        return false;
    if (i < n && ref.at(i) == QLatin1Char('$'))
        ++i;
    // No sign, no leading zero, at most seven digits (1048576).
    if (i >= n || ref.at(i) < QLatin1Char('1') || ref.at(i) > QLatin1Char('9'))
        return false;
    qint64 r = 0;
    int digits = 0;
    while (i < n && ref.at(i) >= QLatin1Char('0') && ref.at(i) <= QLatin1Char('9')) {
        if (++digits > 7)
            return false;
        r = r * 10 + (ref.at(i).unicode() - '0');
        ++i;
    }
    if (i != n || r > kMaxRows)
        return false;
    if (row)
        *row = int(r);
    if (column)
        *column = col;
    return true;
}

QString columnName(int column)
{
    if (column < 1 || column > kMaxColumns)
        return QString();
    QString name;
    while (column > 0) {
        const int rem = (column - 1) % 26;
        name.prepend(QLatin1Char(char('A' + rem)));
        column = (column - 1) / 26;
    }
    return name;
}

QString cellRef(int row, int column)
{
    if (row < 1 || row > kMaxRows)
        return QString();
    const QString col = columnName(column);
    if (col.isEmpty())
        return QString();
    return col + QString::number(row);
}

} // namespace xlsx
