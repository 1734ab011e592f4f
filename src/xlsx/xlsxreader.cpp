#include "xlsxreader.h"
#include "xlsxcellref.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QVector>
#include <QXmlStreamReader>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipfileinfo.h>

#include <algorithm>
#include <set>
#include <vector>

namespace xlsx {

namespace {

struct Relationship {
    QString id;
    QString type;
    QString target; // resolved part name, empty when external or unusable
};

const QString kDateOrTime = QStringLiteral("a date or time");
const QString kPercentage = QStringLiteral("a percentage");
const QString kFraction = QStringLiteral("a fraction");

// What a number in one section of a format code shows other than the number
// itself, `bare` being the section without its literals, lower case; empty
// when it shows the number, however rounded, grouped, padded, coloured or
// localised.
QString sectionProblem(const QString& bare)
{
    // Day, month, year, hour, minute, second, era and Buddhist year; weekday
    // (aaa, aaaa; LibreOffice also reads nn, nnn, nnnn), week (ww) and quarter
    // (q, qq). An e followed by a sign is an exponent; a lone a, n or w, or aa,
    // is shown as the letter.
    static const QString dateCode = QStringLiteral("[ymdhsgbq]|a{3,}|n{2,}|w{2,}");
    static const QRegularExpression dateLetter(dateCode + QStringLiteral("|e(?![+-])|am/pm|a/p|上午/下午"));
    // General, in a locale or in East Asian programs' "G/" and their word for
    // it (which LibreOffice quotes when it saves): G/通用格式, G/標準; signs
    // and brackets around it are literals, a percent sign makes it a
    // percentage. Not "G/" and date codes alone, which is a date.
    static const QRegularExpression general(
        QStringLiteral("^[^\\p{L}0#?/]*(general|g/(\\p{L}*))[^\\p{L}0#?/]*$"));
    static const QRegularExpression dateLetters(QStringLiteral("^(?:e|%1)+$").arg(dateCode));
    const QRegularExpressionMatch isGeneral = general.match(bare);
    if (isGeneral.hasMatch() && !dateLetters.match(isGeneral.captured(2)).hasMatch())
        return bare.contains(QLatin1Char('%')) ? kPercentage : QString();
    if (dateLetter.match(bare).hasMatch())
        return kDateOrTime;
    if (bare.contains(QLatin1Char('%')))
        return kPercentage;
    // A numerator over a denominator of placeholders or digits: # ?/?, 0/100.
    static const QRegularExpression fraction(QStringLiteral("/[0-9#?]"));
    if (fraction.match(bare).hasMatch())
        return kFraction;
    return QString();
}

// Why a number in the display format `id` (its code `code` when the file
// defines one) means something other than the number it shows: a date or
// time, a percentage, a fraction; empty when the number is what it shows.
QString formatProblem(int id, const QString& code)
{
    if (code.isNull()) {
        // The built-in formats; the ones East Asian and Thai versions define
        // included. An id none defines is shown as General.
        if ((id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58)
            || (id >= 71 && id <= 81))
            return kDateOrTime;
        if (id == 9 || id == 10 || id == 67 || id == 68)
            return kPercentage;
        if (id == 12 || id == 13 || id == 69 || id == 70)
            return kFraction;
        return QString();
    }
    // The sections for positive numbers, negative numbers and zero (a fourth
    // one is for text), each without quoted text, escaped characters, padding
    // (_x: x only gives a width), fill (*x) and bracketed colours, conditions
    // and locales; [h], [mm], [ss] are elapsed times.
    static const QRegularExpression elapsed(QStringLiteral("^[hHmMsS]+$"));
    QStringList bare{QString()};
    for (int i = 0; i < code.size(); ++i) {
        const QChar ch = code.at(i);
        if (ch == QLatin1Char(';')) {
            if (bare.size() == 3)
                break;
            bare << QString();
        } else if (ch == QLatin1Char('"')) {
            const int close = code.indexOf(QLatin1Char('"'), i + 1);
            i = close < 0 ? code.size() : close;
        } else if (ch == QLatin1Char('\\') || ch == QLatin1Char('_') || ch == QLatin1Char('*')) {
            ++i;
        } else if (ch == QLatin1Char('[')) {
            const int close = code.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0)
                break;
            if (elapsed.match(code.mid(i + 1, close - i - 1)).hasMatch())
                return kDateOrTime;
            i = close;
        } else if (!ch.isSpace()) {
            bare.last() += ch.toLower();
        }
    }
    for (const QString& section : qAsConst(bare)) {
        const QString why = sectionProblem(section);
        if (!why.isEmpty())
            return why;
    }
    return QString();
}

class Loader {
public:
    Loader(const QString& path, CellMap* rows, CellProblems* problems)
        : m_zip(path), m_rows(rows), m_problems(problems)
    {
    }
    bool run();
    QString error;
    QString sheetPart;
    QString workbookPart;

private:
    bool readPart(const QString& name, QByteArray* data, bool* missing = nullptr);
    bool readRelationships(const QString& part, QVector<Relationship>* rels,
                           bool* missing = nullptr);
    bool readSharedStrings(const QString& part);
    bool readStyles(const QString& part);
    bool readSheet(const QString& part);
    bool addProblem(int row, int column, const QString& why);
    bool readRichText(QXmlStreamReader& xml, QString* text);
    bool fail(const QString& why)
    {
        if (error.isEmpty())
            error = why;
        return false;
    }
    bool xmlFailed(const QXmlStreamReader& xml, const QString& part)
    {
        return fail(QStringLiteral("%1 is damaged (line %2: %3)")
                        .arg(part).arg(xml.lineNumber()).arg(xml.errorString()));
    }
    // Workbook parts never carry a DTD; refusing one keeps entity tricks out.
    bool refuseDtd(QXmlStreamReader& xml, const QString& part)
    {
        if (xml.tokenType() != QXmlStreamReader::DTD)
            return true;
        return fail(QStringLiteral("%1 contains a document type declaration").arg(part));
    }

