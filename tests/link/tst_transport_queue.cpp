// Request queueing, sending, delays, retries and the cases where the link must
// not stay busy, against the simulated device through a real serial port.
#include "linktestutil.h"

#include <QDateTime>
#include <QtTest>

#include <algorithm>

class TestTransportQueue : public QObject
{
    Q_OBJECT

private slots:
    void refusedList_data()
    {
        QTest::addColumn<mfc_frame_t>("bad");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown register") << readFrame("Bogus") << "cmd: Bogus read opertation encode fail!";
        QTest::newRow("value out of range") << makeFrame("CM", MFC_WRITE, "256") << "cmd: CM write with input: 256 encode fail!";
        QTest::newRow("delay not a number") << makeFrame("AppDelay", MFC_DELAY, "1s") << "command delay with invalid argument: 1s.";
        QTest::newRow("unknown operation") << makeFrame("CM", 7) << "cmd: CM with unknown operation: 7.";
    }
    void refusedList()
    {
        QFETCH(mfc_frame_t, bad);
        Link l;
        l.dev.setSilentFor({"CM"});
        QVERIFY(l.send({}) && l.hal.isIdle()); // an empty list sends nothing
        // CM goes out at once and waits for its (missing) reply; TargetGasCode queues.
        QVERIFY(l.send({readFrame("CM"), readFrame("TargetGasCode")}));
        QVERIFY(!l.send({readFrame("ReadFlow"), readFrame("DeviceType"), bad, readFrame("PCBVersion")}));
        QTEST(l.err, "message");
        QVERIFY(l.hal.isIdle());
        // The abandoned CM is not repeated and nothing queued before goes out; the link is free.
        QTest::qWait(1000);
        QCOMPARE(l.dev.requestCount("CM"), 1);
        QCOMPARE(l.dev.requestCount("TargetGasCode") + l.dev.requestCount("DeviceType") + l.timeouts.count(), 0);
        QVERIFY(l.send({readFrame("PCBVersion")}));
        QTRY_COMPARE(l.dev.requestCount("PCBVersion"), 1);
    }

    void retries_data()
    {
        QTest::addColumn<int>("retry");
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("sends");
        QTest::addColumn<QString>("device");
        QTest::newRow("retry 0") << 0 << int(MFC_READ) << 1 << "at another line speed";
        QTest::newRow("retry 2 write") << 2 << int(MFC_WRITE) << 2 << "vanishing";
        QTest::newRow("retry 9") << 9 << int(MFC_READ) << 5 << "silent";
    }
    // A device that does not answer: the timeout names the frame in flight and every
    // frame dropped with it, the direct queue (B C B) and the background queue (D) both.
    void retries()
    {
        QFETCH(int, retry);
        QFETCH(int, op);
        QFETCH(int, sends);
        QFETCH(QString, device);
        Link l;
        // At another line speed the device hears noise only.
        l.dev.setBaudRate(device == "at another line speed" ? 19200 : 0);
        l.dev.setSilent(device != "at another line speed");
        l.hal.setRetry(retry);
        const QString trace = op == MFC_WRITE ? "It's retry for CM WRITE input 1. " : "It's retry for CM READ. ";
        for (int i = 1; i < sends; ++i)
            QTest::ignoreMessage(QtDebugMsg, qPrintable(trace + QString("Retry = %1.").arg(i)));
        QTest::ignoreMessage(QtDebugMsg, qPrintable(trace + QString("Retry = %1. Fail!").arg(sends)));
        QVERIFY(l.send({makeFrame("CM", op, op == MFC_WRITE ? "1" : QString()), readFrame("TargetGasCode"),
                        readFrame("DeviceType"), readFrame("TargetGasCode"), readFrame("ReadAlarms", true)}));
        if (device == "vanishing") {
            QTRY_COMPARE(l.dev.requestCount("CM"), 1);
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Error: serial port .* failed"));
            l.dev.vanish(); // the port fails and is closed; the frame in flight runs out as for a silent device
        }
        QCOMPARE(l.timedOut(sends * 600 + 3000), (QStringList{"CM", "TargetGasCode", "DeviceType", "ReadAlarms"}));
        const int heard = device == "silent" ? sends : int(device == "vanishing");
        QCOMPARE(l.dev.requestNames().join(' '), QString("CM ").repeated(heard).trimmed());
        const QList<SimDevice::Request> sent = l.dev.requests();
        QList<qint64> gaps;
        for (int i = 1; i < sent.size(); ++i) {
            QCOMPARE(sent.at(i).raw, sent.first().raw); // every send carries the same bytes
            gaps << sent.at(i).atMs - sent.at(i - 1).atMs;
        }
        // Sent again after the 600 ms reply time: the median gap, which one late wake-up does not move.
        std::sort(gaps.begin(), gaps.end());
        const qint64 median = gaps.isEmpty() ? 600 : (gaps.at((gaps.size() - 1) / 2) + gaps.at(gaps.size() / 2)) / 2;
        QVERIFY2(median >= 550 && median < 700 && gaps.value(gaps.size() - 1) < 1000, qPrintable(QString::number(median)));
        QCOMPARE(l.hal.isOpen(), device != "vanishing");
    }

