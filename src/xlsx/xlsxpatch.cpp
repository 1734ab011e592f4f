#include "xlsxpatch.h"

#include "xlsxcellref.h"
#include "xlsxcells.h"
#include "xlsxreader.h"

#include <QRegularExpression>
#include <QSaveFile>
#include <QTextCodec>
#include <QVector>
#include <QXmlStreamReader>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipfileinfo.h>
#include <quazipnewinfo.h>

#include <climits>

namespace xlsx {

namespace {

// Rewrites a worksheet's text with the edited cells in place. The parser only
// finds the elements; everything between them is copied as it stands, so
// prefixes, other attributes, formulas and extensions survive untouched.
class SheetPatcher {
public:
    SheetPatcher(const QString& text, CellEdits edits) : m_text(text), m_edits(std::move(edits)) {}
    bool run(QString* out, QString* error);

private:
    void copyTo(int pos)
    {
        m_out += m_text.midRef(m_copied, pos - m_copied);
        m_copied = pos;
    }
    void replace(int from, int to, const QString& with)
    {
        copyTo(from);
        m_out += with;
        m_copied = to;
    }
    // Start and end tags hold no '<' of their own (XML forbids it in attribute values).
    int tagStart(int end) const { return m_text.lastIndexOf(QLatin1Char('<'), end - 1); }
    bool selfClosing(int end) const { return end >= 2 && m_text.at(end - 2) == QLatin1Char('/'); }
    QString rowsBefore(int row);
    QString cellsBefore(int column);
    void patchDimension(int end);

