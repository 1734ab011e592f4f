// The port search against simulated devices on pseudo-terminals.
#include "apptestutil.h"
#include "simdevice.h"
#include "tervanhalv3.h"

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace apptest;

namespace {

int speedOf(speed_t s)
{
    switch (s) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    default: return 0;
    }
}

// Records the line speed at which each request reached a device; the speed is
// read through a descriptor of our own on the same terminal.
struct SpeedLog
{
    explicit SpeedLog(SimDevice& dev)
    {
        fd = ::open(dev.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QObject::connect(&dev, &SimDevice::requestReceived, [this](const SimDevice::Request& r) {
            termios t;
            int speed = 0;
            if (fd >= 0 && ::tcgetattr(fd, &t) == 0)
                speed = speedOf(::cfgetospeed(&t));
            entries << qMakePair(r.cmd, speed);
            addresses << r.address;
            if (onRequest)
                onRequest(speed);
        });
    }
    ~SpeedLog()
    {
        if (fd >= 0)
            ::close(fd);
    }
    QList<int> speeds() const
    {
        QList<int> s;
        for (const auto& e : entries)
            s << e.second;
        return s;
    }
    int fd = -1;
    QList<QPair<QString, int>> entries;
    QList<quint8> addresses;
    std::function<void(int)> onRequest;
};

} // namespace

class TestPortSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void deviceOnSecondPort();
    void unopenablePortSkipped();
    void allSilent();
    void noPorts();
    void noPortOpens();

private:
    WorkDir* m_dir = nullptr;
};

void TestPortSearch::initTestCase()
{
    m_dir = new WorkDir;
    m_dir->writeIni({{"lang", "en"}});
}

void TestPortSearch::cleanupTestCase()
{
    delete m_dir;
}

void TestPortSearch::deviceOnSecondPort()
{
    SimDevice first;
    SimDevice second;
    QVERIFY(first.isOpen() && second.isOpen());
    first.setSilent(true);
    second.setSilent(true);
    second.setAddress(45);
    SpeedLog firstLog(first);
    SpeedLog secondLog(second);
    QList<qint64> order; // 1 or 2 per probe, in arrival order
    connect(&first, &SimDevice::requestReceived, this, [&order] { order << 1; });
    connect(&second, &SimDevice::requestReceived, this, [&order] { order << 2; });
    // The second device listens at 38400 only.
    secondLog.onRequest = [&second](int speed) { second.setSilent(speed != 38400); };

    UI_Test w(QStringList{first.slavePath(), second.slavePath()});
    auto* drv = w.findChild<UI_DrvV3*>();
    QVERIFY(drv);
    QSignalSpy result(drv, &UI_DrvV3::search_result);
    QVERIFY(w.findChild<QTabWidget*>()->isEnabled());
    QVERIFY(!w.findChild<QPushButton*>("setBpsButton")->isEnabled());
    QVERIFY(!w.findChild<QPushButton*>("setAddrButton")->isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(result.count(), 1, 20000);
    QCOMPARE(result.first().at(0).toBool(), true);
    QCOMPARE(result.first().at(1).toString(), second.slavePath());
    QCOMPARE(result.first().at(2).toInt(), 38400);

    QCOMPARE(order.mid(0, 6), (QList<qint64>{1, 1, 1, 2, 2, 2}));
    QCOMPARE(firstLog.entries.size(), 3);
    for (const auto& e : firstLog.entries)
        QCOMPARE(e.first, QStringLiteral("MACAddress"));
    QCOMPARE(firstLog.speeds(), (QList<int>{9600, 19200, 38400}));
    QCOMPARE(secondLog.speeds().mid(0, 3), (QList<int>{9600, 19200, 38400}));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(secondLog.entries.at(i).first, QStringLiteral("MACAddress"));
        QCOMPARE(firstLog.addresses.at(i), quint8(255));
        QCOMPARE(secondLog.addresses.at(i), quint8(255));
    }

    // The page shows what was found and allows changes now.
    QCOMPARE(w.findChild<QComboBox*>("portCombo")->currentText(), second.slavePath());
    QCOMPARE(w.findChild<QComboBox*>("baudCombo")->currentText(), QStringLiteral("38400"));
    QCOMPARE(w.findChild<QSpinBox*>("addressSpin")->value(), 45);
    QVERIFY(w.findChild<QPushButton*>("setBpsButton")->isEnabled());
    QVERIFY(w.findChild<QPushButton*>("setAddrButton")->isEnabled());
    QVERIFY(!w.findChild<QComboBox*>("portCombo")->isEnabled());
    // Later requests carry the address the device reported.
    QTRY_VERIFY_WITH_TIMEOUT(second.requestCount("Manufacturer") >= 1, 10000);
    QCOMPARE(secondLog.addresses.last(), quint8(45));
    QCOMPARE(statusStyle(w), kWhite);
}

