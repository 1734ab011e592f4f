#include "xlsxpatch.h"

#include "xlsxcellref.h"
#include "xlsxcells.h"
#include "xlsxformula.h"
#include "xlsxpackagewriter.h"
#include "xlsxreader.h"

#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTextCodec>
#include <QVector>
#include <QXmlStreamReader>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipfileinfo.h>
#include <quazipnewinfo.h>

#include <algorithm>
#include <climits>

namespace xlsx {

namespace {

QString escapeXml(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1String("&quot;"), QLatin1String("\""));
}

// Which formulas refer to the written sheet: by its name, alone or within a
// 3-D range of sheets, or through a defined name that does (itself or through
// the names it uses). A sheet whose formulas lost their results counts as
// written too, so that formulas reading those results lose theirs as well.
class WrittenSheetRefs {
public:
    // All sheets in workbook order, and which of them is written.
    WrittenSheetRefs(const QStringList& sheets, const QVector<bool>& written) : m_written(written)
    {
        for (int p = 0; p < sheets.size(); ++p) {
            const QString name = sheets.at(p).toCaseFolded();
            if (!m_position.contains(name))
                m_position.insert(name, p);
        }
        update();
    }

    // Defined names: name and formula. One that refers to a written sheet
    // taints every name that uses it, whatever their scopes.
    void setDefinedNames(const QVector<QPair<QString, QString>>& names)
    {
        m_definedNames = names;
        update();
    }

    // The sheet at `position` counts as written from now on.
    void addWritten(int position)
    {
        m_written[position] = true;
        update();
    }

    // Whether `formula`, on the sheet at `position`, reads a written sheet.
    bool refersTo(const QString& formula, int position) const
    {
        bool found = false;
        scanFormula(formula, [&](const QString& a, const QString& b) { found = found || hits(a, b); },
                    [&](const QString& name) { found = found || m_names.contains(name); },
                    [&] { found = found || m_written.value(position); });
        return found;
    }

    bool anyWritten() const { return m_writtenBefore.last() > 0; }

private:
    void update()
    {
        m_writtenBefore = {0};
        for (const bool w : qAsConst(m_written))
            m_writtenBefore.append(m_writtenBefore.last() + (w ? 1 : 0));
        m_names.clear();
        QHash<QString, QStringList> usedBy;
        QStringList reached;
        for (const auto& n : qAsConst(m_definedNames)) {
            const QString name = n.first.toCaseFolded();
            bool direct = false;
            scanFormula(n.second, [&](const QString& a, const QString& b) { direct = direct || hits(a, b); },
                        [&](const QString& used) { usedBy[used].append(name); }, [] {});
            if (direct && !m_names.contains(name)) {
                m_names.insert(name);
                reached.append(name);
            }
        }
        while (!reached.isEmpty()) {
            const QStringList users = usedBy.take(reached.takeLast());
            for (const QString& user : users)
                if (!m_names.contains(user)) {
                    m_names.insert(user);
                    reached.append(user);
                }
        }
    }

    bool hits(const QString& first, const QString& last) const
    {
        const auto a = m_position.constFind(first), b = m_position.constFind(last);
        if (a == m_position.constEnd() || b == m_position.constEnd())
            return (a != m_position.constEnd() && m_written.at(*a)) || (b != m_position.constEnd() && m_written.at(*b));
        return m_writtenBefore.at(qMax(*a, *b) + 1) > m_writtenBefore.at(qMin(*a, *b));
    }

    QHash<QString, int> m_position; // by case-folded name
    QVector<bool> m_written;        // by position
    QVector<int> m_writtenBefore;   // written sheets before each position
    QVector<QPair<QString, QString>> m_definedNames;
    QSet<QString> m_names;          // defined names that refer to a written sheet
};

// Rewrites a worksheet's text with the edited cells in place. The parser only
// finds the elements; everything between them is copied as it stands, so
// prefixes, other attributes and extensions survive untouched. Formulas lose
// their stored results, so that spreadsheet programs compute them anew from
// the written cells; a shared formula whose first cell is written over is
// given to each of its other cells as a formula of its own.
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
    void endCell(int end, int column);
    QString sheetDataWithEdits(const QString& prefix);

