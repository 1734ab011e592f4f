// The main window without a device: status line colours and texts, the
// activity bar, the table-write guard and the close question.
#include "apptestutil.h"

#include <QProgressBar>
#include <QTabWidget>
#include <QtTest>

using namespace apptest;

class TestStatusLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void noPort();
    void warnings_data();
    void warnings();
    void errorHidesWarnings();
    void timeoutNames();
    void activityWraps();
    void calTableNeeds32_data();
    void calTableNeeds32();
    void scheduleWindowFollows();
    void closeCancelKeepsWindow();
    // Quits the application: keep last.
    void closeSure();

private:
    WorkDir* m_dir = nullptr;
};

void TestStatusLine::initTestCase()
{
    m_dir = new WorkDir;
    m_dir->writeIni({{"lang", "en"}});
}

void TestStatusLine::cleanupTestCase()
{
    delete m_dir;
}

void TestStatusLine::noPort()
{
    UI_Test w(QStringList{});
    QCOMPARE(statusText(w), QStringLiteral("No valid COM!"));
    QCOMPARE(statusStyle(w), kRed);
    QVERIFY(!w.findChild<QTabWidget*>()->isEnabled());
    // The first reply clears it.
    w.mfc_ack(makeReg("Manufacturer", 0, "X"));
    QCOMPARE(statusText(w), QString());
    QCOMPARE(statusStyle(w), kWhite);
}

void TestStatusLine::warnings_data()
{
    QTest::addColumn<bool>("limit");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<bool>("record");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::newRow("none") << false << false << false << "" << kWhite;
    QTest::newRow("limit") << true << false << false << "A" << kYellow;
    QTest::newRow("alarm") << false << true << false << "B" << kYellow;
    QTest::newRow("limit and alarm") << true << true << false << "A B" << kYellow;
    QTest::newRow("record") << false << false << true << "C" << kYellow;
    QTest::newRow("alarm and record") << false << true << true << "B C" << kYellow;
    QTest::newRow("all three") << true << true << true << "A B C" << kYellow;
}

void TestStatusLine::warnings()
{
    QFETCH(bool, limit);
    QFETCH(bool, alarm);
    QFETCH(bool, record);
    QFETCH(QString, text);
    QFETCH(QString, style);
    UI_Test w(QStringList{});
    w.mfc_ack(makeReg("Manufacturer", 0, "X"));
    // Set everything, then take back what the row does not want: the
    // flags must clear independently. The pages' signals reach the window.
    auto* others = w.findChild<UI_OthersV3*>();
    auto* normal = w.findChild<UI_NormalV3*>();
    emit others->error_limit_req(true, "A");
    emit others->error_alarmWarning_req(true, "B");
    emit normal->error_record_req(true, "C");
    emit others->error_limit_req(limit, limit ? "A" : "ignored");
    emit others->error_alarmWarning_req(alarm, alarm ? "B" : "ignored");
    emit normal->error_record_req(record, record ? "C" : "ignored");
    QCOMPARE(statusText(w), text);
    QCOMPARE(statusStyle(w), style);
}

void TestStatusLine::errorHidesWarnings()
{
    UI_Test w(QStringList{});
    w.mfc_ack(makeReg("Manufacturer", 0, "X"));
    w.error_limit_req(true, "A");
    w.error_alarmWarning_req(true, "B");
    QCOMPARE(statusText(w), QStringLiteral("A B"));

    w.mfc_nack({"ReadFlow"});
    QCOMPARE(statusText(w), QStringLiteral("ReadFlow"));
    QCOMPARE(statusStyle(w), kRed);
    // A warning that changes meanwhile stays hidden behind the error.
    w.error_alarmWarning_req(true, "B2");
    QCOMPARE(statusText(w), QStringLiteral("ReadFlow"));
    QCOMPARE(statusStyle(w), kRed);

    w.mfc_ack(makeReg("ReadFlow", 0, "1.00000000"));
    QCOMPARE(statusText(w), QStringLiteral("A B2"));
    QCOMPARE(statusStyle(w), kYellow);
}

void TestStatusLine::timeoutNames()
{
    UI_Test w(QStringList{});
    w.mfc_nack({"ReadFlow", "CM"});
    QCOMPARE(statusText(w), QStringLiteral("ReadFlow\r\nCM"));
    QCOMPARE(statusStyle(w), kRed);
}

