// The DPI rule and the window size that follows from it.
#include "apptestutil.h"
#include "dpiscaler.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

class TestDpiScaler : public QObject
{
    Q_OBJECT

private slots:
    void factor_data();
    void factor();
    void windowSize();
};

void TestDpiScaler::factor_data()
{
    QTest::addColumn<double>("dpi");
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("scaled730");
    QTest::newRow("72") << 72.0 << 1.0 << 730;
    QTest::newRow("96") << 96.0 << 1.0 << 730;
    QTest::newRow("just below 1.1") << 105.5 << 1.0 << 730;
    QTest::newRow("1.1 times 96") << 96 * 1.1 << 1.25 << 912;
    QTest::newRow("just above 1.1") << 105.7 << 1.25 << 912;
    QTest::newRow("120") << 120.0 << 1.25 << 912;
    QTest::newRow("144") << 144.0 << 1.25 << 912;
    QTest::newRow("192") << 192.0 << 1.25 << 912;
}

void TestDpiScaler::factor()
{
    QFETCH(double, dpi);
    QFETCH(double, factor);
    QFETCH(int, scaled730);
    QCOMPARE(DpiScaler::factorFor(dpi), factor);
    QCOMPARE(int(730 * DpiScaler::factorFor(dpi)), scaled730);
}

void TestDpiScaler::windowSize()
{
    apptest::WorkDir dir;
    const QScreen* screen = QGuiApplication::screens().value(0);
    QVERIFY(screen);
    const double f = DpiScaler::factorFor(screen->logicalDotsPerInch());
    QCOMPARE(DpiScaler().scale(880), int(880 * f));
    UI_Test w(QStringList{});
    QCOMPARE(w.size(), QSize(int(880 * f), int(730 * f)));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
}

QTEST_MAIN(TestDpiScaler)
#include "tst_dpiscaler.moc"
