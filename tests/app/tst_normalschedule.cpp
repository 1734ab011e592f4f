// The setpoint schedule of the normal page, driven by a test clock: the node
// text, which node fires, the target read at firing time, the window toggle.
#include "ui_normalv3.h"

#include <QDir>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

QDateTime g_now;

QDateTime at(int day, const QString& time)
{
    return QDateTime(QDate(2024, 3, day), QTime::fromString(time, QStringLiteral("hh:mm:ss.zzz")));
}

} // namespace

class TestNormalSchedule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void nodeText_data();
    void nodeText();
    void timerStartsOnFirstSet();
    void firesAtItsSecond();
    void lowestNodeWins();
    void targetReadAtFiring();
    void firesEveryDayInAnyMode();
    void unsetNodeNeverFires();
    void windowToggle();

private:
    template<typename T>
    T* node(int n, const char* what)
    {
        return m_page->m_scheduleWindow->findChild<T*>(QStringLiteral("node%1%2").arg(n).arg(QLatin1String(what)));
    }
    void setNode(int n, int h, int m, int s, double target);
    // Written DigitalSetpoint values since the last call.
    QStringList takeWrites();
    void pollAt(int day, const QString& time);

    QTemporaryDir m_dir;
    std::unique_ptr<UI_NormalV3> m_page;
    std::unique_ptr<QSignalSpy> m_spy;
};

void TestNormalSchedule::initTestCase()
{
    qRegisterMetaType<QList<mfc_frame_t>>();
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    UI_NormalV3::setClock([] { return g_now; });
}

void TestNormalSchedule::cleanupTestCase()
{
    UI_NormalV3::setClock(nullptr);
}

void TestNormalSchedule::init()
{
    g_now = at(5, "06:00:00.000");
    m_page.reset(new UI_NormalV3(false, nullptr));
    m_spy.reset(new QSignalSpy(m_page.get(), &UI_NormalV3::commands_req));
}

void TestNormalSchedule::cleanup()
{
    m_spy.reset();
    m_page.reset();
}

void TestNormalSchedule::setNode(int n, int h, int m, int s, double target)
{
    node<QSpinBox>(n, "Hour")->setValue(h);
    node<QSpinBox>(n, "Minute")->setValue(m);
    node<QSpinBox>(n, "Second")->setValue(s);
    node<QDoubleSpinBox>(n, "Target")->setValue(target);
    node<QPushButton>(n, "Set")->click();
}

QStringList TestNormalSchedule::takeWrites()
{
    QStringList out;
    for (const auto& args : qAsConst(*m_spy)) {
        const auto cmds = args.at(0).value<QList<mfc_frame_t>>();
        for (const mfc_frame_t& f : cmds) {
            if (f.cmd == QLatin1String("DigitalSetpoint") && f.op == MFC_WRITE)
                out << f.input;
            else
                out << QStringLiteral("unexpected ") + f.cmd;
        }
    }
    m_spy->clear();
    return out;
}

void TestNormalSchedule::pollAt(int day, const QString& time)
{
    g_now = at(day, time);
    m_page->schedule_poll();
}

void TestNormalSchedule::nodeText_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("m");
    QTest::addColumn<int>("s");
    QTest::addColumn<double>("target");
    QTest::addColumn<QString>("text");
    QTest::newRow("8:5:0 @ 50") << 1 << 8 << 5 << 0 << 50.0 << "8:5:0 @ 50 % of FS.";
    QTest::newRow("23:59:59 @ 12.5") << 2 << 23 << 59 << 59 << 12.5 << "23:59:59 @ 12.5 % of FS.";
    QTest::newRow("midnight @ 0") << 3 << 0 << 0 << 0 << 0.0 << "0:0:0 @ 0 % of FS.";
    QTest::newRow("120") << 1 << 12 << 30 << 7 << 120.0 << "12:30:7 @ 120 % of FS.";
}

void TestNormalSchedule::nodeText()
{
    QFETCH(int, n);
    QFETCH(int, h);
    QFETCH(int, m);
    QFETCH(int, s);
    QFETCH(double, target);
    QFETCH(QString, text);
    QVERIFY(node<QLineEdit>(n, "Current")->text().isEmpty());
    setNode(n, h, m, s, target);
    QCOMPARE(node<QLineEdit>(n, "Current")->text(), text);
    QVERIFY(takeWrites().isEmpty());
}