    const QString& m_text;
    CellEdits m_edits;
    QString m_out;
    int m_copied = 0;
    QByteArray m_prefix;          // of the sheet's elements, with its colon
    int m_row = 0;                // the row being read
    std::map<int, QVariant> m_pending; // its edits not yet placed
};

QString SheetPatcher::rowsBefore(int row)
{
    QByteArray xml;
    auto it = m_edits.begin();
    for (; it != m_edits.end() && it->first < row; ++it) {
        CellRow cells;
        for (const auto& c : it->second)
            if (!c.second.isNull())
                cells.push_back(Cell{c.first, c.second});
        if (!cells.empty())
            appendRowXml(xml, it->first, cells, m_prefix);
    }
    m_edits.erase(m_edits.begin(), it);
    return QString::fromUtf8(xml);
}

QString SheetPatcher::cellsBefore(int column)
{
    QByteArray xml;
    auto it = m_pending.begin();
    for (; it != m_pending.end() && it->first < column; ++it)
        if (!it->second.isNull())
            appendCellXml(xml, cellRef(m_row, it->first).toLatin1(), it->second, QByteArray(), m_prefix);
    m_pending.erase(m_pending.begin(), it);
    return QString::fromUtf8(xml);
}

// The used range grows to take the written cells; it never shrinks (a larger
// range than used is harmless).
void SheetPatcher::patchDimension(int end)
{
    int top = INT_MAX, left = INT_MAX, bottom = 0, right = 0;
    for (const auto& row : m_edits)
        for (const auto& c : row.second)
            if (!c.second.isNull()) {
                top = qMin(top, row.first);
                bottom = qMax(bottom, row.first);
                left = qMin(left, c.first);
                right = qMax(right, c.first);
            }
    const int start = tagStart(end);
    QString tag = m_text.mid(start, end - start);
    static const QRegularExpression refRe(QStringLiteral("\\sref=\"([^\"]*)\""));
    const QRegularExpressionMatch m = refRe.match(tag);
    if (bottom == 0 || !m.hasMatch())
        return;
    const QStringList corners = m.captured(1).split(QLatin1Char(':'));
    for (const QString& corner : corners) {
        int r = 0, c = 0;
        if (corners.size() > 2 || !parseCellRef(corner, &r, &c))
            return;
        top = qMin(top, r);
        bottom = qMax(bottom, r);
        left = qMin(left, c);
        right = qMax(right, c);
    }
    tag.replace(m.capturedStart(1), m.capturedLength(1), cellRef(top, left) + QLatin1Char(':') + cellRef(bottom, right));
    replace(start, end, tag);
}

bool SheetPatcher::run(QString* out, QString* error)
{
    static const QRegularExpression spansRe(QStringLiteral("\\sspans=\"[^\"]*\""));
    QXmlStreamReader xml(m_text);
    int depth = 0;
    bool inData = false;
    int column = 0;
    int cellStart = -1; // of the edited cell being read
    QVariant cellValue;
    QString cellStyle;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.tokenType() == QXmlStreamReader::DTD) {
            *error = QStringLiteral("the worksheet contains a document type declaration");
            return false;
        }
        const int end = int(xml.characterOffset());
        if (xml.isStartElement()) {
            ++depth;
            const QStringRef name = xml.name();
            if (depth == 2 && name == QLatin1String("dimension")) {
                patchDimension(end);
            } else if (depth == 2 && name == QLatin1String("sheetData")) {
                inData = true;
                m_prefix = xml.prefix().isEmpty() ? QByteArray() : xml.prefix().toUtf8() + ':';
                const QString rows = selfClosing(end) ? rowsBefore(INT_MAX) : QString();
                if (!rows.isEmpty())
                    replace(end - 2, end, QLatin1Char('>') + rows + QLatin1String("</") + xml.qualifiedName() + QLatin1Char('>'));
            } else if (inData && depth == 3 && name == QLatin1String("row")) {
                const QStringRef r = xml.attributes().value(QLatin1String("r"));
                bool ok = true;
                m_row = r.isEmpty() ? m_row + 1 : r.toInt(&ok);
                if (!ok || m_row < 1 || m_row > kMaxRows) {
                    *error = QStringLiteral("the worksheet has a row outside the sheet");
                    return false;
                }
                column = 0;
                const int start = tagStart(end);
                replace(start, start, rowsBefore(m_row));
                const auto edited = m_edits.find(m_row);
                m_pending.clear();
                if (edited == m_edits.end())
                    continue;
                m_pending = edited->second;
                m_edits.erase(edited);
                // Its column span may no longer hold; it is only a hint.
                QString tag = m_text.mid(start, end - start).remove(spansRe);
                if (selfClosing(end)) {
                    const QString cells = cellsBefore(INT_MAX);
                    if (!cells.isEmpty())
                        tag = tag.left(tag.lastIndexOf(QLatin1Char('/'))) + QLatin1Char('>') + cells + QLatin1String("</")
                            + xml.qualifiedName() + QLatin1Char('>');
                }
                replace(start, end, tag);
            } else if (inData && depth == 4 && name == QLatin1String("c")) {
                const QString ref = xml.attributes().value(QLatin1String("r")).toString();
                int r = 0;
                if (ref.isEmpty())
                    ++column;
                else if (!parseCellRef(ref, &r, &column)) {
                    *error = QStringLiteral("the worksheet has a bad cell reference");
                    return false;
                }
                const int start = tagStart(end);
                replace(start, start, cellsBefore(column));
                const auto edited = m_pending.find(column);
                if (edited != m_pending.end()) {
                    cellStart = start;
                    cellValue = edited->second;
                    cellStyle = xml.attributes().value(QLatin1String("s")).toString();
                    m_pending.erase(edited);
                }
            }
        } else if (xml.isEndElement()) {
            if (inData && depth == 4 && cellStart >= 0) {
                // The cell keeps its style, whatever else it held (type, formula) goes.
                static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
                const QByteArray style = number.match(cellStyle).hasMatch() ? " s=\"" + cellStyle.toLatin1() + '"' : QByteArray();
                const QByteArray ref = cellRef(m_row, column).toLatin1();
                QByteArray cell;
                if (!cellValue.isNull())
                    appendCellXml(cell, ref, cellValue, style, m_prefix);
                else if (!style.isEmpty())
                    cell = "<" + m_prefix + "c r=\"" + ref + '"' + style + "/>";
                replace(cellStart, end, QString::fromUtf8(cell));
                cellStart = -1;
            } else if (inData && depth == 3 && !m_pending.empty()) {
                const int at = tagStart(end);
                replace(at, at, cellsBefore(INT_MAX));
            } else if (inData && depth == 2) {
                inData = false;
                if (!m_edits.empty()) {
                    const int at = tagStart(end);
                    replace(at, at, rowsBefore(INT_MAX));
                }
            }
            --depth;
        }
    }
    if (xml.hasError()) {
        *error = QStringLiteral("the worksheet is damaged (line %1: %2)").arg(xml.lineNumber()).arg(xml.errorString());
        return false;
    }
    copyTo(m_text.size());
    *out = m_out;
    return true;
}

// The text of a part; false with why when it cannot be read or parsed safely
// (the file may have changed since it was loaded: the same guards as then).
bool readPart(QuaZip& zip, const QString& part, QString* text, QTextCodec** codec, QString* error)
{
    QByteArray data;
    *error = readPackagePart(zip, part, &data);
    if (!error->isEmpty())
        return false;
    *codec = QTextCodec::codecForUtfText(data, QTextCodec::codecForName("UTF-8"));
    *text = (*codec)->toUnicode(data);
    return true;
}