void TestStatusLine::activityWraps()
{
    UI_Test w(QStringList{});
    auto* bar = w.findChild<QProgressBar*>("activityBar");
    QVERIFY(bar);
    QCOMPARE(bar->orientation(), Qt::Vertical);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    // The counter lives across windows, so the bar starts wherever the last
    // window left it; from then on each reply moves it by one.
    w.mfc_ack(makeReg("Manufacturer", 0, "X"));
    int steps = 0;
    while (bar->value() != 100 && steps < 102) {
        const int before = bar->value();
        w.mfc_ack(makeReg("Manufacturer", 0, "X"));
        ++steps;
        QCOMPARE(bar->value(), before + 1);
    }
    QCOMPARE(bar->value(), 100);
    w.mfc_ack(makeReg("Manufacturer", 0, "X"));
    w.mfc_ack(makeReg("Manufacturer", 0, "X"));
    QCOMPARE(bar->value(), 1);
    w.mfc_ack(makeReg("Manufacturer", 0, "X"));
    QCOMPARE(bar->value(), 2);

    // A new window continues the count.
    UI_Test w2(QStringList{});
    auto* bar2 = w2.findChild<QProgressBar*>("activityBar");
    w2.mfc_ack(makeReg("Manufacturer", 0, "X"));
    QCOMPARE(bar2->value(), 3);
}

void TestStatusLine::calTableNeeds32_data()
{
    QTest::addColumn<int>("xs");
    QTest::addColumn<int>("ys");
    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("short x") << 31 << 32;
    QTest::newRow("long y") << 32 << 33;
}

void TestStatusLine::calTableNeeds32()
{
    QFETCH(int, xs);
    QFETCH(int, ys);
    UI_Test w(QStringList{});
    w.mfc_ack(makeReg("Manufacturer", 0, "X"));
    QList<double> x, y;
    for (int i = 0; i < xs; ++i)
        x << (i + 1) * 0.03;
    for (int i = 0; i < ys; ++i)
        y << (i + 1) * 0.03;
    w.writeXYTable_req(x, y);
    QCOMPARE(statusStyle(w), kRed);
    QCOMPARE(statusText(w), QStringLiteral("Calibration table needs 32 X and 32 Y values, got %1 and %2.").arg(xs).arg(ys));
}

void TestStatusLine::scheduleWindowFollows()
{
    UI_Test w(QStringList{});
    w.move(100, 80);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* schedule = w.findChild<UI_NormalV3*>()->m_scheduleWindow;
    QVERIFY(schedule);
    QVERIFY(!schedule->isVisible());
    // Moving the window while the schedule window is hidden leaves it alone.
    const QPoint hiddenAt = schedule->pos();
    w.move(120, 90);
    QTRY_COMPARE(w.pos(), QPoint(120, 90));
    QCOMPARE(schedule->pos(), hiddenAt);

    // Asking through the page's signal puts it beside the right edge.
    emit w.findChild<UI_NormalV3*>()->schedule_show_req();
    QVERIFY(schedule->isVisible());
    QCOMPARE(schedule->pos(), QPoint(w.x() + w.frameGeometry().width(), w.y() + 38));

    w.move(300, 200);
    QTRY_COMPARE(w.pos(), QPoint(300, 200));
    QTRY_COMPARE(schedule->pos(), QPoint(300 + w.frameGeometry().width(), 200 + 38));
    schedule->hide();
}

void TestStatusLine::closeCancelKeepsWindow()
{
    UI_Test w(QStringList{});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    BoxAnswerer answerer("Cancel");
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QCOMPARE(answerer.titles, QStringList{"Sure to close"});
    QCOMPARE(answerer.texts, QStringList{"Are you sure to close the window?"});
    QCOMPARE(answerer.buttons, (QStringList{"Sure", "Cancel"}));

    // Dismissing the box without a button keeps the window too.
    answerer.setButton("no such button");
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
}

void TestStatusLine::closeSure()
{
    UI_Test w(QStringList{});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    BoxAnswerer answerer("Sure");
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QCOMPARE(answerer.texts.size(), 1);
}

QTEST_MAIN(TestStatusLine)
#include "tst_statusline.moc"
