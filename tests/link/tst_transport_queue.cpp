// Request queueing, sending, delays, retries and the cases where the link must
// not stay busy, against the simulated device through a real serial port.
#include "linktestutil.h"
#include "simdevice.h"
#include "tervanhalv3.h"

#include <QDateTime>
#include <QtTest>

namespace {

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// Time the device saw the first request for `cmd`, or -1.
qint64 firstAt(const SimDevice& dev, const QString& cmd, qint64 after = 0)
{
    for (const SimDevice::Request& r : dev.requests()) {
        if (r.cmd == cmd && r.atMs >= after)
            return r.atMs;
    }
    return -1;
}

} // namespace

class TestTransportQueue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void emptyList();
    void refusedList_data();
    void refusedList();
    void retries_data();
    void retries();
    void silentResetGoesOn();
    void delayHoldsNextFrame();
    void macAddressWriteDropsPolling_data();
    void macAddressWriteDropsPolling();
    void timeoutPayload();
    void openOnOpenPort();
    void abandonedFrameFreesLink_data();
    void abandonedFrameFreesLink();
    void bytesDuringDelay_data();
    void bytesDuringDelay();
    void negativeDelayEndsAtOnce();
    void strayBytesBeforeAnyRequest();
    void directQueueLimit_data();
    void directQueueLimit();
    void vanishedDevice();
};

void TestTransportQueue::initTestCase()
{
    qRegisterMetaType<TervanCore::mfc_reg_t>();
}

void TestTransportQueue::emptyList()
{
    SimDevice dev;
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QString err;
    QVERIFY(hal.request({}, err));
    QVERIFY(err.isEmpty());
    QVERIFY(hal.isIdle()); // nothing taken, nothing sent
}

void TestTransportQueue::refusedList_data()
{
    QTest::addColumn<mfc_frame_t>("bad");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown register read") << readFrame("Bogus") << "cmd: Bogus read opertation encode fail!";
    QTest::newRow("Undefined read") << readFrame("Undefined") << "cmd: Undefined read opertation encode fail!";
    QTest::newRow("value out of range") << makeFrame("CM", MFC_WRITE, "256")
                                        << "cmd: CM write with input: 256 encode fail!";
    QTest::newRow("delay not a number") << makeFrame("AppDelay", MFC_DELAY, "1s")
                                        << "command delay with invalid argument: 1s.";
    QTest::newRow("unknown operation") << makeFrame("CM", 7) << "cmd: CM with unknown operation: 7.";
}

void TestTransportQueue::refusedList()
{
    QFETCH(mfc_frame_t, bad);
    QFETCH(QString, message);

    SimDevice dev;
    dev.setSilentFor({"CM"});
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    QString err;
    // CM goes out at once and waits for its (missing) reply; TargetGasCode queues.
    QVERIFY(hal.request({readFrame("CM"), readFrame("TargetGasCode")}, err));
    QVERIFY(!hal.isIdle());

    QVERIFY(!hal.request({readFrame("ReadFlow"), readFrame("DeviceType"), bad, readFrame("PCBVersion")}, err));
    QCOMPARE(err, message);
    QVERIFY(hal.isIdle());

    // The abandoned CM is not repeated and nothing queued before goes out.
    QTest::qWait(1000);
    QCOMPARE(dev.requestCount("CM"), 1);
    QCOMPARE(dev.requestCount("TargetGasCode"), 0);
    QCOMPARE(dev.requestCount("DeviceType"), 0);
    QCOMPARE(timeouts.count(), 0);

    // The link is free: the next request goes out.
    QVERIFY(hal.request({readFrame("PCBVersion")}, err));
    QTRY_COMPARE(dev.requestCount("PCBVersion"), 1);
}

void TestTransportQueue::retries_data()
{
    QTest::addColumn<int>("retry");
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("sends");
    QTest::addColumn<QString>("lastTrace");

    QTest::newRow("retry 0") << 0 << int(MFC_READ) << 1 << "It's retry for CM READ. Retry = 1. Fail!";
    QTest::newRow("retry 1") << 1 << int(MFC_READ) << 1 << "It's retry for CM READ. Retry = 1. Fail!";
    QTest::newRow("retry 2 write") << 2 << int(MFC_WRITE) << 2 << "It's retry for CM WRITE input 1. Retry = 2. Fail!";
    QTest::newRow("retry 9") << 9 << int(MFC_READ) << 5 << "It's retry for CM READ. Retry = 5. Fail!";
}