    QuaZip m_zip;
    CellMap* m_rows;
    CellProblems* m_problems;
    QVector<QString> m_strings;
    // Per cell format (the s attribute): why a number in it is not shown plainly.
    std::vector<QString> m_formatProblems;
    qint64 m_cells = 0;
};

bool endsWithType(const QString& type, const char* last)
{
    return type.endsWith(QLatin1Char('/') + QLatin1String(last));
}

// The XML parser compares every attribute of a tag with every other one and
// looks each name's namespace up through all declarations in scope: markup
// with very many of either costs the square of its size (days for a part of
// a few megabytes). No workbook part needs more than a few dozen.
constexpr int kMaxAttributesPerTag = 128;
constexpr int kMaxNamespacesInScope = 128;

enum class Markup { Fine, TooManyAttributes, TooManyNamespaces };

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// One linear pass over the markup of a part (UTF-8 or ASCII-compatible).
Markup scanMarkup(const QByteArray& data)
{
    const char* const begin = data.constData();
    const int n = data.size();
    std::vector<int> open; // namespace declarations made by each open element
    int inScope = 0;
    const auto startsAt = [&](int at, const char* text, int len) {
        return at + len <= n && qstrncmp(begin + at, text, uint(len)) == 0;
    };
    int i = 0;
    while (i < n) {
        const int lt = data.indexOf('<', i);
        if (lt < 0)
            break;
        i = lt + 1;
        if (startsAt(lt, "<!--", 4)) {
            const int e = data.indexOf("-->", lt + 4);
            i = e < 0 ? n : e + 3;
            continue;
        }
        if (startsAt(lt, "<![CDATA[", 9)) {
            const int e = data.indexOf("]]>", lt + 9);
            i = e < 0 ? n : e + 3;
            continue;
        }
        if (i < n && begin[i] == '?') {
            const int e = data.indexOf("?>", i);
            i = e < 0 ? n : e + 2;
            continue;
        }
        if (i < n && begin[i] == '!')
            break; // a document type declaration: refused when parsed, before any element
        const bool endTag = i < n && begin[i] == '/';
        int attributes = 0;
        int declarations = 0;
        char quote = 0;
        bool selfClosing = false;
        for (; i < n; ++i) {
            const char c = begin[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '=') {
                ++attributes;
            } else if (c == '>') {
                selfClosing = begin[i - 1] == '/';
                ++i;
                break;
            } else if (isSpace(c) && startsAt(i + 1, "xmlns", 5) && i + 6 < n
                       && (begin[i + 6] == ':' || begin[i + 6] == '=' || isSpace(begin[i + 6]))) {
                ++declarations;
            }
        }
        if (endTag) {
            if (!open.empty()) {
                inScope -= open.back();
                open.pop_back();
            }
            continue;
        }
        if (attributes > kMaxAttributesPerTag)
            return Markup::TooManyAttributes;
        if (inScope + declarations > kMaxNamespacesInScope)
            return Markup::TooManyNamespaces;
        if (!selfClosing) {
            open.push_back(declarations);
            inScope += declarations;
        }
    }
    return Markup::Fine;
}

} // namespace