    // A shared formula whose first cell was written over: its text, cell and range.
    struct Orphan {
        QString formula;
        int row, column;
        int top, left, bottom, right;
    };
    // The formula and stored result of the cell being read.
    struct CellParts {
        int start = -1; // of the cell's start tag
        bool edited = false;
        QVariant value; // its new value, when edited
        QString style;
        QXmlStreamAttributes formula;
        QString formulaText;
        QString formulaName; // qualified
        int formulaStart = -1, formulaEnd = -1;
        int resultStart = -1, resultEnd = -1;
    };

    const QString& m_text;
    CellEdits m_edits;
    QString m_out;
    int m_copied = 0;
    QByteArray m_prefix;          // of the sheet's elements, with its colon
    int m_row = 0;                // the row being read
    bool m_rowEdited = false;
    std::map<int, QVariant> m_pending; // its edits not yet placed
    CellParts m_cell;
    std::map<QString, Orphan> m_orphans; // by shared index
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

// A sheet that has no cell data yet: the edited rows in a sheetData of their own.
QString SheetPatcher::sheetDataWithEdits(const QString& prefix)
{
    m_prefix = prefix.toUtf8();
    const QString rows = rowsBefore(INT_MAX);
    if (rows.isEmpty())
        return rows;
    return QLatin1Char('<') + prefix + QLatin1String("sheetData>") + rows + QLatin1String("</") + prefix
        + QLatin1String("sheetData>");
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

void SheetPatcher::endCell(int end, int column)
{
    CellParts& c = m_cell;
    const QString shared = c.formula.value(QLatin1String("t")).toString() == QLatin1String("shared")
        ? c.formula.value(QLatin1String("si")).toString() : QString();
    if (c.edited) {
        // The first cell of a shared formula holds its text for all the others.
        const QStringList range = c.formula.value(QLatin1String("ref")).toString().split(QLatin1Char(':'));
        Orphan o{c.formulaText, m_row, column, 0, 0, 0, 0};
        if (!shared.isEmpty() && !c.formulaText.trimmed().isEmpty() && range.size() <= 2
            && parseCellRef(range.first(), &o.top, &o.left) && parseCellRef(range.last(), &o.bottom, &o.right))
            m_orphans[shared] = o;
        // The cell keeps its style, whatever else it held (type, formula) goes.
        static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
        const QByteArray style = number.match(c.style).hasMatch() ? " s=\"" + c.style.toLatin1() + '"' : QByteArray();
        const QByteArray ref = cellRef(m_row, column).toLatin1();
        QByteArray cell;
        if (!c.value.isNull())
            appendCellXml(cell, ref, c.value, style, m_prefix);
        else if (!style.isEmpty())
            cell = "<" + m_prefix + "c r=\"" + ref + '"' + style + "/>";
        replace(c.start, end, QString::fromUtf8(cell));
        return;
    }
    if (c.formulaStart < 0)
        return;
    // Both changes in the order they stand in the text.
    std::map<int, std::pair<int, QString>> changes;
    const auto orphan = m_orphans.find(shared);
    if (orphan != m_orphans.end() && c.formulaText.trimmed().isEmpty()) {
        const Orphan& o = orphan->second;
        if (m_row >= o.top && m_row <= o.bottom && column >= o.left && column <= o.right)
            changes[c.formulaStart] = {c.formulaEnd, QLatin1Char('<') + c.formulaName + QLatin1Char('>')
                                       + escapeXml(translateFormula(o.formula, m_row - o.row, column - o.column))
                                       + QLatin1String("</") + c.formulaName + QLatin1Char('>')};
    }
    if (c.resultStart >= 0)
        changes[c.resultStart] = {c.resultEnd, QString()};
    for (const auto& change : changes)
        replace(change.first, change.second.first, change.second.second);
}

bool SheetPatcher::run(QString* out, QString* error)
{
    static const QRegularExpression spansRe(QStringLiteral("\\sspans=\"[^\"]*\""));
    // The children of a worksheet that come before its sheetData.
    static const QStringList beforeData{QStringLiteral("sheetPr"), QStringLiteral("dimension"),
                                        QStringLiteral("sheetViews"), QStringLiteral("sheetFormatPr"),
                                        QStringLiteral("cols")};
    QXmlStreamReader xml(m_text);
    int depth = 0;
    bool inData = false;
    bool seenData = false;
    bool inFormula = false;
    QString rootPrefix;
    int column = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.tokenType() == QXmlStreamReader::DTD) {
            *error = QStringLiteral("the worksheet contains a document type declaration");
            return false;
        }
        const int end = int(xml.characterOffset());
        if (inFormula && xml.isCharacters())
            m_cell.formulaText += xml.text();
        if (xml.isStartElement()) {
            ++depth;
            const QStringRef name = xml.name();
            if (depth == 1) {
                rootPrefix = xml.prefix().isEmpty() ? QString() : xml.prefix() + QLatin1Char(':');
                if (selfClosing(end)) {
                    const QString data = sheetDataWithEdits(rootPrefix);
                    if (!data.isEmpty())
                        replace(end - 2, end, QLatin1Char('>') + data + QLatin1String("</") + xml.qualifiedName() + QLatin1Char('>'));
                }
            } else if (depth == 2 && !seenData && name != QLatin1String("sheetData") && !beforeData.contains(name.toString())) {
                // No sheetData before the children that follow it: the cells go here.
                seenData = true;
                const int start = tagStart(end);
                replace(start, start, sheetDataWithEdits(rootPrefix));
            }
            if (depth == 2 && name == QLatin1String("dimension")) {
                patchDimension(end);
            } else if (depth == 2 && name == QLatin1String("sheetData")) {
                inData = seenData = true;
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
                m_rowEdited = edited != m_edits.end();
                if (!m_rowEdited)
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
                m_cell = CellParts();
                m_cell.start = start;
                const auto edited = m_pending.find(column);
                if (edited != m_pending.end()) {
                    m_cell.edited = true;
                    m_cell.value = edited->second;
                    m_cell.style = xml.attributes().value(QLatin1String("s")).toString();
                    m_pending.erase(edited);
                } else if (ref.isEmpty() && m_rowEdited) {
                    // Its place follows from the cells before it, which may change.
                    const int at = start + 1 + xml.qualifiedName().size();
                    replace(at, at, QStringLiteral(" r=\"%1\"").arg(cellRef(m_row, column)));
                }
            } else if (inData && depth == 5 && m_cell.start >= 0 && name == QLatin1String("f")) {
                m_cell.formula = xml.attributes();
                m_cell.formulaName = xml.qualifiedName().toString();
                m_cell.formulaStart = tagStart(end);
                m_cell.formulaEnd = end;
                inFormula = true;
            } else if (inData && depth == 5 && m_cell.start >= 0 && name == QLatin1String("v")) {
                m_cell.resultStart = tagStart(end);
                m_cell.resultEnd = end;
            }
        } else if (xml.isEndElement()) {
            if (inData && depth == 5 && xml.name() == QLatin1String("f")) {
                m_cell.formulaEnd = end;
                inFormula = false;
            } else if (inData && depth == 5 && xml.name() == QLatin1String("v")) {
                m_cell.resultEnd = end;
            } else if (inData && depth == 4 && xml.name() == QLatin1String("c")) {
                endCell(end, column);
                m_cell = CellParts();
            } else if (inData && depth == 3 && !m_pending.empty()) {
                const int at = tagStart(end);
                replace(at, at, cellsBefore(INT_MAX));
            } else if (inData && depth == 2) {
                inData = false;
                if (!m_edits.empty()) {
                    const int at = tagStart(end);
                    replace(at, at, rowsBefore(INT_MAX));
                }
            } else if (depth == 1 && !seenData && !selfClosing(end)) {
                const int at = tagStart(end);
                replace(at, at, sheetDataWithEdits(rootPrefix));
            }
            --depth;
        }
    }
    if (xml.hasError()) {
        *error = QStringLiteral("the worksheet is damaged (line %1: %2)").arg(xml.lineNumber()).arg(xml.errorString());
        return false;
    }
    if (!m_edits.empty() || !m_pending.empty()) {
        *error = QStringLiteral("the worksheet has no place for its cells");
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

// Why a part is not read: a document type declaration could make the parser
// expand entities without bound.
QString dtdRefused(const QString& part)
{
    return QStringLiteral("the part %1 contains a document type declaration").arg(part);
}

QString damaged(const QXmlStreamReader& xml, const QString& part)
{
    return QStringLiteral("the part %1 is damaged (line %2: %3)").arg(part).arg(xml.lineNumber()).arg(xml.errorString());
}

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
            *error = dtdRefused(part);
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
        *error = damaged(xml, part);
        return false;
    }
    return true;
}