void TestTransportQueue::retries()
{
    QFETCH(int, retry);
    QFETCH(int, op);
    QFETCH(int, sends);
    QFETCH(QString, lastTrace);

    SimDevice dev;
    dev.setSilent(true);
    TervanHALV3 hal;
    hal.setRetry(retry);
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    DebugCapture debug;
    QString err;
    QVERIFY(hal.request({makeFrame("CM", op, op == MFC_WRITE ? "1" : QString())}, err));

    QVERIFY(timeouts.wait(sends * 600 + 3000));
    QCOMPARE(timeouts.first().first().toStringList(), QStringList{"CM"});
    QCOMPARE(dev.requestCount("CM"), sends);
    // Every send carries the same bytes.
    const QList<SimDevice::Request> reqs = dev.requests();
    for (const SimDevice::Request& r : reqs) {
        if (r.cmd == "CM")
            QCOMPARE(r.raw, reqs.first().raw);
    }
    QCOMPARE(debug.count(lastTrace), 1);
    // One repeat trace per repeat, then the Fail! line.
    QStringList repeats;
    for (const QString& line : debug.all()) {
        if (line.startsWith("It's retry for CM") && !line.endsWith("Fail!"))
            repeats.append(line.mid(line.indexOf("Retry = ")));
    }
    QStringList expected;
    for (int i = 1; i < sends; ++i)
        expected.append(QString("Retry = %1.").arg(i));
    QCOMPARE(repeats, expected);
}

void TestTransportQueue::silentResetGoesOn()
{
    SimDevice dev; // answers everything but a reset, like the device
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    QString err;
    QVERIFY(hal.request({makeFrame("Reset", MFC_WRITE, "1"), readFrame("TargetGasCode")}, err));

    QTRY_COMPARE_WITH_TIMEOUT(dev.requestCount("TargetGasCode"), 1, 5000);
    const qint64 resetAt = firstAt(dev, "Reset");
    const qint64 nextAt = firstAt(dev, "TargetGasCode");
    QVERIFY(resetAt > 0);
    QVERIFY2(nextAt - resetAt >= 550, qPrintable(QString::number(nextAt - resetAt)));
    QVERIFY2(nextAt - resetAt < 2000, qPrintable(QString::number(nextAt - resetAt)));
    QTest::qWait(300);
    QCOMPARE(dev.requestCount("Reset"), 1);
    QCOMPARE(timeouts.count(), 0);
}

void TestTransportQueue::delayHoldsNextFrame()
{
    SimDevice dev;
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QTRY_VERIFY(dev.requestCount("ReadFlow") > 0); // polling runs

    QString err;
    const qint64 t0 = nowMs();
    QVERIFY(hal.request({makeFrame("AppDelay", MFC_DELAY, "2000"), readFrame("TargetGasCode")}, err));
    QTRY_COMPARE_WITH_TIMEOUT(dev.requestCount("TargetGasCode"), 1, 6000);
    const qint64 at = firstAt(dev, "TargetGasCode");
    QVERIFY2(at - t0 >= 1950, qPrintable(QString::number(at - t0)));
    QVERIFY2(at - t0 < 4000, qPrintable(QString::number(at - t0)));
    // Nothing, polling included, went out while the delay held the line.
    for (const SimDevice::Request& r : dev.requests()) {
        if (r.atMs > t0 + 200 && r.atMs < at)
            QFAIL(qPrintable("sent during the delay: " + r.cmd));
    }
}

void TestTransportQueue::macAddressWriteDropsPolling_data()
{
    QTest::addColumn<bool>("writeAddress");
    QTest::newRow("address write") << true;
    QTest::newRow("no address write") << false;
}

void TestTransportQueue::macAddressWriteDropsPolling()
{
    QFETCH(bool, writeAddress);

    SimDevice dev;
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QString err;
    // CM goes out; the background reads wait behind it.
    QVERIFY(hal.request({readFrame("CM"), readFrame("ReadAlarms", true), readFrame("ReadAlarms", true)}, err));
    if (writeAddress)
        QVERIFY(hal.request({makeFrame("MACAddress", MFC_WRITE, "32")}, err));
    else
        QVERIFY(hal.request({readFrame("DeviceType")}, err));

    const QString second = writeAddress ? "MACAddress" : "DeviceType";
    QTRY_COMPARE(dev.requestCount(second), 1);
    QTest::qWait(400);
    QCOMPARE(dev.requestCount("ReadAlarms"), writeAddress ? 0 : 2);
    if (writeAddress) {
        const SimDevice::Request w = dev.requests().at(dev.requestNames().indexOf("MACAddress"));
        QVERIFY(w.write);
        QCOMPARE(w.valueBytes.toHex(), QByteArray("20"));
    }
}

