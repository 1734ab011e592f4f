// Formula text: what a formula refers to, and a formula moved to another cell.
#include "xlsxformula.h"

#include <QtTest>

class TestXlsxFormula : public QObject {
    Q_OBJECT

private slots:
    void scans_data();
    void scans();
    void moves_data();
    void moves();
};

void TestXlsxFormula::scans_data()
{
    QTest::addColumn<QString>("formula");
    QTest::addColumn<QStringList>("found"); // in order: "first:last!" or "sheet!", a name, "local"

    QTest::newRow("unquoted, then a cell of its own") << "Sheet1!B2*B3" << QStringList{"sheet1!", "local"};
    QTest::newRow("3-D range, name, function, own sheet")
        << "SUM(Before:Notes!B2)+Rate*LOG10(C3)" << QStringList{"before:notes!", "rate", "local"};
    QTest::newRow("strings, other sheets, workbooks")
        << "\"Sheet1!B2\"&XSheet1!A1&Sheet1x!A1&[1]Sheet1!A1&'[2]Sheet1'!A1&#REF!" << QStringList{"xsheet1!", "sheet1x!"};
    // Sheet names as LibreOffice writes them, unquoted, with combining marks or punctuation inside.
    const auto sheet = [](const char* tag, const QString& name) {
        QTest::newRow(tag) << name + "!B2*C2" << QStringList{name + '!', "local"};
    };
    sheet("Thai", QStringLiteral("ข้อมูล"));
    sheet("Devanagari", QStringLiteral("सूची"));
    sheet("Japanese, middle dot", QStringLiteral("名前・一覧"));
    sheet("Latin middle dot", QStringLiteral("x·y"));
    sheet("decomposed accent", QStringLiteral("cafe\u0301"));
    QTest::newRow("operators, separators, spaces end a name")
        << "a+b-c*d/e^f&g=h<i>j%,k;l m\nn{o}p@q#r" << QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i",
                                                               "j", "k", "l", "m", "n", "o", "p", "q", "r"};
}

void TestXlsxFormula::scans()
{
    QFETCH(QString, formula);
    QFETCH(QStringList, found);
    QStringList seen;
    xlsx::scanFormula(
        formula,
        [&](const QString& first, const QString& last) {
            seen << (first == last ? first : first + QLatin1Char(':') + last) + QLatin1Char('!');
        },
        [&](const QString& name) { seen << name; }, [&] { seen << QStringLiteral("local"); });
    QCOMPARE(seen, found);
}

void TestXlsxFormula::moves_data()
{
    QTest::addColumn<QString>("formula");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("moved");

    QTest::newRow("relative and fixed parts") << "B2*$C$3+D$4+$E5&A:A&2:3" << 1 << 1 << "C3*$C$3+E$4+$E6&B:B&3:4";
    QTest::newRow("off the sheet") << "A1+B2" << -1 << 0 << "#REF!+B1";
    QTest::newRow("strings, sheet names, functions, numbers")
        << "\"A1\"&'A1'!B2&A1!B2&LOG10(C3)&Table[A1]&1E+5" << 1 << 0 << "\"A1\"&'A1'!B3&A1!B3&LOG10(C4)&Table[A1]&1E+5";
    QTest::newRow("unquoted sheet name starting like a cell") << QStringLiteral("B2・一覧!B2*10") << 1 << 0
                                                               << QStringLiteral("B2・一覧!B3*10");
}

void TestXlsxFormula::moves()
{
    QFETCH(QString, formula);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QString, moved);
    QCOMPARE(xlsx::translateFormula(formula, rows, columns), moved);
}

QTEST_GUILESS_MAIN(TestXlsxFormula)
#include "tst_xlsxformula.moc"