// Removes from `text` those of its root's `children` that `drop` selects.
template <typename Drop>
void removeChildren(QString* text, const QVector<Child>& children, Drop drop)
{
    for (int i = children.size() - 1; i >= 0; --i)
        if (drop(children.at(i)))
            text->remove(children.at(i).start, children.at(i).end - children.at(i).start);
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
    removeChildren(text, children, drop);
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

// The sheets of a workbook in order (name, relationship id) and its defined
// names (name, formula).
bool readWorkbookNames(const QString& text, const QString& part, QVector<QPair<QString, QString>>* sheets,
                       QVector<QPair<QString, QString>>* names, QString* error)
{
    QXmlStreamReader xml(text);
    int depth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.tokenType() == QXmlStreamReader::DTD) {
            *error = dtdRefused(part);
            return false;
        }
        if (xml.isEndElement())
            --depth;
        if (!xml.isStartElement())
            continue;
        if (++depth != 3)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == QLatin1String("sheet")) {
            QString id;
            for (const QXmlStreamAttribute& attribute : a)
                if (attribute.name() == QLatin1String("id") && !attribute.namespaceUri().isEmpty())
                    id = attribute.value().toString();
            sheets->append({a.value(QLatin1String("name")).toString(), id});
        } else if (xml.name() == QLatin1String("definedName")) {
            names->append({a.value(QLatin1String("name")).toString(), xml.readElementText()});
            --depth;
        }
    }
    if (xml.hasError()) {
        *error = damaged(xml, part);
        return false;
    }
    return true;
}