// A child of a part's root element: its span in the text, from its start tag
// to its end tag, both included.
struct Child {
    QString name; // local name
    QXmlStreamAttributes attributes;
    int start = 0;
    int tagEnd = 0; // end of its start tag
    int end = 0;
};

// The children of a part's root element, the root's prefix (with its colon)
// and where the root's end tag starts.
bool rootChildren(const QString& text, const QString& part, QVector<Child>* children, QString* prefix, int* rootEnd,
                  QString* error)
{
    QXmlStreamReader xml(text);
    int depth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.tokenType() == QXmlStreamReader::DTD) {
            *error = QStringLiteral("the part %1 contains a document type declaration").arg(part);
            return false;
        }
        const int at = int(xml.characterOffset());
        if (xml.isStartElement()) {
            ++depth;
            if (depth == 1)
                *prefix = xml.prefix().isEmpty() ? QString() : xml.prefix() + QLatin1Char(':');
            if (depth == 2)
                children->append(Child{xml.name().toString(), xml.attributes(), text.lastIndexOf(QLatin1Char('<'), at - 1), at, 0});
        } else if (xml.isEndElement()) {
            if (depth == 2)
                children->last().end = at;
            if (depth == 1)
                *rootEnd = text.lastIndexOf(QLatin1Char('<'), at - 1);
            --depth;
        }
    }
    if (xml.hasError()) {
        *error = QStringLiteral("the part %1 is damaged (line %2: %3)").arg(part).arg(xml.lineNumber()).arg(xml.errorString());
        return false;
    }
    return true;
}

// Removes the children that `drop` selects.
template <typename Drop>
bool dropChildren(QString* text, const QString& part, Drop drop, QString* error)
{
    QVector<Child> children;
    QString prefix;
    int rootEnd = 0;
    if (!rootChildren(*text, part, &children, &prefix, &rootEnd, error))
        return false;
    for (int i = children.size() - 1; i >= 0; --i)
        if (drop(children.at(i)))
            text->remove(children.at(i).start, children.at(i).end - children.at(i).start);
    return true;
}

// Has the workbook recalculated when it is next opened: cells written over may
// feed formulas elsewhere, whose cached results would otherwise be shown.
bool setFullCalcOnLoad(QString* text, const QString& part, QString* error)
{
    QVector<Child> children;
    QString prefix;
    int rootEnd = 0;
    if (!rootChildren(*text, part, &children, &prefix, &rootEnd, error))
        return false;
    static const QRegularExpression attribute(QStringLiteral("\\sfullCalcOnLoad\\s*=\\s*(\"[^\"]*\"|'[^']*')"));
    for (const Child& c : qAsConst(children)) {
        if (c.name != QLatin1String("calcPr"))
            continue;
        QString tag = text->mid(c.start, c.tagEnd - c.start).remove(attribute);
        tag.insert(tag.indexOf(QLatin1String("calcPr")) + 6, QLatin1String(" fullCalcOnLoad=\"1\""));
        text->replace(c.start, c.tagEnd - c.start, tag);
        return true;
    }
    // None yet: it goes where the schema's order of the workbook's children puts it.
    static const QStringList later{QStringLiteral("oleSize"), QStringLiteral("customWorkbookViews"),
                                   QStringLiteral("pivotCaches"), QStringLiteral("smartTagPr"),
                                   QStringLiteral("smartTagTypes"), QStringLiteral("webPublishing"),
                                   QStringLiteral("fileRecoveryPr"), QStringLiteral("webPublishObjects"),
                                   QStringLiteral("extLst")};
    int at = rootEnd;
    for (const Child& c : qAsConst(children))
        if (later.contains(c.name)) {
            at = c.start;
            break;
        }
    text->insert(at, QLatin1Char('<') + prefix + QLatin1String("calcPr fullCalcOnLoad=\"1\"/>"));
    return true;
}

// Copies the current entry of `in` to `out` as it is stored, without unpacking it.
bool copyRaw(QuaZip& in, QuaZip& out, const QuaZipFileInfo64& info)
{
    QuaZipFile src(&in);
    int method = 0, level = 0;
    if (!src.open(QIODevice::ReadOnly, &method, &level, true))
        return false;
    const QByteArray raw = src.readAll();
    src.close();
    QuaZipFile dst(&out);
    if (!dst.open(QIODevice::WriteOnly, QuaZipNewInfo(info), nullptr, info.crc, method, level, true))
        return false;
    const bool ok = dst.write(raw) == raw.size();
    dst.close();
    return ok && dst.getZipError() == ZIP_OK && src.getZipError() == UNZ_OK;
}

} // namespace