QString resolveTarget(const QString& sourcePart, const QString& target)
{
    QString name;
    if (target.startsWith(QLatin1Char('/')))
        name = target.mid(1);
    else
        name = sourcePart.left(sourcePart.lastIndexOf(QLatin1Char('/')) + 1) + target;
    name = QDir::cleanPath(name);
    if (name.isEmpty() || name == QLatin1String(".") || name.startsWith(QLatin1String("..")))
        return QString();
    return name;
}

QString relsPartOf(const QString& part)
{
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return part.left(slash + 1) + QLatin1String("_rels/") + part.mid(slash + 1)
        + QLatin1String(".rels");
}

QString markupProblem(const QByteArray& data, const QString& part)
{
    // The parser also reads UTF-16 parts: scan their UTF-8 form.
    Markup m;
    const bool le = data.startsWith("\xff\xfe") || (data.size() > 1 && data.at(0) == '<' && data.at(1) == 0);
    const bool be = data.startsWith("\xfe\xff") || (data.size() > 1 && data.at(0) == 0 && data.at(1) == '<');
    if (le || be) {
        const int units = data.size() / 2;
        QString text(units, Qt::Uninitialized);
        const uchar* b = reinterpret_cast<const uchar*>(data.constData());
        for (int k = 0; k < units; ++k)
            text[k] = QChar(le ? ushort(b[2 * k] | (b[2 * k + 1] << 8)) : ushort((b[2 * k] << 8) | b[2 * k + 1]));
        m = scanMarkup(text.toUtf8());
    } else {
        m = scanMarkup(data);
    }
    switch (m) {
    case Markup::TooManyAttributes:
        return QStringLiteral("%1 has a tag with more than %2 attributes").arg(part).arg(kMaxAttributesPerTag);
    case Markup::TooManyNamespaces:
        return QStringLiteral("%1 has more than %2 namespaces in scope").arg(part).arg(kMaxNamespacesInScope);
    case Markup::Fine:
        break;
    }
    return QString();
}

QString readPackagePart(QuaZip& zip, const QString& name, QByteArray* data, bool* missing)
{
    data->clear();
    if (missing)
        *missing = false;
    if (!zip.setCurrentFile(name, QuaZip::csInsensitive)) {
        if (missing) {
            *missing = true;
            return QString();
        }
        return QStringLiteral("the part %1 is missing").arg(name);
    }
    const QString tooLarge = QStringLiteral("the part %1 unpacks to more than %2 MiB").arg(name).arg(kMaxPartSize / (1024 * 1024));
    QuaZipFileInfo64 info;
    if (!zip.getCurrentFileInfo(&info))
        return QStringLiteral("the part %1 cannot be read").arg(name);
    if (info.uncompressedSize > quint64(kMaxPartSize))
        return tooLarge;
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("the part %1 cannot be unpacked").arg(name);
    // The size in the header may lie: stop at the bound whatever it says.
    char buf[65536];
    for (;;) {
        const qint64 n = file.read(buf, sizeof(buf));
        if (n < 0) {
            file.close();
            return QStringLiteral("the part %1 is damaged").arg(name);
        }
        if (n == 0)
            break;
        if (data->size() + n > kMaxPartSize) {
            file.close();
            return tooLarge;
        }
        data->append(buf, int(n));
    }
    file.close();
    if (file.getZipError() != UNZ_OK)
        return QStringLiteral("the part %1 is damaged (checksum)").arg(name);
    return markupProblem(*data, name);
}

