#include "xlsxcells.h"
#include "xlsxcellref.h"

#include <QLocale>

#include <cmath>

namespace xlsx {

QByteArray sheetHead()
{
    // No <dimension>: it would have to change with every appended row.
    return QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<sheetData>");
}

QByteArray sheetTail()
{
    return QByteArrayLiteral("</sheetData></worksheet>");
}

static bool isXmlChar(char16_t c)
{
    if (c < 0x20)
        return c == 0x09 || c == 0x0A || c == 0x0D;
    return c != 0xFFFE && c != 0xFFFF;
}

QString xmlSafeText(const QString& text)
{
    const int n = text.size();
    auto clean = [&](int i, int* step) {
        const char16_t c = text.at(i).unicode();
        *step = 1;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 < n && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
                *step = 2;
                return true;
            }
            return false;
        }
        if (QChar::isLowSurrogate(c))
            return false;
        return isXmlChar(c);
    };
    int i = 0;
    int step = 1;
    while (i < n && clean(i, &step))
        i += step;
    if (i == n)
        return text;
    QString out = text.left(i);
    while (i < n) {
        if (clean(i, &step))
            out.append(text.midRef(i, step));
        i += step;
    }
    return out;
}

static void appendEscaped(QByteArray& out, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    for (const char ch : utf8) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#13;"; break; // a literal CR would be read back as LF
        default: out += ch; break;
        }
    }
}

static QByteArray numberText(double v)
{
    return QByteArray::number(v, 'g', QLocale::FloatingPointShortest);
}

void appendCellXml(QByteArray& out, const QByteArray& ref, const QVariant& v, const QByteArray& attributes,
                   const QByteArray& prefix)
{
    out += "<" + prefix + "c r=\"" + ref + "\"" + attributes;
    if (v.userType() == QMetaType::Double) {
        out += "><" + prefix + "v>" + numberText(v.toDouble()) + "</" + prefix + "v>";
    } else if (v.userType() == QMetaType::Bool) {
        out += " t=\"b\"><" + prefix + "v>" + (v.toBool() ? "1" : "0") + "</" + prefix + "v>";
    } else {
        const QString text = v.toString();
        // Leading or trailing white space is dropped by readers unless preserved.
        const bool keepSpace = !text.isEmpty() && (text.front().isSpace() || text.back().isSpace());
        out += " t=\"inlineStr\"><" + prefix + "is><" + prefix + (keepSpace ? "t xml:space=\"preserve\">" : "t>");
        appendEscaped(out, text);
        out += "</" + prefix + "t></" + prefix + "is>";
    }
    out += "</" + prefix + "c>";
}

void appendRowXml(QByteArray& out, int row, const CellRow& cells, const QByteArray& prefix)
{
    const QByteArray rowText = QByteArray::number(row);
    out += "<" + prefix + "row r=\"" + rowText + "\">";
    for (const Cell& cell : cells)
        appendCellXml(out, columnName(cell.column).toLatin1() + rowText, cell.value, QByteArray(), prefix);
    out += "</" + prefix + "row>";
}

} // namespace xlsx