void TestNormalSchedule::timerStartsOnFirstSet()
{
    auto* timer = m_page->findChild<QTimer*>(QStringLiteral("scheduleTimer"));
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 900);
    setNode(1, 7, 0, 0, 10);
    QVERIFY(timer->isActive());
    setNode(2, 8, 0, 0, 10);
    QVERIFY(timer->isActive());
    m_page->schedule_poll();
    QVERIFY(timer->isActive());
}

void TestNormalSchedule::firesAtItsSecond()
{
    setNode(1, 6, 30, 0, 40);
    setNode(2, 12, 0, 0, 25);
    m_page->findChild<QRadioButton*>(QStringLiteral("unit1"))->click(); // sccm, full scale 300
    pollAt(5, "11:59:59.950");
    QVERIFY(takeWrites().isEmpty());
    pollAt(5, "12:00:00.100");
    pollAt(5, "12:00:00.999");
    QCOMPARE(takeWrites(), QStringList({ "25", "25" }));
    QCOMPARE(m_page->findChild<QDoubleSpinBox*>(QStringLiteral("setpointBox"))->value(), 75.0);
    pollAt(5, "12:00:01.000");
    QVERIFY(takeWrites().isEmpty());
}

void TestNormalSchedule::lowestNodeWins()
{
    setNode(3, 7, 30, 0, 90);
    setNode(1, 7, 30, 0, 10);
    pollAt(5, "07:30:00.500");
    QCOMPARE(takeWrites(), QStringList({ "10" }));
}

void TestNormalSchedule::targetReadAtFiring()
{
    setNode(1, 9, 15, 30, 40);
    node<QDoubleSpinBox>(1, "Target")->setValue(60);
    pollAt(5, "09:15:30.200");
    QCOMPARE(takeWrites(), QStringList({ "60" }));
    QCOMPARE(node<QLineEdit>(1, "Current")->text(), QStringLiteral("9:15:30 @ 40 % of FS."));
    // The time boxes are taken at "Set" only.
    node<QSpinBox>(1, "Hour")->setValue(10);
    pollAt(5, "10:15:30.200");
    QVERIFY(takeWrites().isEmpty());
}

void TestNormalSchedule::firesEveryDayInAnyMode()
{
    setNode(2, 0, 0, 0, 12.5);
    m_page->mfc_ack([] {
        TervanCore::mfc_reg_t reg;
        reg.cmd = QStringLiteral("CM");
        reg.type = KIND_UINT8;
        reg.value.u8 = CM_VOLTAGE;
        return reg;
    }());
    pollAt(6, "00:00:00.000");
    pollAt(7, "00:00:00.800");
    QCOMPARE(takeWrites(), QStringList({ "12.5", "12.5" }));
}

void TestNormalSchedule::unsetNodeNeverFires()
{
    // Node 1's boxes hold 06:00:00 but only node 2 has been set.
    node<QSpinBox>(1, "Hour")->setValue(6);
    setNode(2, 23, 0, 0, 30);
    pollAt(6, "06:00:00.300");
    QVERIFY(takeWrites().isEmpty());
}

void TestNormalSchedule::windowToggle()
{
    QGroupBox* window = m_page->m_scheduleWindow;
    QVERIFY(window->isWindow());
    QVERIFY(!(window->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(window->windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!window->isVisible());

    QSignalSpy show(m_page.get(), &UI_NormalV3::schedule_show_req);
    auto* button = m_page->findChild<QPushButton*>(QStringLiteral("scheduleButton"));
    button->click();
    QCOMPARE(show.count(), 1);
    QVERIFY(!window->isVisible());
    m_page->showScheduleWindow(300, 120);
    QVERIFY(window->isVisible());
    QCOMPARE(window->pos(), QPoint(300, 120));
    button->click();
    QVERIFY(!window->isVisible());
    QCOMPARE(show.count(), 1);
    button->click();
    QCOMPARE(show.count(), 2);
}

QTEST_MAIN(TestNormalSchedule)
#include "tst_normalschedule.moc"
