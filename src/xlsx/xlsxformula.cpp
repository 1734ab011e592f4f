#include "xlsxformula.h"

#include "xlsxcellref.h"

#include <QRegularExpression>

namespace xlsx {

namespace {

// A cell ("B$2"), column ("$B") or row ("2") reference, by kind 0, 1, 2:
// captures (fixed, letters, fixed, digits), (fixed, letters), (fixed, digits).
const QRegularExpression& referenceRe(int kind)
{
    static const QRegularExpression res[] = {
        QRegularExpression(QStringLiteral("^(\\$?)([A-Za-z]{1,3})(\\$?)([0-9]{1,7})$")),
        QRegularExpression(QStringLiteral("^(\\$?)([A-Za-z]{1,3})$")),
        QRegularExpression(QStringLiteral("^(\\$?)([0-9]{1,7})$")),
    };
    return res[kind];
}

} // namespace

bool isNameChar(QChar c)
{
    // Operators (with '#' of error values and '@'), separators, brackets, quotes, the sheet's '!'.
    static const QString grammar = QStringLiteral("+-*/^&=<>%,;:()[]{}\"'!#@");
    return !c.isSpace() && !grammar.contains(c);
}

int referenceKind(const QString& token)
{
    for (int kind = 0; kind < 3; ++kind)
        if (referenceRe(kind).match(token).hasMatch())
            return kind;
    return -1;
}

QString translateFormula(const QString& f, int rows, int columns)
{
    const auto columnOf = [](const QString& letters) {
        int n = 0;
        for (const QChar ch : letters)
            n = n * 26 + (ch.toUpper().unicode() - 'A' + 1);
        return n;
    };
    // One part of a reference, moved; false when it leaves the sheet.
    const auto moveColumn = [&](const QString& fixed, const QString& letters, QString* out) {
        const int c = columnOf(letters) + (fixed.isEmpty() ? columns : 0);
        *out += fixed + columnName(c);
        return c >= 1 && c <= kMaxColumns;
    };
    const auto moveRow = [&](const QString& fixed, const QString& digits, QString* out) {
        const int r = digits.toInt() + (fixed.isEmpty() ? rows : 0);
        *out += fixed + QString::number(r);
        return r >= 1 && r <= kMaxRows;
    };
    // A cell ("B$2"), column ("$B") or row ("2") reference of the given kind.
    const auto move = [&](int kind, const QString& token, QString* out) {
        const QRegularExpressionMatch m = referenceRe(kind).match(token);
        if (kind == 0) {
            const bool columnOnSheet = moveColumn(m.captured(1), m.captured(2), out);
            return moveRow(m.captured(3), m.captured(4), out) && columnOnSheet;
        }
        return kind == 1 ? moveColumn(m.captured(1), m.captured(2), out) : moveRow(m.captured(1), m.captured(2), out);
    };

    QString out;
    const int n = f.size();
    int i = 0;
    while (i < n) {
        const QChar c = f.at(i);
        int j = i + 1;
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) { // a doubled quote stays inside
            while (j < n && !(f.at(j) == c && (j + 1 == n || f.at(j + 1) != c)))
                j += f.at(j) == c ? 2 : 1;
            out += f.midRef(i, qMin(j + 1, n) - i);
            i = j + 1;
            continue;
        }
        if (c == QLatin1Char('[')) { // a structured reference or a linked workbook's index
            for (int depth = 1; j < n && depth > 0; ++j)
                depth += f.at(j) == QLatin1Char('[') ? 1 : f.at(j) == QLatin1Char(']') ? -1 : 0;
            out += f.midRef(i, j - i);
            i = j;
            continue;
        }
        if (!isNameChar(c)) {
            out += c;
            i = j;
            continue;
        }
        while (j < n && isNameChar(f.at(j)))
            ++j;
        // A number's exponent ("1E+5") is not the start of another token.
        if (c.isDigit() && (f.at(j - 1) == QLatin1Char('E') || f.at(j - 1) == QLatin1Char('e')) && j < n
            && (f.at(j) == QLatin1Char('+') || f.at(j) == QLatin1Char('-'))) {
            for (++j; j < n && f.at(j).isDigit(); ++j) {
            }
            out += f.midRef(i, j - i);
            i = j;
            continue;
        }
        const QString token = f.mid(i, j - i);
        const QChar next = j < n ? f.at(j) : QChar();
        int kind = next == QLatin1Char('(') || next == QLatin1Char('!') || (i > 0 && f.at(i - 1) == QLatin1Char('#'))
            ? -1 : referenceKind(token);
        // A column or row alone is a reference only as a range ("A:C", "2:5").
        int k = j;
        QString second;
        if (next == QLatin1Char(':') && kind >= 0) {
            for (k = j + 1; k < n && isNameChar(f.at(k)); ++k) {
            }
            second = f.mid(j + 1, k - j - 1);
            if (referenceKind(second) != kind)
                second.clear();
        }
        if (kind < 0 || (kind > 0 && second.isEmpty())) {
            out += token;
            i = j;
            continue;
        }
        QString moved;
        bool onSheet = move(kind, token, &moved);
        if (!second.isEmpty()) {
            moved += QLatin1Char(':');
            onSheet = move(kind, second, &moved) && onSheet;
            j = k;
        }
        out += onSheet ? moved : QStringLiteral("#REF!");
        i = j;
    }
    return out;
}

} // namespace xlsx
