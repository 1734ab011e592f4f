// The workbook document: what we write as openpyxl reads it; what others write
// as we read it; files we refuse (not workbooks, damaged, made to hurt the
// reader: refused quickly, in bounded memory); appends and failed saves.
#include "filesizelimit.h"
#include "openpyxlsheet.h"
#include "xlsxdocument.h"

#include <QtTest>

#include <quazipfile.h>

#include <sys/stat.h>

using xlsx::Document;

namespace {

const QString kData = QStringLiteral(VARNOC_TEST_DATA "/");

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QByteArray kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

QByteArray relationship(const QByteArray& id, const char* type, const QByteArray& target)
{
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRelNs + "/" + type + "\" Target=\"" + target + "\"/>";
}

// `n` copies of `part`, "%1" in each replaced by its index.
QByteArray numbered(const QByteArray& part, int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += QByteArray(part).replace("%1", QByteArray::number(i));
    return out;
}

// A package of exactly these parts (the workbook at its usual place, found
// without package relationships), for files no spreadsheet program would
// write; by default one sheet holding `rows`. `more` follows the workbook's
// sheets; `rows2`, when given, fills xl/worksheets/sheet2.xml.
QByteArray package(const QByteArray& rows, const QByteArray& sheets = "<sheet r:id=\"rId1\"/>",
                   const QByteArray& rels = relationship("rId1", "worksheet", "worksheets/sheet1.xml"),
                   const QByteArray& more = QByteArray(), const QByteArray& rows2 = QByteArray())
{
    const QByteArray relsHead = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    const auto sheet = [](const QByteArray& data) {
        return "<worksheet xmlns=\"" + kMainNs + "\"><sheetData>" + data + "</sheetData></worksheet>";
    };
    QList<QPair<const char*, QByteArray>> parts = {
        {"xl/workbook.xml", "<workbook xmlns=\"" + kMainNs + "\" xmlns:r=\"" + kRelNs + "\"><sheets>" + sheets
                                + "</sheets>" + more + "</workbook>"},
        {"xl/_rels/workbook.xml.rels", relsHead + rels + "</Relationships>"},
        {"xl/worksheets/sheet1.xml", rows.startsWith("\xff\xfe") ? rows : sheet(rows)},
    };
    if (!rows2.isEmpty())
        parts.append({"xl/worksheets/sheet2.xml", sheet(rows2)});
    QBuffer buffer;
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    for (const auto& part : parts) {
        QuaZipFile f(&zip);
        f.open(QIODevice::WriteOnly, QuaZipNewInfo(QString::fromLatin1(part.first)));
        f.write(part.second);
    }
    zip.close();
    return buffer.data();
}

// Writes row r as a flow record would; returns its texts.
QStringList writeRow(Document& doc, int r)
{
    const QStringList texts{QStringLiteral("2024/03/05 14:07:%1").arg(r), QString::number(r % 101), QString::number(r * 0.5)};
    for (int c = 0; c < 3; ++c)
        doc.write(r, c + 1, texts.at(c));
    return texts;
}

} // namespace

class TestXlsxDocument : public QObject {
    Q_OBJECT

private slots:
    void writtenCellsReadBack();
    void reads_data();
    void reads();
    void saves_data();
    void saves();
    void savesOverFormulasElsewhere_data();
    void savesOverFormulasElsewhere();
};