bool Loader::readPart(const QString& name, QByteArray* data, bool* missing)
{
    const QString why = readPackagePart(m_zip, name, data, missing);
    if (!why.isEmpty())
        return fail(why);
    return !(missing && *missing);
}

bool Loader::readRelationships(const QString& part, QVector<Relationship>* rels, bool* missing)
{
    QByteArray data;
    if (!readPart(part, &data, missing))
        return false;
    const QString owner = part.left(part.lastIndexOf(QLatin1String("_rels/")))
        + part.mid(part.lastIndexOf(QLatin1Char('/')) + 1).chopped(5);
    QXmlStreamReader xml(data);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!refuseDtd(xml, part))
            return false;
        if (!xml.isStartElement() || xml.name() != QLatin1String("Relationship"))
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        Relationship r;
        r.id = a.value(QLatin1String("Id")).toString();
        r.type = a.value(QLatin1String("Type")).toString();
        if (a.value(QLatin1String("TargetMode")) != QLatin1String("External"))
            r.target = resolveTarget(owner, a.value(QLatin1String("Target")).toString());
        rels->append(r);
    }
    if (xml.hasError())
        return xmlFailed(xml, part);
    return true;
}

bool Loader::run()
{
    if (!m_zip.open(QuaZip::mdUnzip))
        return fail(QStringLiteral("not a zip archive, or a damaged one"));

    // The package's relationships name the workbook part; without them, try
    // the usual name.
    QString workbook = QStringLiteral("xl/workbook.xml");
    QVector<Relationship> rels;
    bool missing = false;
    if (readRelationships(QStringLiteral("_rels/.rels"), &rels, &missing)) {
        for (const Relationship& r : qAsConst(rels)) {
            if (endsWithType(r.type, "officeDocument") && !r.target.isEmpty()) {
                workbook = r.target;
                break;
            }
        }
    } else if (!missing) {
        return false;
    }

    QByteArray data;
    if (!readPart(workbook, &data, &missing))
        return missing ? fail(QStringLiteral("no workbook part in the archive")) : false;

    // The first sheet in workbook order that is a worksheet (not a chart sheet).
    QStringList sheetIds;
    QXmlStreamReader xml(data);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!refuseDtd(xml, workbook))
            return false;
        if (!xml.isStartElement() || xml.name() != QLatin1String("sheet"))
            continue;
        for (const QXmlStreamAttribute& a : xml.attributes()) {
            if (a.name() == QLatin1String("id") && !a.namespaceUri().isEmpty())
                sheetIds.append(a.value().toString());
        }
    }
    if (xml.hasError())
        return xmlFailed(xml, workbook);

    rels.clear();
    if (!readRelationships(relsPartOf(workbook), &rels))
        return false;
    // Looked up by id: a hostile file naming many sheets and relationships
    // must not cost their product.
    QHash<QString, QString> worksheets;
    for (const Relationship& r : qAsConst(rels)) {
        if (endsWithType(r.type, "worksheet") && !r.target.isEmpty() && !worksheets.contains(r.id))
            worksheets.insert(r.id, r.target);
    }
    QString sheet;
    for (const QString& id : qAsConst(sheetIds)) {
        sheet = worksheets.value(id);
        if (!sheet.isEmpty())
            break;
    }
    if (sheet.isEmpty())
        return fail(QStringLiteral("the workbook has no worksheet"));
    for (const Relationship& r : qAsConst(rels)) {
        if (endsWithType(r.type, "sharedStrings") && !r.target.isEmpty()) {
            if (!readSharedStrings(r.target))
                return false;
            break;
        }
    }
    for (const Relationship& r : qAsConst(rels)) {
        if (m_problems && endsWithType(r.type, "styles") && !r.target.isEmpty()) {
            if (!readStyles(r.target))
                return false;
            break;
        }
    }
    sheetPart = sheet;
    workbookPart = workbook;
    return readSheet(sheet);
}

// Text of an <si> or <is> element: its <t> elements, plain or in rich text runs,
// without phonetic guides.
bool Loader::readRichText(QXmlStreamReader& xml, QString* text)
{
    text->clear();
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("rPh")) {
                xml.skipCurrentElement();
            } else if (xml.name() == QLatin1String("t")) {
                text->append(xml.readElementText(QXmlStreamReader::IncludeChildElements));
                if (text->size() > kMaxCellText)
                    return fail(QStringLiteral("a cell text is longer than %1 characters")
                                    .arg(kMaxCellText));
            } else {
                ++depth;
            }
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
    return !xml.hasError();
}

