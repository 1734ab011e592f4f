// The port search against simulated devices on pseudo-terminals.
#include "apptestutil.h"

#include <QThread>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace apptest;

namespace {
// Before the first answer: the bytes, then the answer, in one write, in two, or a byte per write.
enum Stale { Waiting, AfterFirstMisheard, AfterEachMisheard, ConfirmationLost, BeforeAnswerInOne, BeforeAnswerInTwo, BeforeAnswerByteByByte,
             BusyWhileAnswered };
enum Line { NoPort, Unopenable, Silent, Garbage, NewAddressEachTime };
const QByteArray kBadChecksum = QByteArray::fromHex("06000280040301012000ac"); // address 32, last byte off by one

// Logs "tag cmd@address:bps" per request; the speed is read through our own descriptor.
void logRequests(SimDevice& dev, const QString& tag, QStringList& log)
{
    const int fd = ::open(dev.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QObject::connect(&dev, &SimDevice::requestReceived, &dev, [fd, tag, &log](const SimDevice::Request& r) {
        termios t;
        const speed_t s = ::tcgetattr(fd, &t) == 0 ? ::cfgetospeed(&t) : B0;
        const int bps = s == B9600 ? 9600 : s == B19200 ? 19200 : s == B38400 ? 38400 : 0;
        log << QStringLiteral("%1 %2@%3:%4").arg(tag, r.cmd).arg(r.address).arg(bps);
    });
    QObject::connect(&dev, &QObject::destroyed, [fd] { ::close(fd); });
}
} // namespace

class TestPortSearch : public QObject
{
    Q_OBJECT

private slots:
    // Bytes of earlier replies in the device's port are no answer to a probe.
    void pastUnopenableAndNoisyPorts_data()
    {
        QTest::addColumn<QByteArray>("stale");
        QTest::addColumn<int>("when");     // relative to the probes the device hears at a wrong speed, or its own
        QTest::addColumn<int>("misheard"); // probes at a wrong speed: one per rate, a second to confirm an
                                           // answer, three more after other replies or unanswered confirmations
        QTest::addColumn<int>("answered"); // probes at the device's speed
        QTest::addColumn<int>("second");   // ms after which a second device (address 46) answers too; 0: none
        const QByteArray mac = QByteArray::fromHex("06000280040301012000ab"); // address 32
        const QByteArray cm = QByteArray::fromHex("06000280046901030100f4");
        QTest::newRow("clean line") << QByteArray() << int(Waiting) << 2 << 2 << 0;
        QTest::newRow("a probe's reply waiting") << mac << int(Waiting) << 2 << 2 << 0;
        QTest::newRow("a probe's reply after the port was emptied") << mac << int(AfterFirstMisheard) << 6 << 2 << 0;
        QTest::newRow("a flow reply after each probe") << QByteArray::fromHex("06000280056801b900700019")
                                                       << int(AfterEachMisheard) << 8 << 2 << 0;
        QTest::newRow("a control mode reply after each probe") << cm << int(AfterEachMisheard) << 8 << 2 << 0;
        QTest::newRow("a bad checksum after each probe") << kBadChecksum << int(AfterEachMisheard) << 8 << 2 << 0;
        // However the reads split them, a stale frame just before the answer costs a quiet wait, and the
        // answer heard during it is confirmed by the next probe.
        QTest::newRow("a control mode reply before the answer, one write") << cm << int(BeforeAnswerInOne) << 2 << 2 << 0;
        QTest::newRow("a control mode reply before the answer, split at the frame boundary")
            << cm << int(BeforeAnswerInTwo) << 2 << 2 << 0;
        QTest::newRow("a control mode reply before the answer, byte by byte") << cm << int(BeforeAnswerByteByByte)
                                                                              << 2 << 2 << 0;
        // The answer comes during the quiet wait but waits unread until the wait has run out.
        QTest::newRow("a control mode reply before the answer, the program busy") << cm << int(BusyWhileAnswered)
                                                                                  << 2 << 2 << 0;
        QTest::newRow("the confirming reply lost") << QByteArray() << int(ConfirmationLost) << 2 << 3 << 0;
        QTest::newRow("a stray 06 just before the answer") << QByteArray::fromHex("06") << int(BeforeAnswerInTwo)
                                                           << 2 << 2 << 0;
        QTest::newRow("a stray 06 00 just before the answer") << QByteArray::fromHex("0600") << int(BeforeAnswerInTwo)
                                                              << 2 << 2 << 0;
        QTest::newRow("a second device 2 ms later") << QByteArray() << int(Waiting) << 2 << 2 << 2;
        QTest::newRow("a second device 8 ms later") << QByteArray() << int(Waiting) << 2 << 2 << 8;
    }
    void pastUnopenableAndNoisyPorts()
    {
        VARNOC_SKIP_OTHER_SHARDS();
        QFETCH(QByteArray, stale);
        QFETCH(int, when);
        QFETCH(int, misheard);
        QFETCH(int, answered);
        QFETCH(int, second);
        SimDevice noisy;
        SimDevice dev;
        dev.inject(when == Waiting ? stale : QByteArray());
        if (when == ConfirmationLost)
            dev.loseReply(QStringLiteral("MACAddress"), 2);
        if (when >= BeforeAnswerInOne)
            dev.setBeforeNextReply(stale, when == BusyWhileAnswered ? SimDevice::TwoWrites : SimDevice::Delivery(when - BeforeAnswerInOne),
                                   when == BeforeAnswerByteByByte ? 2 : 20);
        if (when == BusyWhileAnswered) {
            connect(&dev, &SimDevice::requestReceived, &dev, [&] {
                if (dev.requestCount() == 1)
                    QTimer::singleShot(10, [] { QThread::msleep(2 * UI_DrvV3::QUIET_MS); });
            });
        }
        if (second)
            dev.setSecondDevice(46, second);
        int heard = 0;
        connect(&dev, &SimDevice::heardAtOtherSpeed, &dev, [&] {
            dev.inject(when == AfterEachMisheard || (when == AfterFirstMisheard && heard == 0) ? stale : QByteArray());
            ++heard;
        });
        noisy.setSilent(true);
        noisy.setNoise("$GPGGA,1\r\n", 200); // another instrument talking on that port
        dev.setBaudRate(38400);
        dev.setAddress(45);
        QStringList log;
        logRequests(noisy, "noisy", log);
        logRequests(dev, "dev", log);
        UI_Test w(QStringList{QStringLiteral("/nonexistent/ttyVARNOC0"), noisy.slavePath(), dev.slavePath()});
        QSignalSpy result(w.findChild<UI_DrvV3*>(), &UI_DrvV3::search_result);
        QVERIFY(w.findChild<QTabWidget*>()->isEnabled() && !find<QPushButton>(&w, "setAddrButton")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(result.count(), 1, 20000);
        QCOMPARE(result.first(), (QList<QVariant>{true, dev.slavePath(), 38400}));
        QCOMPARE(heard, misheard);
        QCOMPARE(log, QStringList({"noisy MACAddress@255:9600", "noisy MACAddress@255:19200", "noisy MACAddress@255:38400"})
                     + QVector<QString>(answered, "dev MACAddress@255:38400").toList());
        // The page shows what was found and allows changes now.
        QCOMPARE(find<QComboBox>(&w, "portCombo")->currentText() + " " + find<QComboBox>(&w, "baudCombo")->currentText()
                     + " " + find<QSpinBox>(&w, "addressSpin")->text(), dev.slavePath() + " 38400 45");
        QVERIFY(find<QPushButton>(&w, "setBpsButton")->isEnabled() && find<QPushButton>(&w, "setAddrButton")->isEnabled());
        // Later requests carry the address the device reported.
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("dev Manufacturer@45:38400")), 10000);
        QVERIFY(!log.join(' ').contains(QStringLiteral("@46")));
        if (second)
            QCOMPARE(statusText(w) + statusStyle(w),
                     QStringLiteral("Several devices answered; using address 45 (also answered: 46).") + kYellow);
        else
            QCOMPARE(statusStyle(w), kWhite);
    }