void TestXlsxDocument::writtenCellsReadBack()
{
    struct Case {
        const char* ref;
        QVariant written;
        QString seen;      // by openpyxl
        QVariant readBack; // by our reader; invalid: as written
    };
    const QString dirty = QStringLiteral("bell\x07 nul") + QChar(0) + QStringLiteral("end") + QChar(0xFFFE) + QChar(0xD800);
    const Case cases[] = {
        {"B1", QStringLiteral("  lead and trail  "), QStringLiteral("  lead and trail  "), {}},
        {"C1", QStringLiteral("<a href=\"x\">&amp;</a>"), QStringLiteral("<a href=\"x\">&amp;</a>"), {}},
        {"D1", dirty, QStringLiteral("bell nulend"), QStringLiteral("bell nulend")},
        {"E1", QStringLiteral("line1\r\nline2\ttab"), QStringLiteral("line1\r\nline2\ttab"), {}},
        {"F1", QStringLiteral("emoji \U0001F600"), QStringLiteral("emoji \U0001F600"), {}},
        {"B2", 100, QStringLiteral("int:100"), 100.0},
        {"C2", -1.0e-7, QStringLiteral("float:-1e-07"), {}},
        {"$D$2", 0.1 + 0.2, QStringLiteral("float:0.30000000000000004"), {}}, // shortest exact form
        {"E2", true, QStringLiteral("bool:True"), {}},
        {"AB30", QStringLiteral("far"), QStringLiteral("far"), {}},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cells.xlsx"));
    Document doc(path);
    for (const Case& c : cases)
        QVERIFY(doc.write(QString::fromLatin1(c.ref), c.written));
    for (const char* ref : {"XFE1", "A1048577", "A0", "A01", "a1", "A", "12", "1A", "A1 ", "A-1", ""})
        QVERIFY2(!doc.write(QString::fromLatin1(ref), 1), ref);
    QVERIFY(!doc.write(QStringLiteral("A1"), qInf()));
    QVERIFY(!doc.write(QStringLiteral("A1"), QString(32768, QLatin1Char('x'))));
    QVERIFY(doc.write(QStringLiteral("C40"), 5));
    QVERIFY(doc.write(QStringLiteral("C40"), QString())); // clears
    QCOMPARE(doc.rowCount(), 30);
    QCOMPARE(doc.columnCount(), 28);
    QVERIFY2(doc.save(), qPrintable(doc.errorString()));
    const OpenpyxlSheet sheet = readWithOpenpyxl(path);
    QVERIFY2(sheet.error.isEmpty(), qPrintable(sheet.error));
    QCOMPARE(sheet.rows.size(), 30);
    const Document back(path);
    for (const Case& c : cases) {
        int row = 0, column = 0;
        QVERIFY(xlsx::parseCellRef(QString::fromLatin1(c.ref), &row, &column));
        QCOMPARE(sheet.rows.at(row - 1).value(column - 1), c.seen);
        QCOMPARE(back.read(row, column), c.readBack.isValid() ? c.readBack : c.written);
    }
}

void TestXlsxDocument::reads_data()
{
    QTest::addColumn<QByteArray>("bytes"); // "fifo": a named pipe
    QTest::addColumn<QString>("reason");   // part of the error text; empty: loads
    QTest::addColumn<QString>("ref");
    QTest::addColumn<QVariant>("value");   // of ref when it loads

    const QByteArray opx = fileBytes(kData + "openpyxl_written.xlsx");
    const QByteArray rich = fileBytes(kData + "shared_rich.xlsx");
    QTest::newRow("first sheet only") << opx << "" << "A1" << QVariant(QStringLiteral("Command"));
    QTest::newRow("sheet by relationship, rich runs") << rich << "" << "A2" << QVariant(QStringLiteral("Bold and plain"));
    QTest::newRow("no phonetic guide") << rich << "" << "A3" << QVariant(QStringLiteral("漢字"));
    QTest::newRow("formula result") << rich << "" << "B4" << QVariant(QStringLiteral("Commandx"));
    QTest::newRow("styled empty") << rich << "" << "B5" << QVariant();
    QTest::newRow("inline rich") << rich << "" << "A7" << QVariant(QStringLiteral("inline"));
    QTest::newRow("cell without reference") << rich << "" << "C7" << QVariant(1000.0);

    QByteArray damaged = opx; // bytes flipped inside the sheet's compressed data
    for (int i = damaged.indexOf("xl/worksheets/sheet1.xml") + 40, n = i + 20; i < n; ++i)
        damaged[i] = char(damaged[i] ^ 0x5A);
    const QVariant none;
    QTest::newRow("truncated") << opx.left(opx.size() / 2) << "zip" << "A1" << none;
    QTest::newRow("damaged data") << damaged << "damaged" << "A1" << none;
    QTest::newRow("zip bomb") << fileBytes(kData + "bomb.xlsx") << "64 MiB" << "A1" << none;
    QTest::newRow("missing sheet") << fileBytes(kData + "missing_sheet.xlsx") << "worksheet" << "A1" << none;
    QTest::newRow("entities") << fileBytes(kData + "entities.xlsx") << "document type" << "A1" << none;
    QTest::newRow("named pipe") << QByteArray("fifo") << "not a regular file" << "A1" << none; // would wait for a writer

    // 200000 sheets and relationships, only the last pair matching: must not
    // cost sheets x relationships.
    const QByteArray last = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>last</t></is></c></row>";
    QByteArray sheets = numbered("<sheet r:id=\"s%1\"/>", 200000);
    const QByteArray rels = numbered(relationship("r%1", "worksheet", "worksheets/sheet1.xml"), 199999)
                            + relationship("s199999", "worksheet", "worksheets/sheet1.xml");
    QTest::newRow("many sheets, last one matches") << package(last, sheets, rels) << "" << "A1" << QVariant(QStringLiteral("last"));
    sheets.replace("s199999\"/>", "x\"/>");
    QTest::newRow("many sheets, none matches") << package(last, sheets, rels) << "no worksheet" << "A1" << none;

    // Markup whose parsing costs the square of its size.
    const QByteArray tag = "<row r=\"1\"><c r=\"A1\"" + numbered(" a%1=\"\"", 400000) + "/></row>";
    QTest::newRow("tag with 400000 attributes") << package(tag) << "attributes" << "A1" << none;
    // 4000 nested elements declaring 100 each, then 400000 elements to resolve; in
    // UTF-16, which the parser reads too.
    const QString text = QString::fromUtf8(
        "<worksheet xmlns=\"" + kMainNs + "\"><sheetData><row r=\"1\">"
        + numbered("<g" + numbered(" xmlns:p%1=\"u\"", 100) + ">", 4000) + QByteArray("<x/>").repeated(400000)
        + QByteArray("</g>").repeated(4000) + "</row></sheetData></worksheet>");
    const QByteArray utf16 = "\xff\xfe" + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    QTest::newRow("400000 namespaces in scope, UTF-16") << package(utf16) << "namespaces" << "A1" << none;
    // Declarations that go out of scope do not add up.
    const QByteArray scoped = numbered("<c r=\"A1\" xmlns:x=\"u\" x:a=\"1\"><v>%1</v></c>", 1000);
    QTest::newRow("many declarations, few in scope") << package("<row r=\"1\">" + scoped + "</row>") << ""
                                                     << "A1" << QVariant(999.0);

    // Out of column order, C1 and A1 twice: put in order, the later one wins.
    const QByteArray shuffled = package(
        "<row r=\"1\"><c r=\"E1\"><v>5</v></c><c r=\"C1\"><v>3</v></c><c r=\"A1\" t=\"inlineStr\"><is><t>first</t></is></c>"
        "<c r=\"C1\"><v>33</v></c><c r=\"B1\"><v>2</v></c><c r=\"D1\"><v>4</v></c>"
        "<c r=\"A1\" t=\"inlineStr\"><is><t>again</t></is></c></row>");
    QTest::newRow("cells out of order, A1") << shuffled << "" << "A1" << QVariant(QStringLiteral("again"));
    QTest::newRow("cells out of order, E1") << shuffled << "" << "E1" << QVariant(5.0);
}

void TestXlsxDocument::reads()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFETCH(QString, ref);
    QFETCH(QVariant, value);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in.xlsx"));
    if (bytes == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    Document doc(path);
    QCOMPARE(doc.isLoadFailed(), !reason.isEmpty());
    QVERIFY2(doc.errorString().contains(reason), qPrintable(doc.errorString()));
    QCOMPARE(doc.read(ref), value);
    // What could not be read is never saved over.
    if (!reason.isEmpty() && bytes != "fifo") {
        QVERIFY(doc.write(1, 1, 1.0));
        QVERIFY(!doc.save());
        QVERIFY2(doc.errorString().contains(reason), qPrintable(doc.errorString()));
        QCOMPARE(fileBytes(path), bytes);
    }
}

void TestXlsxDocument::saves_data()
{
    QTest::addColumn<bool>("stream");
    QTest::newRow("Load") << false;
    QTest::newRow("Stream") << true;
}

void TestXlsxDocument::saves()
{
    QFETCH(bool, stream);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.xlsx"));
    Document doc(path, stream ? Document::Stream : Document::Load);
    QList<QStringList> expected;
    for (int r = 1; r <= 300; ++r) {
        expected << writeRow(doc, r);
        if (stream && r == 1) { // a file that appeared since is not ours to replace, nor to load
            const QByteArray foreign = fileBytes(kData + "openpyxl_written.xlsx");
            QVERIFY(QFile::copy(kData + "openpyxl_written.xlsx", path));
            QVERIFY(!doc.save() && doc.isNameTaken());
            QCOMPARE(fileBytes(path), foreign);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("record.xlsx")});
            QCOMPARE(doc.read(1, 3).toString(), expected[0][2]);
            QVERIFY(QFile::remove(path));
        }
        QVERIFY2(doc.save(), qPrintable(doc.errorString()));
        QVERIFY(r == 1 || doc.lastSaveBytes() < 1024); // the new row and the closing records
    }
    QVERIFY(doc.save());
    QCOMPARE(doc.lastSaveBytes(), 0); // nothing changed, nothing written
    if (stream) { // saved rows are forgotten, and closed
        QVERIFY(doc.read(2, 1).isNull());
        QVERIFY(!doc.write(300, 4, 1));
    }
    const QByteArray before = fileBytes(path);
    {
        // No room for a row; a Load document also rewrites the whole (smaller) file.
        FileSizeLimit limit(stream ? rlim_t(before.size()) + 4 : 1024);
        QVERIFY(limit.ok);
        for (int r = 301; r <= 302; ++r) {
            expected << writeRow(doc, r);
            QVERIFY(!doc.save() && !doc.isNameTaken()); // a full disk is no reason to move on
            QVERIFY(doc.errorString().contains(path));
        }
    }
    QCOMPARE(fileBytes(path), before); // untouched, and no temporary left beside it
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("record.xlsx")});
    QVERIFY2(doc.save(), qPrintable(doc.errorString()));
    expected << writeRow(doc, 303);
    QVERIFY(doc.save());
    QVERIFY(doc.lastSaveBytes() < 1024);
    if (!stream) { // a saved row changed: only the whole file will do
        QVERIFY(doc.write(6, 2, QStringLiteral("changed")));
        expected[5][1] = QStringLiteral("changed");
        QVERIFY(doc.save());
        QCOMPARE(doc.lastSaveBytes(), QFileInfo(path).size());
    }
    const OpenpyxlSheet sheet = readWithOpenpyxl(path);
    QVERIFY2(sheet.error.isEmpty(), qPrintable(sheet.error));
    QCOMPARE(sheet.rows, expected);
}