void TestTransportQueue::timeoutPayload()
{
    SimDevice dev;
    dev.setSilent(true);
    TervanHALV3 hal;
    hal.setRetry(1);
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    QString err;
    // Before the first tick: A goes out at once, B C B wait in the direct queue, D in the background queue.
    QVERIFY(hal.request({readFrame("CM"), readFrame("TargetGasCode"), readFrame("DeviceType"),
                         readFrame("TargetGasCode"), readFrame("ReadAlarms", true)},
                        err));
    QVERIFY(timeouts.wait(3000));
    QCOMPARE(timeouts.first().first().toStringList(),
             (QStringList{"CM", "TargetGasCode", "DeviceType", "ReadAlarms"}));
    QCOMPARE(dev.requestCount("TargetGasCode"), 0);
    QCOMPARE(dev.requestCount("DeviceType"), 0);
    QCOMPARE(dev.requestCount("ReadAlarms"), 0);
}

void TestTransportQueue::openOnOpenPort()
{
    SimDevice dev;
    SimDevice other;
    TervanHALV3 hal;
    QVERIFY(!hal.isOpen());
    QVERIFY(!hal.open("/dev/nonexistent-varnoc-port", 9600));
    QVERIFY(!hal.isOpen());
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QVERIFY(!hal.open(other.slavePath(), 19200));
    QVERIFY(hal.isOpen());
    QVERIFY(dev.slavePath().endsWith(hal.portName()));

    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QString err;
    QVERIFY(hal.request({readFrame("TargetGasCode")}, err));
    QTRY_COMPARE(dev.requestCount("TargetGasCode"), 1);
    QCOMPARE(other.requestCount(), 0);

    hal.closePort();
    QVERIFY(!hal.isOpen());
    QVERIFY(hal.open(other.slavePath(), 19200));
    QTRY_VERIFY(other.requestCount("ReadFlow") > 0);
}

void TestTransportQueue::abandonedFrameFreesLink_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("next");
    QTest::newRow("reset with a read in flight") << "reset" << "TargetGasCode";
    QTest::newRow("readAll with a read in flight") << "readAll" << "CM";
    QTest::newRow("reset during a delay") << "resetDelay" << "TargetGasCode";
    QTest::newRow("open after close with a read in flight") << "reopen" << "TargetGasCode";
}

void TestTransportQueue::abandonedFrameFreesLink()
{
    QFETCH(QString, how);
    QFETCH(QString, next);

    SimDevice dev;
    dev.setSilentFor({"DeviceType"});
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    QString err;
    if (how == "resetDelay")
        QVERIFY(hal.request({makeFrame("AppDelay", MFC_DELAY, "5000")}, err));
    else
        QVERIFY(hal.request({readFrame("DeviceType")}, err));
    QVERIFY(!hal.isIdle());

    const qint64 t0 = nowMs();
    if (how == "reset" || how == "resetDelay") {
        hal.reset();
        QVERIFY(hal.request({readFrame(next)}, err));
    } else if (how == "readAll") {
        QVERIFY(hal.readAll(err));
    } else {
        hal.closePort();
        QVERIFY(hal.open(dev.slavePath(), 9600));
        QVERIFY(hal.request({readFrame(next)}, err));
    }
    QTRY_COMPARE_WITH_TIMEOUT(dev.requestCount(next), 1, 1500);
    QVERIFY(firstAt(dev, next) - t0 < 1000);
    QTest::qWait(700);
    QVERIFY(dev.requestCount("DeviceType") <= 1);
    QCOMPARE(timeouts.count(), 0);
}

void TestTransportQueue::bytesDuringDelay_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("check"); // the delay belongs to a read-back sequence
    const QByteArray lateFlow = QByteArray::fromHex("060002800568" "01b9007000" "19");
    // Half a reply header starts the reply timer, which then runs out.
    QTest::newRow("reply timeout") << QByteArray::fromHex("0600") << false;
    // A late reply to an earlier request is accepted but must not cut the hold short.
    QTest::newRow("late reply") << lateFlow << false;
    // A delay writes no value: nothing to compare a late reply with.
    QTest::newRow("late reply, checked sequence") << lateFlow << true;
}