    // Every search ends within its bound, here that of one port: each rate
    // takes at most five probes, each ending within the link's longest wait
    // and followed by a quiet wait.
    void failures_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("probes"); // MACAddress reads the device heard, and nothing else
        QTest::newRow("no serial port") << int(NoPort) << "No valid COM!" << 0;
        QTest::newRow("no port opens") << int(Unopenable) << "Open fail!" << 0;
        QTest::newRow("silent") << int(Silent) << "NO MFC device!" << 3;
        QTest::newRow("bad-checksum bursts only") << int(Garbage) << "NO MFC device!" << 12;
        // A second answer naming another address counts against the limit.
        QTest::newRow("a new address in every answer") << int(NewAddressEachTime) << "NO MFC device!" << 15;
    }
    void failures()
    {
        VARNOC_SKIP_OTHER_SHARDS();
        QFETCH(int, line);
        QFETCH(QString, message);
        QFETCH(int, probes);
        SimDevice dev;
        dev.setSilent(line != NewAddressEachTime);
        if (line == Garbage)
            dev.setNoise(kBadChecksum, 100);
        QStringList addresses;
        for (int a = 40; a < 80; ++a)
            addresses << QString::number(a);
        dev.setReadSequence(QStringLiteral("MACAddress"), addresses);
        const QStringList ports = line == NoPort ? QStringList()
            : line == Unopenable ? QStringList{"/nonexistent/ttyVARNOC0", "/nonexistent/ttyVARNOC1"}
                                 : QStringList{dev.slavePath()};
        UI_Test w(ports);
        QSignalSpy result(w.findChild<UI_DrvV3*>(), &UI_DrvV3::search_result);
        QCOMPARE(w.findChild<QTabWidget*>()->isEnabled(), message == "NO MFC device!");
        if (message == "NO MFC device!") {
            const int bound = 3 * (UI_DrvV3::MAX_REPROBES + 2)
                * (TervanHALV3::MAX_WAIT_FACTOR * TervanHALV3::RECV_TIMEOUT_MS + UI_DrvV3::QUIET_MS);
            QTRY_COMPARE_WITH_TIMEOUT(result.count(), 1, bound);
            QCOMPARE(result.first(), (QList<QVariant>{false, QString(), 0}));
            QVERIFY(!w.findChild<UI_DrvV3*>()->hal()->isOpen());
        } else {
            // No timeout of the closed port may pass for a finished search.
            QTest::qWait(3 * TervanHALV3::RECV_TIMEOUT_MS);
            QCOMPARE(result.count(), 0);
        }
        QCOMPARE(dev.requestCount(QStringLiteral("MACAddress")), probes);
        QCOMPARE(dev.requestCount(), probes);
        QCOMPARE(statusText(w) + statusStyle(w), message + kRed);
    }

private:
    WorkDir m_dir;
};

QTEST_MAIN(TestPortSearch)
#include "tst_portsearch.moc"
