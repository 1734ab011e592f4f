#pragma once

#include <QLatin1String>
#include <QString>

// Formula text as workbooks store it, for the workbook patch: where names and
// references are, a formula moved to another cell, and what it refers to.
namespace xlsx {

// A character of a name, a reference or a number in a formula: any that the
// formula grammar gives no other meaning, so that a sheet name written without
// quotes holds combining marks (Thai, Devanagari, a decomposed é) and
// punctuation such as '・' and '·', as LibreOffice writes it.
bool isNameChar(QChar c);

// The kind of reference a formula's token is; -1 when none. A column or row
// alone is a reference only as an end of a range ("A:C", "2:5").
int referenceKind(const QString& token);

// A formula moved by (rows, columns), as spreadsheet programs move one that
// is copied: relative references shift, $-fixed parts stay, and a reference
// pushed off the sheet becomes #REF!. Strings, quoted sheet names, structured
// references, function and other names are left as they are.
QString translateFormula(const QString& f, int rows, int columns);

// Walks the sheets and names a formula refers to: onSheets(first, last) for a
// sheet (first == last) or a 3-D range of sheets ("Sheet1:Sheet3!A1"), quoted
// or not; onName(name) for any other name that is not a function's. Both get
// case-folded text, as spreadsheet programs compare names. onLocal() for a
// reference without a sheet, which reads the formula's own sheet. Strings,
// error values and references into other workbooks are passed over.
template <typename Sheets, typename Name, typename Local>
void scanFormula(const QString& f, Sheets onSheets, Name onName, Local onLocal)
{
    static const QLatin1String errors[] = {QLatin1String("#NULL!"), QLatin1String("#DIV/0!"),
                                           QLatin1String("#VALUE!"), QLatin1String("#REF!"),
                                           QLatin1String("#NAME?"), QLatin1String("#NUM!"),
                                           QLatin1String("#N/A"), QLatin1String("#GETTING_DATA")};
    const QChar quote(QLatin1Char('\''));
    // A doubled quote stays inside: where the quoted text from `from` ends.
    const auto closing = [&](int from, QChar q) {
        while (from < f.size() && !(f.at(from) == q && (from + 1 == f.size() || f.at(from + 1) != q)))
            from += f.at(from) == q ? 2 : 1;
        return from;
    };
    const int n = f.size();
    int foreign = -1; // where a name just after another workbook's index ("[1]Sheet1!A1") starts
    bool qualified = false; // the next reference follows a sheet's name
    int i = 0;
    while (i < n) {
        const QChar c = f.at(i);
        int j = i + 1;
        if (c == QLatin1Char('"')) {
            i = closing(j, c) + 1;
            continue;
        }
        if (c == quote) {
            const int end = closing(j, c);
            QString sheets = f.mid(j, end - j).replace(QStringLiteral("''"), QStringLiteral("'"));
            i = end + 1;
            if (i >= n || f.at(i) != QLatin1Char('!'))
                continue;
            ++i;
            qualified = true;
            if (sheets.startsWith(QLatin1String("[0]"))) // this workbook
                sheets.remove(0, 3);
            // Sheet names hold no brackets: a path or an index names another workbook.
            if (!sheets.contains(QLatin1Char(']'))) {
                const int colon = sheets.indexOf(QLatin1Char(':'));
                onSheets(sheets.left(colon).toCaseFolded(), sheets.mid(colon + 1).toCaseFolded());
            }
            continue;
        }
        if (c == QLatin1Char('[')) { // another workbook's index, or a structured reference
            for (int depth = 1; j < n && depth > 0; ++j) {
                if (f.at(j) == quote) // escapes the next character
                    ++j;
                else
                    depth += f.at(j) == QLatin1Char('[') ? 1 : f.at(j) == QLatin1Char(']') ? -1 : 0;
            }
            j = qMin(j, n);
            if (f.midRef(i, j - i) != QLatin1String("[0]"))
                foreign = j;
            i = j;
            continue;
        }
        if (c == QLatin1Char('#')) {
            for (const QLatin1String& e : errors)
                if (f.midRef(i, e.size()).compare(e, Qt::CaseInsensitive) == 0) {
                    j = i + e.size();
                    break;
                }
            i = j;
            continue;
        }
        if (!isNameChar(c)) {
            i = j;
            continue;
        }
        while (j < n && isNameChar(f.at(j)))
            ++j;
        const bool external = i == foreign;
        const QString first = f.mid(i, j - i).toCaseFolded();
        int k = j;
        if (k < n && f.at(k) == QLatin1Char(':'))
            for (++k; k < n && isNameChar(f.at(k)); ++k) {
            }
        const QString second = k > j + 1 ? f.mid(j + 1, k - j - 1).toCaseFolded() : QString();
        // A range of cells, columns or rows: A1:B2, A:C, 1:3.
        const bool range = !second.isEmpty() && referenceKind(first) >= 0 && referenceKind(second) >= 0;
        if (!second.isEmpty() && k < n && f.at(k) == QLatin1Char('!')) {
            if (!external)
                onSheets(first, second);
            i = k + 1;
            qualified = true;
        } else if (j < n && f.at(j) == QLatin1Char('!')) {
            if (!external)
                onSheets(first, first);
            i = j + 1;
            qualified = true;
        } else if ((j == n || f.at(j) != QLatin1Char('(')) // LOG10(, ATAN2( are functions
                   && (range || referenceKind(first) == 0)) {
            if (!qualified && !external)
                onLocal();
            i = range ? k : j;
            qualified = false;
        } else {
            if (!external && (j == n || f.at(j) != QLatin1Char('(')))
                onName(first);
            i = j;
            qualified = false;
        }
    }
}

} // namespace xlsx