// The sheets: Before (a chart sheet), the written one, Notes, After (a chart sheet).
void TestXlsxDocument::savesOverFormulasElsewhere_data()
{
    QTest::addColumn<QByteArray>("written"); // the name of the sheet the document writes B2 of
    QTest::addColumn<QByteArray>("names");   // the workbook's defined names
    QTest::addColumn<QByteArray>("first");   // the formula of Notes!A1, a text result
    QTest::addColumn<QByteArray>("second");  // the formula, if any, of Notes!A2
    QTest::addColumn<QStringList>("dropped"); // the cells of Notes that lose their stored results

    const QByteArray names = "<definedNames><definedName name=\"Rate\">Sheet1!$B$2</definedName>"
                             "<definedName name=\"Twice\" localSheetId=\"2\">rate*2</definedName>"
                             "<definedName name=\"Here\">Notes!$C$1</definedName></definedNames>";
    const QStringList a1{QStringLiteral("A1")}, both{QStringLiteral("A1"), QStringLiteral("A2")}, none;
    const auto row = [&](const char* tag, const char* written, const char* first, const char* second, const QStringList& dropped) {
        QTest::newRow(tag) << QByteArray(written) << names << QByteArray(first) << QByteArray(second) << dropped;
    };
    row("quoted, other case", "Sheet1", "<f>'SHEET1'!B3+1</f>", "", a1);
    row("quoted, doubled apostrophes", "My 'x' sheet", "<f>SUM('my ''X'' sheet'!A1:A3)</f>", "", a1);
    row("3-D range over it", "Sheet1", "<f>SUM(Before:Notes!B2)</f>", "", a1);
    row("3-D range beside it", "Sheet1", "<f>SUM(Notes:After!B2)</f>", "", none);
    row("name through a name", "Sheet1", "<f>Twice+1</f>", "", a1);
    row("name elsewhere", "Sheet1", "<f>Here+Notes!C1</f>", "", none);
    row("shared", "Sheet1", "<f t=\"shared\" ref=\"A1:A2\" si=\"0\">Sheet1!B2</f>", "<f t=\"shared\" si=\"0\"/>", both);
    row("shared elsewhere", "Sheet1", "<f t=\"shared\" ref=\"A1:A2\" si=\"0\">Notes!B2</f>", "<f t=\"shared\" si=\"0\"/>", none);
    row("array", "Sheet1", "<f t=\"array\" ref=\"A1:A2\">Sheet1!B2:B3</f>", "", both);
    // A formula reading a result that was dropped loses its own.
    row("reading a dropped result", "Sheet1", "<f>Sheet1!B2*10</f>", "<f>SUM(A1:A$1)+1</f>", both);
    row("reading a kept result", "Sheet1", "<f>Notes!B1*10</f>", "<f>A1+1</f>", none);
}