void TestPortSearch::unopenablePortSkipped()
{
    SimDevice dev;
    SpeedLog log(dev);
    UI_Test w(QStringList{QStringLiteral("/nonexistent/ttyVARNOC0"), dev.slavePath()});
    auto* drv = w.findChild<UI_DrvV3*>();
    QSignalSpy result(drv, &UI_DrvV3::search_result);
    QTRY_COMPARE_WITH_TIMEOUT(result.count(), 1, 10000);
    QCOMPARE(result.first().at(0).toBool(), true);
    QCOMPARE(result.first().at(1).toString(), dev.slavePath());
    QCOMPARE(result.first().at(2).toInt(), 9600);
    QCOMPARE(log.entries.value(0).first, QStringLiteral("MACAddress"));
    QCOMPARE(log.entries.value(0).second, 9600);
}

void TestPortSearch::allSilent()
{
    SimDevice dev;
    dev.setSilent(true);
    UI_Test w(QStringList{dev.slavePath()});
    auto* drv = w.findChild<UI_DrvV3*>();
    QSignalSpy result(drv, &UI_DrvV3::search_result);
    QVERIFY(w.findChild<QTabWidget*>()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(result.count(), 1, 10000);
    QCOMPARE(result.first().at(0).toBool(), false);
    QCOMPARE(result.first().at(1).toString(), QString());
    QCOMPARE(result.first().at(2).toInt(), 0);
    QCOMPARE(dev.requestCount("MACAddress"), 3);
    QCOMPARE(statusText(w), QStringLiteral("NO MFC device!"));
    QCOMPARE(statusStyle(w), kRed);
    QVERIFY(!drv->hal()->isOpen());
    QVERIFY(!w.findChild<QPushButton*>("setAddrButton")->isEnabled());
}

void TestPortSearch::noPorts()
{
    UI_Test w(QStringList{});
    QCOMPARE(statusText(w), QStringLiteral("No valid COM!"));
    QCOMPARE(statusStyle(w), kRed);
    QVERIFY(!w.findChild<QTabWidget*>()->isEnabled());
    QCOMPARE(w.findChild<QComboBox*>("portCombo")->count(), 0);
}

void TestPortSearch::noPortOpens()
{
    UI_Test w(QStringList{QStringLiteral("/nonexistent/ttyVARNOC0"), QStringLiteral("/nonexistent/ttyVARNOC1")});
    QSignalSpy result(w.findChild<UI_DrvV3*>(), &UI_DrvV3::search_result);
    QCOMPARE(statusText(w), QStringLiteral("Open fail!"));
    QCOMPARE(statusStyle(w), kRed);
    QVERIFY(!w.findChild<QTabWidget*>()->isEnabled());

    // The link keeps polling on its closed port, and each poll runs into a
    // reply timeout; none of them may pass for a failed probe and turn the
    // message into "NO MFC device!".
    QTest::qWait(3 * TervanHALV3::RECV_TIMEOUT_MS);
    QCOMPARE(result.count(), 0);
    QCOMPARE(statusText(w), QStringLiteral("Open fail!"));
    QCOMPARE(statusStyle(w), kRed);
}

QTEST_MAIN(TestPortSearch)
#include "tst_portsearch.moc"