bool Loader::readSharedStrings(const QString& part)
{
    QByteArray data;
    if (!readPart(part, &data))
        return false;
    QXmlStreamReader xml(data);
    QString text;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!refuseDtd(xml, part))
            return false;
        if (!xml.isStartElement() || xml.name() != QLatin1String("si"))
            continue;
        if (!readRichText(xml, &text))
            break;
        if (m_strings.size() >= kMaxLoadedCells)
            return fail(QStringLiteral("too many shared strings"));
        m_strings.append(text);
    }
    if (xml.hasError())
        return xmlFailed(xml, part);
    return error.isEmpty();
}

// The number format of each cell format: numbers shown as dates, times,
// percentages and the like are not what read() gives.
bool Loader::readStyles(const QString& part)
{
    QByteArray data;
    if (!readPart(part, &data))
        return false;
    QHash<int, QString> codes;
    QXmlStreamReader xml(data);
    bool inCellXfs = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!refuseDtd(xml, part))
            return false;
        if (xml.isEndElement() && xml.name() == QLatin1String("cellXfs"))
            inCellXfs = false;
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        const int id = a.value(QLatin1String("numFmtId")).toInt();
        if (xml.name() == QLatin1String("numFmt")) {
            codes.insert(id, a.value(QLatin1String("formatCode")).toString());
        } else if (xml.name() == QLatin1String("cellXfs")) {
            inCellXfs = true;
        } else if (inCellXfs && xml.name() == QLatin1String("xf")) {
            if (m_formatProblems.size() >= size_t(kMaxLoadedCells))
                return fail(QStringLiteral("too many cell formats"));
            m_formatProblems.push_back(formatProblem(id, codes.value(id)));
        }
    }
    if (xml.hasError())
        return xmlFailed(xml, part);
    return true;
}

bool Loader::addProblem(int row, int column, const QString& why)
{
    if (++m_cells > kMaxLoadedCells)
        return fail(QStringLiteral("the worksheet has more than %1 cells").arg(kMaxLoadedCells));
    if (m_problems)
        (*m_problems)[{row, column}] = why;
    return true;
}