// One cell of a worksheet as dropResultsReferring reads it.
struct SheetCell {
    int row = 0, column = 0;
    bool formula = false;
    QString type, shared, range; // of its formula: t, si, ref
    QString text;                // of its formula
    int resultStart = -1, resultEnd = -1;
};

// Calls `visit` for every cell of a worksheet's text; false with why when it
// cannot be parsed.
template <typename Visit>
bool forEachCell(const QString& text, const QString& part, Visit visit, QString* error)
{
    QXmlStreamReader xml(text);
    int depth = 0;
    bool inData = false, inFormula = false;
    SheetCell cell;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.tokenType() == QXmlStreamReader::DTD) {
            *error = dtdRefused(part);
            return false;
        }
        const int at = int(xml.characterOffset());
        if (inFormula && xml.isCharacters())
            cell.text += xml.text();
        if (xml.isStartElement()) {
            ++depth;
            const QStringRef name = xml.name();
            if (depth == 2 && name == QLatin1String("sheetData")) {
                inData = true;
            } else if (inData && depth == 3 && name == QLatin1String("row")) {
                const int r = xml.attributes().value(QLatin1String("r")).toInt();
                cell.row = r > 0 ? r : cell.row + 1;
                cell.column = 0;
            } else if (inData && depth == 4 && name == QLatin1String("c")) {
                int r = 0, c = 0;
                const int row = cell.row, column = cell.column;
                cell = SheetCell();
                cell.row = row;
                cell.column = parseCellRef(xml.attributes().value(QLatin1String("r")).toString(), &r, &c) ? c : column + 1;
            } else if (inData && depth == 5 && name == QLatin1String("f")) {
                const QXmlStreamAttributes a = xml.attributes();
                cell.formula = inFormula = true;
                cell.type = a.value(QLatin1String("t")).toString();
                cell.shared = a.value(QLatin1String("si")).toString();
                cell.range = a.value(QLatin1String("ref")).toString();
            } else if (inData && depth == 5 && name == QLatin1String("v")) {
                cell.resultStart = text.lastIndexOf(QLatin1Char('<'), at - 1);
            }
        } else if (xml.isEndElement()) {
            if (inData && depth == 5 && xml.name() == QLatin1String("f"))
                inFormula = false;
            else if (inData && depth == 5 && xml.name() == QLatin1String("v"))
                cell.resultEnd = at;
            else if (inData && depth == 4 && xml.name() == QLatin1String("c"))
                visit(cell);
            else if (depth == 2)
                inData = false;
            --depth;
        }
    }
    if (xml.hasError()) {
        *error = damaged(xml, part);
        return false;
    }
    return true;
}