void TestXlsxDocument::savesOverFormulasElsewhere()
{
    QFETCH(QByteArray, written);
    QFETCH(QByteArray, names);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QStringList, dropped);
    // Notes with the stored results of the cells not dropped.
    const auto notes = [&](const QStringList& gone) {
        const auto result = [&](const char* cell, const QByteArray& v) {
            return gone.contains(QLatin1String(cell)) ? QByteArray() : "<v>" + v + "</v>";
        };
        return "<row r=\"1\"><c r=\"A1\" t=\"str\">" + first + result("A1", "x") + "</c><c r=\"B1\"><f>1+1</f><v>2</v></c>"
               "</row><row r=\"2\"><c r=\"A2\">" + second + result("A2", "3") + "</c></row>";
    };
    const QByteArray sheets = "<sheet name=\"Before\" r:id=\"rId0\"/><sheet name=\"" + QByteArray(written).replace("'", "&apos;")
                              + "\" r:id=\"rId1\"/><sheet name=\"Notes\" r:id=\"rId2\"/><sheet name=\"After\" r:id=\"rId3\"/>";
    const QByteArray rels = relationship("rId0", "chartsheet", "chartsheets/sheet1.xml")
                            + relationship("rId1", "worksheet", "worksheets/sheet1.xml")
                            + relationship("rId2", "worksheet", "worksheets/sheet2.xml")
                            + relationship("rId3", "chartsheet", "chartsheets/sheet2.xml");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("formulas.xlsx"));
    QFile f(path);
    const QByteArray bytes = package("<row r=\"2\"><c r=\"B2\"><v>7</v></c></row>", sheets, rels, names, notes({}));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    Document doc(path);
    QVERIFY(doc.write(QStringLiteral("B2"), 1));
    QVERIFY2(doc.save(), qPrintable(doc.errorString()));
    QCOMPARE(Document(path).read(QStringLiteral("B2")), QVariant(1.0));
    QuaZip zip(path);
    QVERIFY(zip.open(QuaZip::mdUnzip) && zip.setCurrentFile(QStringLiteral("xl/worksheets/sheet2.xml")));
    QuaZipFile part(&zip);
    QVERIFY(part.open(QIODevice::ReadOnly));
    QCOMPARE(part.readAll(), "<worksheet xmlns=\"" + kMainNs + "\"><sheetData>" + notes(dropped) + "</sheetData></worksheet>");
}

QTEST_GUILESS_MAIN(TestXlsxDocument)
#include "tst_xlsxdocument.moc"
