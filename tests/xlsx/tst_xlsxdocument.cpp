#include "xlsxdocument.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using xlsx::Document;

namespace {

const QString kData = QStringLiteral(VARNOC_TEST_DATA);
const QString kPython = QStringLiteral("/usr/bin/python3");

// Reads a workbook with openpyxl (and checks every zip entry's checksum):
// {"title", "sheets", "cells": [[row, column, type, value], ...]}.
const char kDumpScript[] = R"(
import sys, json, zipfile, openpyxl
p = sys.argv[1]
with zipfile.ZipFile(p) as z:
    bad = z.testzip()
    if bad:
        sys.exit("bad entry " + bad)
wb = openpyxl.load_workbook(p)
ws = wb.worksheets[0]
cells = []
for row in ws.iter_rows():
    for c in row:
        if c.value is not None:
            cells.append([c.row, c.column, type(c.value).__name__, c.value])
print(json.dumps({"title": ws.title, "sheets": len(wb.worksheets), "cells": cells}))
)";

bool openpyxlAvailable()
{
    static const int state = [] {
        if (!QFile::exists(kPython))
            return 0;
        QProcess p;
        p.start(kPython, {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
        return p.waitForFinished(60000) && p.exitCode() == 0 ? 1 : 0;
    }();
    return state == 1;
}

QJsonObject openpyxlRead(const QString& path, QString* error)
{
    QProcess p;
    p.start(kPython, {QStringLiteral("-c"), QString::fromLatin1(kDumpScript), path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        *error = QString::fromUtf8(p.readAllStandardError());
        return QJsonObject();
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// "row,col" -> [type, value] from openpyxl's dump.
QMap<QString, QJsonArray> cellsByRef(const QJsonObject& dump)
{
    QMap<QString, QJsonArray> out;
    for (const QJsonValue& v : dump.value(QStringLiteral("cells")).toArray()) {
        const QJsonArray c = v.toArray();
        out.insert(xlsx::cellRef(c.at(0).toInt(), c.at(1).toInt()), QJsonArray{c.at(2), c.at(3)});
    }
    return out;
}

QString recordTime(int row)
{
    return QStringLiteral("2024/03/05 14:%1:%2:%3")
        .arg(row / 3600 % 60, 2, 10, QLatin1Char('0'))
        .arg(row / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(row % 1000, 3, 10, QLatin1Char('0'));
}

void writeRecordRow(Document& doc, int row)
{
    doc.write(QStringLiteral("A%1").arg(row), recordTime(row));
    doc.write(QStringLiteral("B%1").arg(row), QString::number(row % 101));
    doc.write(QStringLiteral("C%1").arg(row), QString::number(row * 0.5, 'g', 6));
}

// Compares openpyxl's view of a flow record with rows 1..lastRow.
void verifyRecord(const QString& path, int lastRow)
{
    QString err;
    const QJsonObject dump = openpyxlRead(path, &err);
    QVERIFY2(!dump.isEmpty(), qPrintable(err));
    const QJsonArray cells = dump.value(QStringLiteral("cells")).toArray();
    QCOMPARE(cells.size(), 3 + 3 * (lastRow - 1));
    QCOMPARE(cells.at(0).toArray().at(3).toString(), QStringLiteral("日期时间"));
    for (int i = 3; i < cells.size(); ++i) {
        const QJsonArray c = cells.at(i).toArray();
        const int row = c.at(0).toInt();
        const int col = c.at(1).toInt();
        QCOMPARE(row, 2 + (i - 3) / 3);
        QCOMPARE(col, 1 + (i - 3) % 3);
        QCOMPARE(c.at(2).toString(), QStringLiteral("str"));
        const QString expected = col == 1 ? recordTime(row)
            : col == 2 ? QString::number(row % 101) : QString::number(row * 0.5, 'g', 6);
        QCOMPARE(c.at(3).toString(), expected);
    }
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Lets writes beyond `bytes` fail with EFBIG, even for root; restores on scope exit.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lim = m_old;
        lim.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    bool m_ok = false;
};

} // namespace

class TestXlsxDocument : public QObject {
    Q_OBJECT

private slots:
    void cellRefs_data();
    void cellRefs();
    void writeRefsAndValues();
    void readOpenpyxlFixture();
    void readSharedStringsAndRichText();
    void badFiles_data();
    void badFiles();
    void writtenCellsReadByOpenpyxl();
    void appendedRowsStayValid();
    void earlierRowChangeRewritesWhole();
    void fileReplacedBetweenSaves();
    void failedAppendKeepsFileAndRecovers();
    void failedRewriteLeavesOldFile();
    void directoryInTheWay();
    void readOnlyFolder();
};

void TestXlsxDocument::cellRefs_data()
{
    QTest::addColumn<QString>("ref");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column"); // 0: refused
    QTest::newRow("A1") << "A1" << 1 << 1;
    QTest::newRow("B12") << "B12" << 12 << 2;
    QTest::newRow("Z9") << "Z9" << 9 << 26;
    QTest::newRow("AA10") << "AA10" << 10 << 27;
    QTest::newRow("AZ3") << "AZ3" << 3 << 52;
    QTest::newRow("absolute") << "$C$7" << 7 << 3;
    QTest::newRow("last cell") << "XFD1048576" << 1048576 << 16384;
    QTest::newRow("column past XFD") << "XFE1" << 0 << 0;
    QTest::newRow("row past limit") << "A1048577" << 0 << 0;
    QTest::newRow("row 0") << "A0" << 0 << 0;
    QTest::newRow("leading zero") << "A01" << 0 << 0;
    QTest::newRow("lower case") << "a1" << 0 << 0;
    QTest::newRow("no row") << "A" << 0 << 0;
    QTest::newRow("no column") << "12" << 0 << 0;
    QTest::newRow("reversed") << "1A" << 0 << 0;
    QTest::newRow("trailing space") << "A1 " << 0 << 0;
    QTest::newRow("four letters") << "AAAA1" << 0 << 0;
    QTest::newRow("negative") << "A-1" << 0 << 0;
    QTest::newRow("empty") << "" << 0 << 0;
    QTest::newRow("huge row") << "A99999999999" << 0 << 0;
}

void TestXlsxDocument::cellRefs()
{
    QFETCH(QString, ref);
    QFETCH(int, row);
    QFETCH(int, column);
    int r = -1;
    int c = -1;
    const bool ok = xlsx::parseCellRef(ref, &r, &c);
    QCOMPARE(ok, column != 0);
    if (!ok) {
        QCOMPARE(r, -1);
        Document doc(QString{});
        QVERIFY(!doc.write(ref, QStringLiteral("x")));
        QVERIFY(doc.read(ref).isNull());
        return;
    }
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(xlsx::cellRef(row, column), QString(ref).remove(QLatin1Char('$')));
}

void TestXlsxDocument::writeRefsAndValues()
{
    Document doc(QString{});
    QVERIFY(!doc.isLoadFailed());
    QCOMPARE(doc.rowCount(), 0);
    QCOMPARE(doc.columnCount(), 0);
    QVERIFY(doc.write(QStringLiteral("C5"), QStringLiteral("text")));
    QVERIFY(doc.write(2, 7, 42));
    QVERIFY(doc.write(QStringLiteral("A1"), 1.5));
    QCOMPARE(doc.read(QStringLiteral("C5")), QVariant(QStringLiteral("text")));
    QCOMPARE(doc.read(2, 7), QVariant(42.0));
    QCOMPARE(doc.rowCount(), 5);
    QCOMPARE(doc.columnCount(), 7);
    QVERIFY(doc.read(QStringLiteral("B2")).isNull());
    QVERIFY(doc.read(QStringLiteral("bad")).isNull());
    QVERIFY(!doc.write(0, 1, 1));
    QVERIFY(!doc.write(1, 16385, 1));
    QVERIFY(!doc.write(QStringLiteral("A1"), qInf()));
    QVERIFY(!doc.write(QStringLiteral("A1"), QString(32768, QLatin1Char('x'))));
    QCOMPARE(doc.read(QStringLiteral("A1")), QVariant(1.5)); // refused writes change nothing
    QVERIFY(doc.write(QStringLiteral("A1"), QString(32767, QLatin1Char('x'))));
    // Clearing: null and empty text.
    QVERIFY(doc.write(2, 7, QVariant()));
    QVERIFY(doc.write(QStringLiteral("C5"), QString()));
    QVERIFY(doc.read(2, 7).isNull());
    QCOMPARE(doc.rowCount(), 1);
    QCOMPARE(doc.columnCount(), 1);
    QVERIFY(!doc.save()); // no file name
    QVERIFY(!doc.errorString().isEmpty());
}

void TestXlsxDocument::readOpenpyxlFixture()
{
    Document doc(kData + QStringLiteral("/openpyxl_written.xlsx"));
    QVERIFY2(!doc.isLoadFailed(), qPrintable(doc.errorString()));
    QCOMPARE(doc.read(QStringLiteral("A1")), QVariant(QStringLiteral("Command")));
    QCOMPARE(doc.read(QStringLiteral("B1")), QVariant(QStringLiteral("Value")));
    QCOMPARE(doc.read(QStringLiteral("B2")), QVariant(100.0));
    QCOMPARE(doc.read(QStringLiteral("B2")).toString(), QStringLiteral("100"));
    QCOMPARE(doc.read(QStringLiteral("B3")), QVariant(QStringLiteral("  N2 ")));
    QCOMPARE(doc.read(QStringLiteral("A4")), QVariant(QStringLiteral("日期时间")));
    QCOMPARE(doc.read(QStringLiteral("B4")), QVariant(37.5));
    QCOMPARE(doc.read(QStringLiteral("C4")), QVariant(true));
    QCOMPARE(doc.read(QStringLiteral("D10")), QVariant(QStringLiteral("a < b & c > d")));
    QCOMPARE(doc.read(QStringLiteral("B11")), QVariant(-0.001));
    QVERIFY(doc.read(QStringLiteral("A5")).isNull());
    QCOMPARE(doc.rowCount(), 11);
    QCOMPARE(doc.columnCount(), 4);
}

void TestXlsxDocument::readSharedStringsAndRichText()
{
    Document doc(kData + QStringLiteral("/shared_rich.xlsx"));
    QVERIFY2(!doc.isLoadFailed(), qPrintable(doc.errorString()));
    QCOMPARE(doc.read(QStringLiteral("A1")), QVariant(QStringLiteral("Command")));
    QCOMPARE(doc.read(QStringLiteral("B1")), QVariant(QStringLiteral("Value")));
    QCOMPARE(doc.read(QStringLiteral("A2")), QVariant(QStringLiteral("Bold and plain")));
    QCOMPARE(doc.read(QStringLiteral("B2")), QVariant(12.5));
    QCOMPARE(doc.read(QStringLiteral("A3")), QVariant(QStringLiteral("漢字"))); // no phonetic guide
    QCOMPARE(doc.read(QStringLiteral("B3")), QVariant(true));
    QCOMPARE(doc.read(QStringLiteral("A4")), QVariant(QStringLiteral("  spaced  ")));
    QCOMPARE(doc.read(QStringLiteral("B4")), QVariant(QStringLiteral("Commandx")));
    QCOMPARE(doc.read(QStringLiteral("A5")), QVariant(QStringLiteral("x & y <z>")));
    QVERIFY(doc.read(QStringLiteral("B5")).isNull()); // styled but empty
    QVERIFY(doc.read(QStringLiteral("A6")).isNull());
    QCOMPARE(doc.read(QStringLiteral("A7")), QVariant(QStringLiteral("inline")));
    QCOMPARE(doc.read(QStringLiteral("B7")), QVariant(QStringLiteral("#DIV/0!")));
    QCOMPARE(doc.read(QStringLiteral("C7")), QVariant(1000.0)); // cell without a reference
    QCOMPARE(doc.rowCount(), 7);
}

void TestXlsxDocument::badFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason"); // part of the error text
    QTest::newRow("text file") << "text" << "zip";
    QTest::newRow("empty file") << "empty" << "zip";
    QTest::newRow("truncated") << "truncated" << "zip";
    QTest::newRow("damaged data") << "damaged" << "damaged";
    QTest::newRow("zip bomb") << "bomb.xlsx" << "64 MiB";
    QTest::newRow("missing sheet") << "missing_sheet.xlsx" << "worksheet";
    QTest::newRow("entities") << "entities.xlsx" << "document type";
    QTest::newRow("folder") << "folder" << "folder";
    QTest::newRow("named pipe") << "fifo" << "not a regular file"; // opening one would wait for a writer
}

void TestXlsxDocument::badFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(QStringLiteral("bad.xlsx"));
    const QByteArray good = fileBytes(kData + QStringLiteral("/openpyxl_written.xlsx"));
    QVERIFY(!good.isEmpty());
    QByteArray bytes;
    if (kind == QLatin1String("text")) {
        bytes = "Command,Value\nReadFlow,100\n";
    } else if (kind == QLatin1String("truncated")) {
        bytes = good.left(good.size() / 2);
    } else if (kind == QLatin1String("damaged")) {
        // Flip bytes inside the sheet's compressed data: checksum or inflate error.
        bytes = good;
        const int at = bytes.indexOf("xl/worksheets/sheet1.xml");
        QVERIFY(at > 0);
        for (int i = at + 40; i < at + 60; ++i)
            bytes[i] = char(bytes[i] ^ 0x5A);
    } else if (kind.endsWith(QLatin1String(".xlsx"))) {
        path = kData + QLatin1Char('/') + kind;
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("bad.xlsx")));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    if (!kind.endsWith(QLatin1String(".xlsx")) && kind != QLatin1String("folder") && kind != QLatin1String("fifo")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    Document doc(path);
    QVERIFY(doc.isLoadFailed());
    QVERIFY2(doc.errorString().contains(reason), qPrintable(doc.errorString()));
    QVERIFY(doc.read(QStringLiteral("A1")).isNull());
    QCOMPARE(doc.rowCount(), 0);
}

void TestXlsxDocument::writtenCellsReadByOpenpyxl()
{
    if (!openpyxlAvailable())
        QSKIP("/usr/bin/python3 with openpyxl is needed to check written files");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cells.xlsx"));
    {
        Document doc(path);
        QVERIFY(!doc.isLoadFailed());
        QVERIFY(doc.write(QStringLiteral("A1"), QStringLiteral("日期时间")));
        QVERIFY(doc.write(QStringLiteral("B1"), QStringLiteral("  lead and trail  ")));
        QVERIFY(doc.write(QStringLiteral("C1"), QStringLiteral("<a href=\"x\">&amp;</a>")));
        QVERIFY(doc.write(QStringLiteral("D1"), QStringLiteral("bell\x07 nul") + QChar(0)
                              + QStringLiteral("end") + QChar(0xFFFE) + QChar(0xD800)));
        QVERIFY(doc.write(QStringLiteral("E1"), QStringLiteral("line1\r\nline2\ttab")));
        QVERIFY(doc.write(QStringLiteral("F1"), QStringLiteral("emoji \U0001F600")));
        QVERIFY(doc.write(QStringLiteral("A2"), 37.5));
        QVERIFY(doc.write(QStringLiteral("B2"), 100));
        QVERIFY(doc.write(QStringLiteral("C2"), -1.0e-7));
        QVERIFY(doc.write(QStringLiteral("D2"), 0.1 + 0.2));
        QVERIFY(doc.write(QStringLiteral("E2"), true));
        QVERIFY(doc.write(QStringLiteral("AB30"), QStringLiteral("far")));
        QCOMPARE(doc.read(QStringLiteral("D1")), QVariant(QStringLiteral("bell nulend")));
        QVERIFY2(doc.save(), qPrintable(doc.errorString()));
        QCOMPARE(doc.lastSaveBytes(), QFileInfo(path).size());
    }
    QString err;
    const QJsonObject dump = openpyxlRead(path, &err);
    QVERIFY2(!dump.isEmpty(), qPrintable(err));
    QCOMPARE(dump.value(QStringLiteral("title")).toString(), QStringLiteral("Sheet1"));
    QCOMPARE(dump.value(QStringLiteral("sheets")).toInt(), 1);
    const auto cells = cellsByRef(dump);
    QCOMPARE(cells.size(), 12);
    auto text = [&](const char* ref) {
        const QJsonArray c = cells.value(QString::fromLatin1(ref));
        return c.at(0).toString() == QLatin1String("str") ? c.at(1).toString() : QStringLiteral("?");
    };
    auto number = [&](const char* ref) { return cells.value(QString::fromLatin1(ref)).at(1).toDouble(); };
    QCOMPARE(text("A1"), QStringLiteral("日期时间"));
    QCOMPARE(text("B1"), QStringLiteral("  lead and trail  "));
    QCOMPARE(text("C1"), QStringLiteral("<a href=\"x\">&amp;</a>"));
    QCOMPARE(text("D1"), QStringLiteral("bell nulend"));
    QCOMPARE(text("E1"), QStringLiteral("line1\r\nline2\ttab"));
    QCOMPARE(text("F1"), QStringLiteral("emoji \U0001F600"));
    QCOMPARE(number("A2"), 37.5);
    QCOMPARE(cells.value(QStringLiteral("B2")).at(0).toString(), QStringLiteral("int"));
    QCOMPARE(number("B2"), 100.0);
    QCOMPARE(number("C2"), -1.0e-7);
    QCOMPARE(number("D2"), 0.1 + 0.2); // shortest round trip keeps every bit
    QCOMPARE(cells.value(QStringLiteral("E2")).at(1).toBool(), true);
    QCOMPARE(text("AB30"), QStringLiteral("far"));

    // And our own reader sees the same.
    Document back(path);
    QVERIFY2(!back.isLoadFailed(), qPrintable(back.errorString()));
    QCOMPARE(back.read(QStringLiteral("B1")), QVariant(QStringLiteral("  lead and trail  ")));
    QCOMPARE(back.read(QStringLiteral("E1")), QVariant(QStringLiteral("line1\r\nline2\ttab")));
    QCOMPARE(back.read(QStringLiteral("D2")), QVariant(0.1 + 0.2));
    QCOMPARE(back.read(QStringLiteral("E2")), QVariant(true));
    QCOMPARE(back.rowCount(), 30);
    QCOMPARE(back.columnCount(), 28);
}

void TestXlsxDocument::appendedRowsStayValid()
{
    if (!openpyxlAvailable())
        QSKIP("/usr/bin/python3 with openpyxl is needed to check written files");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.xlsx"));
    Document doc(path);
    QVERIFY(doc.write(QStringLiteral("A1"), QStringLiteral("日期时间")));
    QVERIFY(doc.write(QStringLiteral("B1"), QStringLiteral("设定流量")));
    QVERIFY(doc.write(QStringLiteral("C1"), QStringLiteral("瞬时流量")));
    QVERIFY(doc.save());
    verifyRecord(path, 1);

    const QList<int> checks{2, 3, 1000, 3000};
    qint64 largestAppend = 0;
    for (int row = 2; row <= 3000; ++row) {
        writeRecordRow(doc, row);
        QVERIFY2(doc.save(), qPrintable(doc.errorString()));
        // Only the new row and the closing records went to the file.
        largestAppend = qMax(largestAppend, doc.lastSaveBytes());
        QVERIFY(doc.lastSaveBytes() > 0);
        if (checks.contains(row)) {
            verifyRecord(path, row);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("after row %1").arg(row)));
        }
    }
    QVERIFY2(largestAppend < 1024, qPrintable(QString::number(largestAppend)));
    QVERIFY(QFileInfo(path).size() > 20 * 1024);
    // A save without changes writes nothing.
    QVERIFY(doc.save());
    QCOMPARE(doc.lastSaveBytes(), 0);

    Document back(path);
    QVERIFY2(!back.isLoadFailed(), qPrintable(back.errorString()));
    QCOMPARE(back.rowCount(), 3000);
    QCOMPARE(back.read(QStringLiteral("A2999")), QVariant(recordTime(2999)));
    QCOMPARE(back.read(QStringLiteral("C3000")), QVariant(QStringLiteral("1500")));
}

void TestXlsxDocument::earlierRowChangeRewritesWhole()
{
    if (!openpyxlAvailable())
        QSKIP("/usr/bin/python3 with openpyxl is needed to check written files");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("change.xlsx"));
    Document doc(path);
    doc.write(QStringLiteral("A1"), QStringLiteral("日期时间"));
    doc.write(QStringLiteral("B1"), QStringLiteral("设定流量"));
    doc.write(QStringLiteral("C1"), QStringLiteral("瞬时流量"));
    for (int row = 2; row <= 50; ++row) {
        writeRecordRow(doc, row);
        QVERIFY(doc.save());
    }
    QVERIFY(doc.write(QStringLiteral("B10"), QStringLiteral("changed")));
    writeRecordRow(doc, 51);
    QVERIFY(doc.save());
    QCOMPARE(doc.lastSaveBytes(), QFileInfo(path).size()); // whole file
    QVERIFY(doc.write(QStringLiteral("B10"), QString::number(10 % 101)));
    QVERIFY(doc.save());
    writeRecordRow(doc, 52);
    QVERIFY(doc.save());
    QVERIFY(doc.lastSaveBytes() < QFileInfo(path).size()); // back to appending
    verifyRecord(path, 52);

    // An existing file is rewritten whole on its first save, keeping its cells.
    Document reopened(path);
    QVERIFY(!reopened.isLoadFailed());
    writeRecordRow(reopened, 53);
    QVERIFY(reopened.save());
    QCOMPARE(reopened.lastSaveBytes(), QFileInfo(path).size());
    writeRecordRow(reopened, 54);
    QVERIFY(reopened.save());
    QVERIFY(reopened.lastSaveBytes() < 1024);
    verifyRecord(path, 54);
}

