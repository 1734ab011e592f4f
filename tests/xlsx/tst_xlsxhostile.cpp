// Workbooks made to hurt the reader: each must be refused or read quickly,
// with bounded memory.
#include "xlsxdocument.h"

#include <QTemporaryDir>
#include <QtTest>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

using xlsx::Document;

namespace {

using Parts = QList<QPair<QString, QByteArray>>;

// A workbook package made of exactly these parts, for files no spreadsheet
// program would write.
bool writePackage(const QString& path, const Parts& parts)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const auto& part : parts) {
        QuaZipFile f(&zip);
        if (!f.open(QIODevice::WriteOnly, QuaZipNewInfo(part.first)))
            return false;
        f.write(part.second);
        f.close();
        if (f.getZipError() != UNZ_OK)
            return false;
    }
    zip.close();
    return zip.getZipError() == UNZ_OK;
}

const char kMainNs[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char kRelNs[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char kPkgRelNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";

QByteArray rootRels()
{
    return QByteArray("<Relationships xmlns=\"") + kPkgRelNs + "\"><Relationship Id=\"rId1\" Type=\""
        + kRelNs + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
}

QByteArray relationship(const QByteArray& id, const char* type, const QByteArray& target)
{
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRelNs + "/" + type + "\" Target=\"" + target + "\"/>";
}

QByteArray sheetXml(const QByteArray& rows)
{
    return QByteArray("<worksheet xmlns=\"") + kMainNs + "\"><sheetData>" + rows + "</sheetData></worksheet>";
}

} // namespace

class TestXlsxHostile : public QObject {
    Q_OBJECT

private slots:
    void hostileFiles_data();
    void hostileFiles();
};

void TestXlsxHostile::hostileFiles_data()
{
    QTest::addColumn<Parts>("parts");
    QTest::addColumn<QString>("reason"); // part of the error text; empty: loads
    QTest::addColumn<QString>("a1");     // A1 when it loads

    const QByteArray oneSheetWorkbook = QByteArray("<workbook xmlns=\"") + kMainNs + "\" xmlns:r=\"" + kRelNs
        + "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const QByteArray oneSheetRels = QByteArray("<Relationships xmlns=\"") + kPkgRelNs + "\">"
        + relationship("rId1", "worksheet", "worksheets/sheet1.xml") + "</Relationships>";

    // A few hundred kilobytes naming 200000 sheets and as many relationships,
    // only the last of which fit together: must not cost sheets x relationships.
    const int n = 200000;
    QByteArray workbook = QByteArray("<workbook xmlns=\"") + kMainNs + "\" xmlns:r=\"" + kRelNs + "\"><sheets>";
    QByteArray rels = QByteArray("<Relationships xmlns=\"") + kPkgRelNs + "\">";
    for (int i = 0; i < n; ++i) {
        workbook += "<sheet r:id=\"s" + QByteArray::number(i) + "\"/>";
        rels += relationship((i == n - 1 ? "s" : "r") + QByteArray::number(i), "worksheet", "worksheets/sheet1.xml");
    }
    workbook += "</sheets></workbook>";
    rels += "</Relationships>";
    const QByteArray plainSheet = sheetXml("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>last</t></is></c></row>");
    QTest::newRow("many sheets, last one matches")
        << Parts{{"_rels/.rels", rootRels()}, {"xl/workbook.xml", workbook},
                 {"xl/_rels/workbook.xml.rels", rels}, {"xl/worksheets/sheet1.xml", plainSheet}}
        << QString() << "last";
    workbook.replace("s" + QByteArray::number(n - 1) + "\"/>", "x\"/>");
    QTest::newRow("many sheets, none matches")
        << Parts{{"_rels/.rels", rootRels()}, {"xl/workbook.xml", workbook},
                 {"xl/_rels/workbook.xml.rels", rels}, {"xl/worksheets/sheet1.xml", plainSheet}}
        << "no worksheet" << QString();

    // Markup whose parsing costs the square of its size: one tag with very
    // many attributes, or very many namespace declarations in scope.
    QByteArray attributes = "<row r=\"1\"><c r=\"A1\"";
    for (int i = 0; i < 400000; ++i)
        attributes += " a" + QByteArray::number(i) + "=\"\"";
    attributes += "><v>1</v></c></row>";
    QTest::newRow("tag with 400000 attributes")
        << Parts{{"_rels/.rels", rootRels()}, {"xl/workbook.xml", oneSheetWorkbook},
                 {"xl/_rels/workbook.xml.rels", oneSheetRels}, {"xl/worksheets/sheet1.xml", sheetXml(attributes)}}
        << "attributes" << QString();
    // 4000 nested elements declaring 100 each, then 400000 elements to resolve.
    QByteArray namespaces = QByteArray("<worksheet xmlns=\"") + kMainNs + "\"><sheetData><row r=\"1\">";
    for (int g = 0; g < 4000; ++g) {
        namespaces += "<g";
        for (int i = 0; i < 100; ++i)
            namespaces += " xmlns:p" + QByteArray::number(g * 100 + i) + "=\"u\"";
        namespaces += ">";
    }
    for (int i = 0; i < 400000; ++i)
        namespaces += "<x/>";
    for (int g = 0; g < 4000; ++g)
        namespaces += "</g>";
    namespaces += "</row></sheetData></worksheet>";
    QTest::newRow("400000 namespaces in scope")
        << Parts{{"_rels/.rels", rootRels()}, {"xl/workbook.xml", oneSheetWorkbook},
                 {"xl/_rels/workbook.xml.rels", oneSheetRels}, {"xl/worksheets/sheet1.xml", namespaces}}
        << "namespaces" << QString();
    // The same in UTF-16, which the parser reads as well.
    const QString utf16 = QString::fromUtf8(namespaces);
    QByteArray namespaces16(reinterpret_cast<const char*>(utf16.utf16()), utf16.size() * 2);
    namespaces16.prepend("\xff\xfe");
    QTest::newRow("400000 namespaces in scope, UTF-16")
        << Parts{{"_rels/.rels", rootRels()}, {"xl/workbook.xml", oneSheetWorkbook},
                 {"xl/_rels/workbook.xml.rels", oneSheetRels}, {"xl/worksheets/sheet1.xml", namespaces16}}
        << "namespaces" << QString();
    // Declarations that go out of scope again do not add up.
    QByteArray scoped = "<row r=\"1\">";
    for (int i = 0; i < 1000; ++i)
        scoped += "<c r=\"A1\" xmlns:x=\"u\" x:a=\"1\"><v>" + QByteArray::number(i) + "</v></c>";
    scoped += "</row>";
    QTest::newRow("many declarations, few in scope")
        << Parts{{"_rels/.rels", rootRels()}, {"xl/workbook.xml", oneSheetWorkbook},
                 {"xl/_rels/workbook.xml.rels", oneSheetRels}, {"xl/worksheets/sheet1.xml", sheetXml(scoped)}}
        << QString() << "999";

    // Cells out of column order, one given twice: sorted, the later one wins.
    const QByteArray shuffled = sheetXml(
        "<row r=\"1\"><c r=\"E1\"><v>5</v></c><c r=\"C1\"><v>3</v></c><c r=\"A1\" t=\"inlineStr\"><is><t>first</t></is></c>"
        "<c r=\"C1\"><v>33</v></c><c r=\"B1\"><v>2</v></c><c r=\"D1\"><v>4</v></c>"
        "<c r=\"A1\" t=\"inlineStr\"><is><t>again</t></is></c></row>");
    QTest::newRow("cells out of order")
        << Parts{{"_rels/.rels", rootRels()}, {"xl/workbook.xml", oneSheetWorkbook},
                 {"xl/_rels/workbook.xml.rels", oneSheetRels}, {"xl/worksheets/sheet1.xml", shuffled}}
        << QString() << "again";
}