bool Loader::readSheet(const QString& part)
{
    QByteArray data;
    bool missing = false;
    if (!readPart(part, &data, &missing))
        return missing ? fail(QStringLiteral("the worksheet %1 is missing").arg(part)) : false;
    QXmlStreamReader xml(data);
    int row = 0;
    int column = 0;
    std::set<int> unsorted; // rows whose cells came out of column order
    while (!xml.atEnd()) {
        xml.readNext();
        if (!refuseDtd(xml, part))
            return false;
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("row")) {
            const QStringRef r = xml.attributes().value(QLatin1String("r"));
            bool ok = true;
            row = r.isEmpty() ? row + 1 : r.toInt(&ok);
            if (!ok || row < 1 || row > kMaxRows)
                return fail(QStringLiteral("%1 has a row outside the sheet").arg(part));
            column = 0;
            continue;
        }
        if (xml.name() != QLatin1String("c"))
            continue;

        const QXmlStreamAttributes a = xml.attributes();
        const QString ref = a.value(QLatin1String("r")).toString();
        if (ref.isEmpty()) {
            ++column;
            if (row < 1 || column > kMaxColumns)
                return fail(QStringLiteral("%1 has a cell outside the sheet").arg(part));
        } else if (!parseCellRef(ref, &row, &column)) {
            return fail(QStringLiteral("%1 has a bad cell reference").arg(part));
        }
        const QString type = a.value(QLatin1String("t")).toString();
        bool styled = false;
        const uint style = a.value(QLatin1String("s")).toUInt(&styled);
        QString v;
        QString inlineText;
        bool hasV = false;
        bool hasFormula = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == QLatin1String("c"))
                break;
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("v")) {
                v = xml.readElementText(QXmlStreamReader::SkipChildElements);
                hasV = true;
                if (v.size() > kMaxCellText)
                    return fail(QStringLiteral("a cell text is longer than %1 characters")
                                    .arg(kMaxCellText));
            } else if (xml.name() == QLatin1String("is")) {
                if (!readRichText(xml, &inlineText))
                    break;
            } else {
                hasFormula = hasFormula || xml.name() == QLatin1String("f");
                xml.skipCurrentElement(); // formulas and extensions
            }
        }
        if (xml.hasError() || !error.isEmpty())
            break;

        QVariant value;
        if (type == QLatin1String("inlineStr")) {
            value = inlineText;
        } else if (!hasV || (hasFormula && type != QLatin1String("str") && v.trimmed().isEmpty())) {
            // Shown as whatever the formula gives, which only a spreadsheet program
            // computes (an empty result is a text one).
            if (hasFormula && !addProblem(row, column, QStringLiteral("a formula without a stored result")))
                return false;
            continue;
        } else if (type == QLatin1String("s")) {
            bool ok = false;
            const int index = v.trimmed().toInt(&ok);
            if (!ok || index < 0 || index >= m_strings.size())
                return fail(QStringLiteral("%1 refers to a missing shared string").arg(part));
            value = m_strings.at(index);
        } else if (type == QLatin1String("b")) {
            value = (v.trimmed() == QLatin1String("1") || v.trimmed() == QLatin1String("true"));
        } else if (type.isEmpty() || type == QLatin1String("n")) {
            bool ok = false;
            const double number = v.trimmed().toDouble(&ok);
            if (ok)
                value = number;
            else
                value = v;
            const QString shown = ok && styled && style < m_formatProblems.size() ? m_formatProblems[style] : QString();
            if (!shown.isEmpty() && !addProblem(row, column, shown))
                return false;
        } else if (type == QLatin1String("d")) {
            value = v; // an ISO date, shown in the cell's date format
            if (!addProblem(row, column, QStringLiteral("a date or time")))
                return false;
        } else {
            value = v; // formula text results, error codes: as text
        }
        if (value.userType() == QMetaType::QString && value.toString().isEmpty())
            continue;

        if (++m_cells > kMaxLoadedCells)
            return fail(QStringLiteral("%1 has more than %2 cells").arg(part).arg(kMaxLoadedCells));
        // Out-of-order cells are put in order once at the end: inserting each
        // in place would cost a row's length per cell.
        CellRow& cells = (*m_rows)[row];
        if (!cells.empty() && cells.back().column >= column)
            unsorted.insert(row);
        cells.push_back(Cell{column, value});
    }
    if (xml.hasError())
        return xmlFailed(xml, part);
    if (!error.isEmpty())
        return false;
    for (const int r : unsorted) {
        CellRow& cells = (*m_rows)[r];
        std::stable_sort(cells.begin(), cells.end(),
                         [](const Cell& a, const Cell& b) { return a.column < b.column; });
        // A cell given twice: the later one in the file wins.
        CellRow kept;
        kept.reserve(cells.size());
        for (Cell& c : cells) {
            if (!kept.empty() && kept.back().column == c.column)
                kept.back().value = std::move(c.value);
            else
                kept.push_back(std::move(c));
        }
        cells.swap(kept);
    }
    return true;
}

bool loadWorkbook(const QString& path, CellMap* rows, QString* error, QString* sheetPart, QString* workbookPart,
                  CellProblems* problems)
{
    rows->clear();
    if (problems)
        problems->clear();
    const QFileInfo info(path);
    if (info.isDir()) {
        *error = QStringLiteral("Cannot read %1: it is a folder").arg(path);
        return false;
    }
    // Opening a named pipe would wait for a writer, a device may never end.
    if (info.exists() && !info.isFile()) {
        *error = QStringLiteral("Cannot read %1: it is not a regular file").arg(path);
        return false;
    }
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read %1: %2").arg(path, probe.errorString());
        return false;
    }
    probe.close();
    Loader loader(path, rows, problems);
    if (loader.run()) {
        if (sheetPart)
            *sheetPart = loader.sheetPart;
        if (workbookPart)
            *workbookPart = loader.workbookPart;
        return true;
    }
    rows->clear();
    if (problems)
        problems->clear();
    *error = QStringLiteral("Cannot read %1: %2").arg(path, loader.error);
    return false;
}

} // namespace xlsx