void TestXlsxDocument::fileReplacedBetweenSaves()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("replaced.xlsx"));
    Document doc(path);
    for (int row = 2; row <= 10; ++row) {
        writeRecordRow(doc, row);
        QVERIFY(doc.save());
    }
    {
        Document other(path);
        QVERIFY(other.write(QStringLiteral("A2"), QStringLiteral("someone else")));
        QVERIFY(other.save());
    }
    writeRecordRow(doc, 11);
    QVERIFY(doc.save());
    QCOMPARE(doc.lastSaveBytes(), QFileInfo(path).size()); // not appended to a stranger's file
    Document back(path);
    QCOMPARE(back.read(QStringLiteral("A2")), QVariant(recordTime(2)));
    QCOMPARE(back.read(QStringLiteral("A11")), QVariant(recordTime(11)));
}

void TestXlsxDocument::failedAppendKeepsFileAndRecovers()
{
    if (!openpyxlAvailable())
        QSKIP("/usr/bin/python3 with openpyxl is needed to check written files");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.xlsx"));
    Document doc(path);
    doc.write(QStringLiteral("A1"), QStringLiteral("日期时间"));
    doc.write(QStringLiteral("B1"), QStringLiteral("设定流量"));
    doc.write(QStringLiteral("C1"), QStringLiteral("瞬时流量"));
    for (int row = 2; row <= 200; ++row) {
        writeRecordRow(doc, row);
        QVERIFY(doc.save());
    }
    const QByteArray before = fileBytes(path);
    {
        // Below the size of any workbook: neither the append nor a rewrite fits.
        FileSizeLimit limit(1024);
        QVERIFY(limit.ok());
        writeRecordRow(doc, 201);
        QVERIFY(!doc.save());
        QVERIFY(!doc.errorString().isEmpty());
        writeRecordRow(doc, 202);
        QVERIFY(!doc.save());
    }
    QCOMPARE(fileBytes(path), before); // the failed saves did not touch the file
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary left
    verifyRecord(path, 200);
    // The rows stayed in memory; the next save writes them.
    QCOMPARE(doc.read(QStringLiteral("A202")), QVariant(recordTime(202)));
    QVERIFY2(doc.save(), qPrintable(doc.errorString()));
    verifyRecord(path, 202);
    writeRecordRow(doc, 203);
    QVERIFY(doc.save());
    QVERIFY(doc.lastSaveBytes() < 1024);
    verifyRecord(path, 203);
}