bool patchWorkbook(const QString& path, const QString& workbookPart, const QString& sheetPart, const CellEdits& edits,
                   QString* error)
{
    auto fail = [&](const QString& why) {
        *error = QStringLiteral("Cannot write %1: %2").arg(path, why);
        return false;
    };
    QuaZip in(path);
    if (!in.open(QuaZip::mdUnzip))
        return fail(QStringLiteral("it is no longer a workbook"));

    // The parts that change, by lower-case name, in their own encodings.
    std::map<QString, QByteArray> changed;
    QString why;
    QString text;
    QTextCodec* codec = nullptr;
    const auto change = [&](const QString& part) {
        changed[part.toLower()] = codec->fromUnicode(text);
    };
    // The patcher reads a copy of the sheet, since it writes its result into `text`.
    if (!readPart(in, sheetPart, &text, &codec, &why) || !SheetPatcher(QString(text), edits).run(&text, &why))
        return fail(why);
    change(sheetPart);
    if (!readPart(in, workbookPart, &text, &codec, &why) || !setFullCalcOnLoad(&text, workbookPart, &why))
        return fail(why);
    change(workbookPart);
    // The calculation chain lists the formula cells in the order last computed;
    // one naming a cell written over makes Excel repair the file. It is a
    // cache: without it the chain is built again on the next recalculation.
    const QString rels = relsPartOf(workbookPart);
    QStringList chains;
    bool chained = false;
    const auto isChain = [&](const Child& c) {
        const bool chain = c.name == QLatin1String("Relationship")
            && c.attributes.value(QLatin1String("Type")).endsWith(QLatin1String("/calcChain"));
        const QString target = resolveTarget(workbookPart, c.attributes.value(QLatin1String("Target")).toString());
        if (chain && !target.isEmpty() && c.attributes.value(QLatin1String("TargetMode")) != QLatin1String("External"))
            chains << target.toLower();
        chained = chained || chain;
        return chain;
    };
    if (!readPart(in, rels, &text, &codec, &why) || !dropChildren(&text, rels, isChain, &why))
        return fail(why);
    const QString types = QStringLiteral("[Content_Types].xml");
    const auto isChainType = [&](const Child& c) {
        return c.name == QLatin1String("Override")
            && chains.contains(c.attributes.value(QLatin1String("PartName")).mid(1).toString().toLower());
    };
    if (chained) {
        change(rels);
        if (in.setCurrentFile(types, QuaZip::csInsensitive)) {
            if (!readPart(in, types, &text, &codec, &why) || !dropChildren(&text, types, isChainType, &why))
                return fail(why);
            change(types);
        }
    }

    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile can lose a write error in commit().
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    QuaZip out(&file);
    out.setAutoClose(false);
    if (!out.open(QuaZip::mdCreate))
        return fail(QStringLiteral("cannot start the archive"));
    for (bool more = in.goToFirstFile(); more; more = in.goToNextFile()) {
        QuaZipFileInfo64 info;
        if (!in.getCurrentFileInfo(&info))
            return fail(QStringLiteral("a part cannot be read"));
        const QString name = info.name.toLower();
        if (chains.contains(name))
            continue;
        const auto part = changed.find(name);
        if (part == changed.end()) {
            if (!copyRaw(in, out, info))
                return fail(QStringLiteral("the part %1 cannot be copied").arg(info.name));
            continue;
        }
        // Only the first of two entries of one name was read and changed.
        const QByteArray data = part->second;
        changed.erase(part);
        QuaZipNewInfo newInfo(info);
        newInfo.uncompressedSize = quint64(data.size());
        QuaZipFile dst(&out);
        if (!dst.open(QIODevice::WriteOnly, newInfo) || dst.write(data) != data.size())
            return fail(QStringLiteral("the part %1 cannot be packed").arg(info.name));
        dst.close();
        if (dst.getZipError() != ZIP_OK)
            return fail(QStringLiteral("the part %1 cannot be packed").arg(info.name));
    }
    if (in.getZipError() != UNZ_OK)
        return fail(QStringLiteral("the archive is damaged"));
    out.setComment(in.getComment());
    out.close();
    if (out.getZipError() != ZIP_OK || !file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace xlsx