void TestTransportQueue::bytesDuringDelay()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, check);
    SimDevice dev;
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QSignalSpy errors(&hal, &TervanHALV3::error);
    QTRY_VERIFY(dev.requestCount("ReadFlow") > 0);

    QString err;
    const qint64 t0 = nowMs();
    QVERIFY(hal.request({makeFrame("AppDelay", MFC_DELAY, "1500", check), readFrame("TargetGasCode")}, err));
    QTest::qWait(200);
    dev.inject(bytes);
    QTRY_COMPARE_WITH_TIMEOUT(dev.requestCount("TargetGasCode"), 1, 5000);
    const qint64 at = firstAt(dev, "TargetGasCode");
    QVERIFY2(at - t0 >= 1450, qPrintable(QString::number(at - t0)));
    for (const SimDevice::Request& r : dev.requests()) {
        if (r.atMs > t0 + 100 && r.atMs < at)
            QFAIL(qPrintable("sent during the delay: " + r.cmd));
    }
    QTRY_VERIFY([&] {
        for (const QList<QVariant>& a : acks) {
            if (a.first().value<TervanCore::mfc_reg_t>().cmd == "TargetGasCode")
                return true;
        }
        return false;
    }());
    QCOMPARE(timeouts.count(), 0);
    QCOMPARE(errors.count(), 0);
}

void TestTransportQueue::negativeDelayEndsAtOnce()
{
    SimDevice dev;
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QString err;
    const qint64 t0 = nowMs();
    QVERIFY(hal.request({makeFrame("AppDelay", MFC_DELAY, "-5"), readFrame("TargetGasCode")}, err));
    QTRY_COMPARE(dev.requestCount("TargetGasCode"), 1);
    QVERIFY(firstAt(dev, "TargetGasCode") - t0 < 500);
}

void TestTransportQueue::strayBytesBeforeAnyRequest()
{
    SimDevice dev;
    TervanHALV3 hal;
    hal.stopTick(); // no polling: nothing has ever been sent
    hal.setRetry(1);
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    dev.inject(QByteArray::fromHex("0600"));
    // The reply timer runs out with no frame to repeat or report.
    QTest::qWait(1000);
    QCOMPARE(timeouts.count(), 0);
    QCOMPARE(dev.requestCount(), 0);
    QVERIFY(hal.isIdle());
}

void TestTransportQueue::directQueueLimit_data()
{
    QTest::addColumn<int>("queued");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("512 queued") << 512 << true;
    QTest::newRow("513 queued") << 513 << false;
}

void TestTransportQueue::directQueueLimit()
{
    QFETCH(int, queued);
    QFETCH(bool, accepted);

    SimDevice dev;
    dev.setSilent(true);
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QString err;
    QVERIFY(hal.request({readFrame("CM")}, err)); // in flight, off the queue
    QList<mfc_frame_t> many;
    for (int i = 0; i < queued; ++i)
        many.append(readFrame("TargetGasCode"));
    QVERIFY(hal.request(many, err)); // one list may take the queue past the limit

    err.clear();
    QCOMPARE(hal.request({readFrame("DeviceType"), readFrame("PCBVersion")}, err), accepted);
    QCOMPARE(err, accepted ? QString() : QString("Direct queue is full!"));
    QVERIFY(!hal.isIdle()); // a full queue stays as it was
    hal.reset();
}

void TestTransportQueue::vanishedDevice()
{
    SimDevice dev;
    dev.setSilentFor({"CM"});
    TervanHALV3 hal;
    hal.setRetry(2);
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    DebugCapture debug;
    QString err;
    QVERIFY(hal.request({readFrame("CM")}, err));
    QTRY_COMPARE(dev.requestCount("CM"), 1);

    dev.vanish();
    QTRY_VERIFY(!hal.isOpen());
    QVERIFY(timeouts.wait(3000));
    QCOMPARE(timeouts.first().first().toStringList(), QStringList{"CM"});
    QTest::qWait(300);
    QCOMPARE(debug.count("Error: serial port"), 1);
    QVERIFY(!hal.isOpen());
}

QTEST_GUILESS_MAIN(TestTransportQueue)
#include "tst_transport_queue.moc"
