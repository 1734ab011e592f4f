// Reply reception: the receive state machine on its own, and whole replies
// through a real serial port: split, late, corrupt, checked, and under noise.
#include "linktestutil.h"
#include "replyparser.h"

#include <QtTest>

using Chunks = QList<QByteArray>;
using Results = QList<int>;

namespace {

const QByteArray kCmReply = QByteArray::fromHex("06000280046901030100f4"); // CM = 1

} // namespace

class TestTransportRx : public QObject
{
    Q_OBJECT

private slots:
    void parser_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<Results>("results");
        QTest::addColumn<QByteArray>("frame");
        const int need = ReplyParser::NeedMore;
        const int done = ReplyParser::FrameComplete;
        const QByteArray r = kCmReply;
        QTest::newRow("three chunks") << Chunks{r.left(4), r.mid(4, 4), r.mid(8)} << Results{need, need, done} << r;
        QTest::newRow("stray 0x15 first") << Chunks{QByteArray::fromHex("15") + r} << Results{done} << r;
        QTest::newRow("two frames, first taken") << Chunks{r + r} << Results{done} << r;
        QTest::newRow("bad op byte rescans") << Chunks{QByteArray::fromHex("06000282") + r} << Results{done} << r;
        // The rejected 0x06 is not looked at again, so the frame behind it is lost.
        QTest::newRow("0x06 after stray 0x06 lost") << Chunks{QByteArray::fromHex("06") + r} << Results{need} << QByteArray();
        // LEN 0 counts as 256 body bytes: 5 + 256 + pad + checksum.
        const QByteArray big = QByteArray::fromHex("0600028000") + QByteArray(257, '\x11');
        QTest::newRow("LEN 0 waits for 256 body bytes") << Chunks{big.left(200), big.mid(200), QByteArray("\x77")}
                                                        << Results{need, need, done} << big + QByteArray("\x77");
    }
    void parser()
    {
        QFETCH(Chunks, chunks);
        QFETCH(Results, results);
        int state = TervanHALV3::RX_ACK;
        quint8 remain = 0;
        QByteArray buf;
        Results got;
        for (const QByteArray& c : chunks)
            got.append(ReplyParser::feed(c, state, remain, buf));
        QCOMPARE(got, results);
        QTEST(buf, "frame");
        if (results.last() == ReplyParser::FrameComplete)
            QCOMPARE(state, int(TervanHALV3::RX_ACK));
    }

    void splitReply_data()
    {
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<int>("sends");
        // 700 ms from the first to the last of three chunks, more than one reply time.
        QTest::newRow("three chunks 350 ms apart") << 350 << 1;
        // The second half comes far too late: the half reply restarted the timer once, then a repeat.
        QTest::newRow("second half 5 s late") << 5000 << 2;
    }
    void splitReply()
    {
        QFETCH(int, gapMs);
        QFETCH(int, sends);
        Link l;
        l.dev.setChunks(sends == 1 ? 3 : 2, gapMs);
        l.hal.setRetry(2);
        QVERIFY(l.send({readFrame("TargetGasFullScaleRange")}));
        QTRY_COMPARE_WITH_TIMEOUT(l.dev.requestCount("TargetGasFullScaleRange"), sends, 3000);
        if (sends == 1) {
            QTRY_COMPARE_WITH_TIMEOUT(ackFor(l.acks, "TargetGasFullScaleRange").output, QString("300"), 3000);
            QCOMPARE(l.timeouts.count(), 0);
            QCOMPARE(l.dev.requestCount("TargetGasFullScaleRange"), 1);
        } else {
            const qint64 gap = l.dev.requests().at(1).atMs - l.dev.requests().at(0).atMs;
            QVERIFY2(gap >= 550 && gap < 2000, qPrintable(QString::number(gap)));
        }
    }

    void corruptChecksum()
    {
        Link l;
        l.dev.setCorruptChecksum(true);
        QVERIFY(l.send({readFrame("CM"), readFrame("TargetGasCode")}));
        QTRY_VERIFY(l.errors.count() >= 2);
        QCOMPARE(l.errors.at(0).first().toString(), QString("Can't decode input: 06000280046901030100f5"));
        QCOMPARE(l.errors.at(1).first().toString(),
                 QString("Can't decode frame: 06000280046901030100f5.\r\n\tcmd = CM, op: 0, input: "));
        QTest::qWait(300);
        QVERIFY(l.acks.isEmpty());
        QCOMPARE(l.dev.requestCount("CM"), 1);            // a rejected reply is not retried
        QCOMPARE(l.dev.requestCount("TargetGasCode"), 0); // the queue dropped with the failure
    }

    void lateReplyStillAcked()
    {
        Link l;
        l.dev.setReplyDelayFor("TargetGasCode", 900);
        l.hal.setRetry(1);
        QVERIFY(l.send({readFrame("TargetGasCode")}));
        QCOMPARE(l.timedOut(2000), QStringList{"TargetGasCode"});
        QVERIFY(!ackNames(l.acks).contains("TargetGasCode"));
        QTRY_COMPARE_WITH_TIMEOUT(ackFor(l.acks, "TargetGasCode").output, QString("13"), 2000);
    }

    void macAddressReplySetsAddress()
    {
        Link l;
        l.dev.setAddress(42);
        QVERIFY(l.send({readFrame("MACAddress"), readFrame("DeviceType")}));
        QTRY_VERIFY(ackNames(l.acks).contains("DeviceType"));
        QVERIFY(l.send({readFrame("TargetGasCode")}));
        QTRY_VERIFY(ackNames(l.acks).contains("TargetGasCode"));
        const QList<SimDevice::Request> reqs = l.dev.requests();
        const QStringList names = l.dev.requestNames();
        QCOMPARE(reqs.at(names.indexOf("DeviceType")).address, quint8(0xff)); // queued before: keeps its address
        QCOMPARE(reqs.at(names.indexOf("TargetGasCode")).raw.toHex(), QByteArray("2a0280036601020018"));
    }

    void setpointPolling_data()
    {
        QTest::addColumn<int>("cm");
        QTest::addColumn<bool>("silentSetpoint");
        QTest::newRow("CM 1") << 1 << false;
        QTest::newRow("CM 1, setpoint reads unanswered") << 1 << true;
        QTest::newRow("CM 2") << 2 << false;
    }
    void setpointPolling()
    {
        QFETCH(int, cm);
        QFETCH(bool, silentSetpoint);
        Link l;
        l.dev.setValue("CM", QString::number(cm));
        l.dev.setSilentFor({silentSetpoint ? "ReadActiveSetpoint" : ""});
        l.hal.setRetry(1);
        QVERIFY(l.send({readFrame("CM")}));
        QTRY_COMPARE(l.hal.lastControlMode(), cm);
        QVERIFY(!l.hal.isPollingActiveSetpoint());
        QVERIFY(l.send({makeFrame("DigitalSetpoint", MFC_WRITE, "40")}));
        QTRY_VERIFY(ackNames(l.acks).contains("DigitalSetpoint"));
        if (cm != 1) {
            QVERIFY(!l.hal.isPollingActiveSetpoint());
            return;
        }
        // The polls after the setpoint change read the active setpoint first, until it answers.
        const auto after = [&] { return l.dev.requestNames().mid(l.dev.requestNames().indexOf("DigitalSetpoint") + 1); };
        QTRY_VERIFY(after().size() >= 2);
        QCOMPARE(after().first(), QString("ReadActiveSetpoint"));
        if (!silentSetpoint) {
            QCOMPARE(after().at(1), QString("ReadFlow"));
            QTRY_VERIFY(!l.hal.isPollingActiveSetpoint());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(l.dev.requestCount("ReadActiveSetpoint") >= 3, 4000);
        QVERIFY(l.hal.isPollingActiveSetpoint());
    }

    void readBack_data()
    {
        QTest::addColumn<QString>("cmd");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("echo");
        QTest::addColumn<QString>("readBack"); // empty: the check passes
        QTest::newRow("float 1.505 passes") << "SensorGain" << "1.5" << "1.505" << QString();
        QTest::newRow("float 1.52 fails") << "SensorGain" << "1.5" << "1.52" << "1.51999998";
        QTest::newRow("fixed 1.52 fails") << "TargetGas2CalibrationGas" << "1.5" << "1.52" << "1.51998901";
        QTest::newRow("text ABCD fails") << "ProductName" << "ABC" << "ABCD" << "ABCD";
        QTest::newRow("05 read back as 5") << "CM" << "05" << QString() << "5";
    }
    void readBack()
    {
        QFETCH(QString, cmd);
        QFETCH(QString, written);
        QFETCH(QString, echo);
        QFETCH(QString, readBack);
        Link l;
        if (!echo.isNull())
            l.dev.setWriteEcho(cmd, echo);
        QVERIFY(l.send({makeFrame(cmd, MFC_WRITE, written, true), readFrame("TargetGasCode")}));
        if (readBack.isEmpty()) {
            QTRY_VERIFY(ackNames(l.acks).contains("TargetGasCode"));
            QVERIFY(ackNames(l.acks).contains(cmd));
            QVERIFY(l.errors.isEmpty());
            return;
        }
        QTRY_COMPARE(l.errors.count(), 1);
        QCOMPARE(l.errors.first().first().toString(),
                 QString("cmd:%1 check fail, write value: %2, read back value: %3.").arg(cmd, written, readBack));
        QTest::qWait(300);
        QVERIFY(!ackNames(l.acks).contains(cmd));
        QCOMPARE(l.dev.requestCount("TargetGasCode"), 0); // queue dropped
    }

    // Bytes that never form a reply must not hold a request for ever; a reply
    // still gets through them.
    void noise_data()
    {
        QTest::addColumn<QByteArray>("noise");
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<bool>("silent");
        QTest::newRow("GPS sentences, no device") << QByteArray("$GPGGA,1\r\n") << 200 << true;
        QTest::newRow("start byte every 300 ms, silent device") << QByteArray("\x06", 1) << 300 << true;
        QTest::newRow("GPS sentences, device answers") << QByteArray("$GPGGA,1\r\n") << 200 << false;
    }
    void noise()
    {
        QFETCH(QByteArray, noise);
        QFETCH(int, intervalMs);
        QFETCH(bool, silent);
        Link l;
        l.hal.stopTick();
        l.hal.setRetry(2);
        l.dev.setSilent(silent);
        l.dev.setNoise(noise, intervalMs);
        QTest::qWait(400); // the noise runs before the request goes out
        QVERIFY(l.send({readFrame("TargetGasCode")}));
        if (!silent) {
            QTRY_VERIFY(ackNames(l.acks).contains("TargetGasCode"));
            QCOMPARE(l.dev.requestCount("TargetGasCode"), 1);
            return;
        }
        // Two sends of at most three reply times each, with a margin.
        QCOMPARE(l.timedOut(2 * TervanHALV3::MAX_WAIT_FACTOR * TervanHALV3::RECV_TIMEOUT_MS + 3000), QStringList{"TargetGasCode"});
        QCOMPARE(l.dev.requestCount("TargetGasCode"), 2);
    }
};

QTEST_GUILESS_MAIN(TestTransportRx)
#include "tst_transport_rx.moc"