void TestXlsxDocument::failedRewriteLeavesOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("regs.xlsx"));
    QVERIFY(QFile::copy(kData + QStringLiteral("/openpyxl_written.xlsx"), path));
    const QByteArray before = fileBytes(path);
    Document doc(path);
    QVERIFY(!doc.isLoadFailed());
    for (int row = 2; row <= 400; ++row)
        QVERIFY(doc.write(row, 1, QStringLiteral("Register name number %1").arg(row)));
    {
        FileSizeLimit limit(1024);
        QVERIFY(limit.ok());
        QVERIFY(!doc.save());
    }
    QVERIFY(!doc.errorString().isEmpty());
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    QVERIFY(doc.save());
    Document back(path);
    QCOMPARE(back.read(QStringLiteral("A400")), QVariant(QStringLiteral("Register name number 400")));
    QCOMPARE(back.read(QStringLiteral("B4")), QVariant(37.5)); // untouched cells kept
}

void TestXlsxDocument::directoryInTheWay()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.xlsx"));
    Document doc(path);
    for (int row = 2; row <= 20; ++row) {
        writeRecordRow(doc, row);
        QVERIFY(doc.save());
    }
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("record.xlsx")));
    writeRecordRow(doc, 21);
    QVERIFY(!doc.save());
    QVERIFY(!doc.errorString().isEmpty());
    QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("record.xlsx")));
    QVERIFY2(doc.save(), qPrintable(doc.errorString()));
    Document back(path);
    QVERIFY(!back.isLoadFailed());
    QCOMPARE(back.rowCount(), 21);
    QCOMPARE(back.read(QStringLiteral("A2")), QVariant(recordTime(2)));
    QCOMPARE(back.read(QStringLiteral("A21")), QVariant(recordTime(21)));
}

void TestXlsxDocument::readOnlyFolder()
{
    if (::geteuid() == 0)
        QSKIP("root writes into read-only folders; the file size limit cases cover failed saves");
    QTemporaryDir dir;
    const QString sub = dir.filePath(QStringLiteral("ro"));
    QVERIFY(QDir().mkdir(sub));
    const QString path = sub + QStringLiteral("/regs.xlsx");
    QVERIFY(QFile::copy(kData + QStringLiteral("/openpyxl_written.xlsx"), path));
    const QByteArray before = fileBytes(path);
    QVERIFY(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    Document doc(path);
    QVERIFY(doc.write(QStringLiteral("A2"), QStringLiteral("changed")));
    const bool saved = doc.save();
    QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(!saved);
    QCOMPARE(fileBytes(path), before);
    QVERIFY(doc.save());
    QCOMPARE(Document(path).read(QStringLiteral("A2")), QVariant(QStringLiteral("changed")));
}

QTEST_GUILESS_MAIN(TestXlsxDocument)
#include "tst_xlsxdocument.moc"