    // A delay holds the line, polling included; bytes that arrive meanwhile do not end it early.
    void delay_data()
    {
        QTest::addColumn<QString>("ms");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("check"); // the delay belongs to a read-back sequence
        const QByteArray lateFlow = QByteArray::fromHex("06000280056801b900700019");
        QTest::newRow("2000 ms") << "2000" << QByteArray() << false;
        QTest::newRow("negative ends at once") << "-5" << QByteArray() << false;
        // Half a reply header starts the reply timer, which then runs out.
        QTest::newRow("half a header") << "1500" << QByteArray::fromHex("0600") << false;
        // A late reply is accepted; in a checked sequence there is no written value to compare it with.
        QTest::newRow("late reply") << "1500" << lateFlow << false;
        QTest::newRow("late reply, checked sequence") << "1500" << lateFlow << true;
    }
    void delay()
    {
        QFETCH(QString, ms);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, check);
        Link l;
        QTRY_VERIFY(l.dev.requestCount("ReadFlow") > 0); // polling runs
        const qint64 t0 = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(l.send({makeFrame("AppDelay", MFC_DELAY, ms, check), readFrame("TargetGasCode")}));
        QTest::qWait(200);
        l.dev.inject(bytes); // nothing when empty
        QTRY_COMPARE_WITH_TIMEOUT(l.dev.requestCount("TargetGasCode"), 1, 6000);
        const qint64 at = l.firstAt("TargetGasCode") - t0;
        const int hold = qMax(0, ms.toInt());
        QVERIFY2(at >= hold - 50 && at < hold + 1500, qPrintable(QString::number(at)));
        for (const SimDevice::Request& r : l.dev.requests())
            QVERIFY2(r.atMs <= t0 + 100 || r.atMs >= t0 + at, qPrintable("sent during the delay: " + r.cmd));
        QTRY_VERIFY(l.ackNames().contains("TargetGasCode"));
        QCOMPARE(l.timeouts.count() + l.errors.count(), 0);
    }

    // With the timers of the frame in flight stopped, the link does not stay busy.
    void abandonedFrameFreesLink_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("next");
        QTest::newRow("reset with a read in flight") << "reset" << "TargetGasCode";
        QTest::newRow("readAll with a read in flight") << "readAll" << "CM";
        QTest::newRow("reset during a delay") << "resetDelay" << "TargetGasCode";
        QTest::newRow("open after close with a read in flight") << "reopen" << "TargetGasCode";
    }
    void abandonedFrameFreesLink()
    {
        QFETCH(QString, how);
        QFETCH(QString, next);
        Link l;
        l.dev.setSilentFor({"DeviceType"});
        QVERIFY(l.send({how == "resetDelay" ? makeFrame("AppDelay", MFC_DELAY, "5000") : readFrame("DeviceType")}));
        const qint64 t0 = QDateTime::currentMSecsSinceEpoch();
        if (how == "reopen") {
            SimDevice other; // an open port refuses another open and stays as it was
            QVERIFY(!l.hal.open(other.slavePath(), 19200));
            l.hal.closePort();
            QVERIFY(!l.hal.isOpen() && !l.hal.open("/dev/nonexistent-varnoc-port", 9600));
            QVERIFY(l.hal.open(l.dev.slavePath(), 9600));
        } else if (how != "readAll") {
            l.hal.reset();
        }
        QVERIFY(how == "readAll" ? l.hal.readAll(l.err) : l.send({readFrame(next)}));
        QTRY_COMPARE_WITH_TIMEOUT(l.dev.requestCount(next), 1, 1500);
        QVERIFY(l.firstAt(next) - t0 < 1000);
        QTest::qWait(700);
        QVERIFY(l.dev.requestCount("DeviceType") <= 1 && l.timeouts.isEmpty());
    }

    // The limit applies to the frames already queued, so one list may pass it.
    void directQueueLimit()
    {
        Link l;
        l.dev.setSilent(true);
        QVERIFY(l.send({readFrame("CM")})); // in flight, off the queue
        QVERIFY(l.send(QVector<mfc_frame_t>(512, readFrame("TargetGasCode")).toList()));
        QVERIFY(l.send({readFrame("DeviceType")}));
        QVERIFY(!l.send({readFrame("PCBVersion")}));
        QCOMPARE(l.err, QString("Direct queue is full!"));
        QVERIFY(!l.hal.isIdle()); // a full queue stays as it was
        l.hal.reset();
    }
};

QTEST_GUILESS_MAIN(TestTransportQueue)
#include "tst_transport_queue.moc"