void TestXlsxHostile::hostileFiles()
{
    QFETCH(Parts, parts);
    QFETCH(QString, reason);
    QFETCH(QString, a1);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("hostile.xlsx"));
    QVERIFY(writePackage(path, parts));

    Document doc(path);
    if (!reason.isEmpty()) {
        QVERIFY(doc.isLoadFailed());
        QVERIFY2(doc.errorString().contains(reason), qPrintable(doc.errorString()));
        QCOMPARE(doc.rowCount(), 0);
        return;
    }
    QVERIFY2(!doc.isLoadFailed(), qPrintable(doc.errorString()));
    QCOMPARE(doc.read(QStringLiteral("A1")).toString(), a1);
    if (QTest::currentDataTag() == QLatin1String("cells out of order")) {
        for (int c = 2; c <= 5; ++c)
            QCOMPARE(doc.read(1, c), QVariant(c == 3 ? 33.0 : double(c)));
        QCOMPARE(doc.columnCount(), 5);
        // Saved and read again: the row is written in column order.
        QVERIFY(doc.write(QStringLiteral("F1"), 6));
        QVERIFY2(doc.save(), qPrintable(doc.errorString()));
        Document again(path);
        QVERIFY2(!again.isLoadFailed(), qPrintable(again.errorString()));
        for (int c = 2; c <= 6; ++c)
            QCOMPARE(again.read(1, c), QVariant(c == 3 ? 33.0 : double(c)));
    }
}

QTEST_GUILESS_MAIN(TestXlsxHostile)
#include "tst_xlsxhostile.moc"