// Drops the stored results of the formulas in a worksheet that refer to the
// written sheet, since LibreOffice shows stored results as they are, even
// when asked to recalculate. The cells of a shared formula go with the one
// holding its text, the cells of an array formula with the formula. Only the
// results go; *changed tells whether any did.
bool dropResultsReferring(QString* text, const QString& part, const WrittenSheetRefs& refs, int position, bool* changed,
                          QString* error)
{
    std::vector<std::pair<int, int>> drops; // results, from start to end
    std::vector<std::pair<QString, std::pair<int, int>>> sharing; // index and result of a cell sharing a formula
    QSet<QString> sharedHit;
    struct Range {
        int top, left, bottom, right;
    };
    std::vector<Range> arrays;
    qint64 cells = 0;
    const auto visit = [&](const SheetCell& c) {
        ++cells;
        if (!c.formula)
            return;
        const bool shared = c.type == QLatin1String("shared");
        if (c.text.trimmed().isEmpty()) {
            if (shared && c.resultStart >= 0)
                sharing.push_back({c.shared, {c.resultStart, c.resultEnd}});
            return;
        }
        if (!refs.refersTo(c.text, position))
            return;
        if (c.resultStart >= 0)
            drops.push_back({c.resultStart, c.resultEnd});
        if (shared)
            sharedHit.insert(c.shared);
        const QStringList corners = c.range.split(QLatin1Char(':'));
        Range r{};
        if (c.type == QLatin1String("array") && corners.size() <= 2 && parseCellRef(corners.first(), &r.top, &r.left)
            && parseCellRef(corners.last(), &r.bottom, &r.right))
            arrays.push_back(r);
    };
    if (!forEachCell(*text, part, visit, error))
        return false;
    for (const auto& s : sharing)
        if (sharedHit.contains(s.first))
            drops.push_back(s.second);
    if (!arrays.empty()) {
        // The other cells of an array hold its results without a formula. Its
        // ranges, row by row, as sorted spans of columns; a legal file's
        // arrays do not overlap, so they cover no more rows than it has cells.
        std::map<int, std::vector<std::pair<int, int>>> spans;
        qint64 budget = cells;
        for (const Range& r : arrays)
            for (int row = qMin(r.top, r.bottom); row <= qMax(r.top, r.bottom) && budget > 0; ++row, --budget)
                spans[row].push_back({qMin(r.left, r.right), qMax(r.left, r.right)});
        for (auto& row : spans) {
            std::vector<std::pair<int, int>>& s = row.second;
            std::sort(s.begin(), s.end());
            std::vector<std::pair<int, int>> merged;
            for (const auto& span : s)
                if (!merged.empty() && span.first <= merged.back().second)
                    merged.back().second = qMax(merged.back().second, span.second);
                else
                    merged.push_back(span);
            s.swap(merged);
        }
        const auto inArray = [&](const SheetCell& c) {
            if (c.formula || c.resultStart < 0)
                return;
            const auto row = spans.find(c.row);
            if (row == spans.end())
                return;
            const auto span = std::upper_bound(row->second.begin(), row->second.end(), std::make_pair(c.column, INT_MAX));
            if (span != row->second.begin() && std::prev(span)->second >= c.column)
                drops.push_back({c.resultStart, c.resultEnd});
        };
        if (!forEachCell(*text, part, inArray, error))
            return false;
    }
    std::sort(drops.begin(), drops.end());
    drops.erase(std::unique(drops.begin(), drops.end()), drops.end());
    *changed = !drops.empty();
    if (!*changed)
        return true;
    // In one pass: removing them one by one would move the rest each time.
    QString out;
    out.reserve(text->size());
    int copied = 0;
    for (const auto& d : drops) {
        out += text->midRef(copied, d.first - copied);
        copied = d.second;
    }
    out += text->midRef(copied);
    *text = out;
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
    QVector<QPair<QString, QString>> sheets, names;
    if (!readPart(in, workbookPart, &text, &codec, &why) || !readWorkbookNames(text, workbookPart, &sheets, &names, &why)
        || !setFullCalcOnLoad(&text, workbookPart, &why))
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
    QVector<Child> relations;
    QString relsPrefix;
    int relsEnd = 0;
    if (!readPart(in, rels, &text, &codec, &why) || !rootChildren(text, rels, &relations, &relsPrefix, &relsEnd, &why))
        return fail(why);
    removeChildren(&text, relations, isChain);
    // The worksheets by relationship id; the written one is found by its part.
    QHash<QString, QString> worksheets;
    for (const Child& r : qAsConst(relations))
        if (r.name == QLatin1String("Relationship")
            && r.attributes.value(QLatin1String("Type")).endsWith(QLatin1String("/worksheet"))
            && r.attributes.value(QLatin1String("TargetMode")) != QLatin1String("External"))
            worksheets.insert(r.attributes.value(QLatin1String("Id")).toString(),
                              resolveTarget(workbookPart, r.attributes.value(QLatin1String("Target")).toString()).toLower());
    QStringList sheetNames;
    QVector<QPair<QString, int>> otherSheets; // part and position
    QVector<bool> written;
    QSet<QString> seen;
    for (const auto& sheet : qAsConst(sheets)) {
        const QString target = worksheets.value(sheet.second);
        sheetNames << sheet.first;
        written << (target == sheetPart.toLower());
        if (!target.isEmpty() && !written.last() && !seen.contains(target)) {
            seen.insert(target);
            otherSheets.append({target, int(written.size()) - 1});
        }
    }
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

    // Formulas on the other sheets that read the written one lose their
    // results too, and so, sheet by sheet until none is added, do those that
    // read a sheet that lost some. A sheet that cannot be read is copied as
    // it stands, as the written cells do not depend on it.
    WrittenSheetRefs refs(sheetNames, written);
    refs.setDefinedNames(names);
    struct Other {
        QString part;
        int position;
        QString text;
        QTextCodec* codec;
        bool dropped;
    };
    std::vector<Other> others;
    for (const auto& other : qAsConst(otherSheets))
        if (refs.anyWritten() && !changed.count(other.first) && readPart(in, other.first, &text, &codec, &why))
            others.push_back({other.first, other.second, text, codec, false});
    for (bool added = true; added;) {
        added = false;
        for (auto o = others.begin(); o != others.end();) {
            bool dropped = false;
            if (!dropResultsReferring(&o->text, o->part, refs, o->position, &dropped, &why)) {
                o = others.erase(o); // unreadable: copied as it stands
                continue;
            }
            if (dropped) {
                changed[o->part] = o->codec->fromUnicode(o->text);
                if (!o->dropped) {
                    o->dropped = added = true;
                    refs.addWritten(o->position);
                }
            }
            ++o;
        }
    }

    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile can lose a write error in commit().
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    // A part that cannot be written: the file's own error says why (a full disk).
    const auto writeFailed = [&](const QString& what) {
        const QString cause = writeError(file);
        return fail(file.error() == QFileDevice::NoError ? what : what + QStringLiteral(" (") + cause + QLatin1Char(')'));
    };
    QuaZip out(&file);
    out.setAutoClose(false);
    if (!out.open(QuaZip::mdCreate))
        return writeFailed(QStringLiteral("cannot start the archive"));
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
                return writeFailed(QStringLiteral("the part %1 cannot be copied").arg(info.name));
            continue;
        }
        // Only the first of two entries of one name was read and changed.
        const QByteArray data = part->second;
        changed.erase(part);
        QuaZipNewInfo newInfo(info);
        newInfo.uncompressedSize = quint64(data.size());
        QuaZipFile dst(&out);
        if (!dst.open(QIODevice::WriteOnly, newInfo) || dst.write(data) != data.size())
            return writeFailed(QStringLiteral("the part %1 cannot be packed").arg(info.name));
        dst.close();
        if (dst.getZipError() != ZIP_OK)
            return writeFailed(QStringLiteral("the part %1 cannot be packed").arg(info.name));
    }
    if (in.getZipError() != UNZ_OK)
        return fail(QStringLiteral("the archive is damaged"));
    out.setComment(in.getComment());
    out.close();
    if (out.getZipError() != ZIP_OK)
        return writeFailed(QStringLiteral("the archive cannot be finished"));
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace xlsx
