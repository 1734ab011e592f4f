// Reply reception: the receive state machine on its own, and whole replies
// through a real serial port: split, late, corrupt, checked, and under noise.
#include "linktestutil.h"
#include "replyparser.h"

#include <QThread>
#include <QtTest>

using Chunks = QList<QByteArray>;

class TestTransportRx : public QObject
{
    Q_OBJECT

private slots:
    // Frames found in a stream of chunks, each chunk fed again from where a
    // frame ended, as the transport does; whatever the chunks, the same frames.
    void parser_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<Chunks>("frames");
        QTest::addColumn<QByteArray>("pending"); // the frame begun when the chunks ran out
        const QByteArray r = QByteArray::fromHex("06000280046901030100f4"); // CM = 1
        const QByteArray mac = QByteArray::fromHex("06000280040301012000ab");
        QTest::newRow("three chunks") << Chunks{r.left(4), r.mid(4, 4), r.mid(8)} << Chunks{r} << QByteArray();
        QTest::newRow("stray 0x15 first") << Chunks{QByteArray::fromHex("15") + r} << Chunks{r} << QByteArray();
        QTest::newRow("two frames in one chunk") << Chunks{r + mac} << Chunks{r, mac} << QByteArray();
        QTest::newRow("two frames, split at their boundary") << Chunks{r, mac} << Chunks{r, mac} << QByteArray();
        QTest::newRow("a frame and the start of the next") << Chunks{r + mac.left(6)} << Chunks{r} << mac.left(6);
        QTest::newRow("bad op byte rescans") << Chunks{QByteArray::fromHex("06000282") + r} << Chunks{r} << QByteArray();
        // Noise just before a reply: the rejected byte, or one held before it, starts the frame.
        QTest::newRow("stray 06 first") << Chunks{QByteArray::fromHex("06") + r} << Chunks{r} << QByteArray();
        QTest::newRow("stray aa 06 first") << Chunks{QByteArray::fromHex("aa06") + r} << Chunks{r} << QByteArray();
        QTest::newRow("stray 06 00 first") << Chunks{QByteArray::fromHex("0600") + r} << Chunks{r} << QByteArray();
        QTest::newRow("stray 06 00 02, split") << Chunks{QByteArray::fromHex("060002"), r.left(2), r.mid(2)}
                                               << Chunks{r} << QByteArray();
        QTest::newRow("stray 06 alone, then reply") << Chunks{QByteArray::fromHex("06"), r} << Chunks{r} << QByteArray();
        // LEN 0 counts as 256 body bytes: 5 + 256 + pad + checksum.
        const QByteArray big = QByteArray::fromHex("0600028000") + QByteArray(257, '\x11');
        QTest::newRow("LEN 0 waits for 256 body bytes") << Chunks{big.left(200), big.mid(200), QByteArray("\x77")}
                                                        << Chunks{big + QByteArray("\x77")} << QByteArray();
    }
    void parser()
    {
        QFETCH(Chunks, chunks);
        int state = TervanHALV3::RX_ACK;
        quint8 remain = 0;
        QByteArray buf;
        Chunks frames;
        for (QByteArray c : chunks) {
            int used = 0;
            while (ReplyParser::feed(c, state, remain, buf, &used) == ReplyParser::FrameComplete) {
                QCOMPARE(state, int(TervanHALV3::RX_ACK));
                frames << buf;
                buf.clear();
                c = c.mid(used);
            }
        }
        QTEST(frames, "frames");
        QTEST(buf, "pending");
    }

    // Two replies sent at once are both handed on, whether the system reads
    // them in one piece or two, unless the first one's receiver empties the port.
    void repliesReadTogether_data()
    {
        QTest::addColumn<bool>("discard");
        QTest::newRow("both handed on") << false;
        QTest::newRow("the first one's receiver empties the port") << true;
    }
    void repliesReadTogether()
    {
        QFETCH(bool, discard);
        Link l;
        l.hal.stopTick();
        if (discard)
            connect(&l.hal, &TervanHALV3::ack, &l.hal, [&l] { l.hal.discardInput(); });
        l.dev.inject(QByteArray::fromHex("06000280046901030100f4" "06000280040301012000ab"));
        QTRY_VERIFY(!l.acks.isEmpty());
        QTest::qWait(200);
        QCOMPARE(l.ackNames(), QStringList({"CM", "MACAddress"}).mid(0, discard ? 1 : 2));
    }

    void splitReply_data()
    {
        QTest::addColumn<int>("chunks");
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("sends");
        QTest::addColumn<int>("busyMs"); // the program blocked from just before the second chunk
        // 700 ms from the first to the last of three chunks, more than one reply time.
        QTest::newRow("three chunks 350 ms apart") << 3 << 350 << 0 << 1 << 0;
        // The second chunk comes in time but waits unread until the reply time has run out.
        QTest::newRow("three chunks 350 ms apart, the program busy") << 3 << 350 << 0 << 1 << 400;
        // The second half comes far too late: the half reply restarted the timer once, then a repeat.
        QTest::newRow("second half 5 s late") << 2 << 5000 << 0 << 2 << 0;
        // A reply after the timeout is still handed on.
        QTest::newRow("whole reply 900 ms late, no retry") << 1 << 5 << 900 << 1 << 0;
    }
    void splitReply()
    {
        QFETCH(int, sends);
        QFETCH(int, delayMs);
        Link l;
        QFETCH(int, chunks);
        QFETCH(int, gapMs);
        l.dev.setChunks(chunks, gapMs);
        QFETCH(int, busyMs);
        if (busyMs > 0) {
            connect(&l.dev, &SimDevice::requestReceived, &l.dev, [gapMs, busyMs] {
                QTimer::singleShot(gapMs - 10, [busyMs] { QThread::msleep(ulong(busyMs)); });
            });
        }
        l.dev.setReplyDelayFor("TargetGasFullScaleRange", delayMs);
        l.hal.setRetry(delayMs > 0 ? 1 : 2);
        QVERIFY(l.send({readFrame("TargetGasFullScaleRange")}));
        QTRY_COMPARE_WITH_TIMEOUT(l.dev.requestCount("TargetGasFullScaleRange"), sends, 3000);
        if (delayMs > 0) {
            QCOMPARE(l.timedOut(2000), QStringList{"TargetGasFullScaleRange"});
            QVERIFY(!l.ackNames().contains("TargetGasFullScaleRange"));
        }
        if (sends == 1) {
            QTRY_COMPARE_WITH_TIMEOUT(l.ackOutput("TargetGasFullScaleRange"), QString("300"), 3000);
            QCOMPARE(l.dev.requestCount("TargetGasFullScaleRange") + l.timeouts.count(), delayMs > 0 ? 2 : 1);
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
        // A rejected reply is not retried, and the queue dropped with the failure.
        QCOMPARE(l.dev.requestCount("CM") + 10 * l.dev.requestCount("TargetGasCode"), 1);
    }

    // The reply to an address write sets the address of the frames encoded after it;
    // background frames queued behind the write carry the old one and are dropped.
    void macAddressWrite()
    {
        Link l;
        QVERIFY(l.send({readFrame("CM"), readFrame("ReadAlarms", true)}));
        QVERIFY(l.send({makeFrame("MACAddress", MFC_WRITE, "42"), readFrame("DeviceType")}));
        QTRY_VERIFY(l.ackNames().contains("DeviceType"));
        QVERIFY(l.send({readFrame("TargetGasCode")}));
        QTRY_VERIFY(l.ackNames().contains("TargetGasCode"));
        const QList<SimDevice::Request> reqs = l.dev.requests();
        const QStringList names = l.dev.requestNames();
        QCOMPARE(reqs.at(names.indexOf("DeviceType")).address, quint8(0xff)); // queued before: keeps its address
        QCOMPARE(reqs.at(names.indexOf("TargetGasCode")).raw.toHex(), QByteArray("2a0280036601020018"));
        QTRY_VERIFY(l.dev.requestCount("ReadFlow") > 0); // polled: no background frame left
        QCOMPARE(l.dev.requestCount("ReadAlarms"), 0);
    }

    void setpointPolling_data()
    {
        QTest::addColumn<int>("cm");
        QTest::addColumn<bool>("silentSetpoint");
        QTest::newRow("CM 1") << 1 << false;
        QTest::newRow("CM 1, setpoint reads unanswered") << 1 << true;
        QTest::newRow("CM 2, setpoint reads unanswered") << 2 << true;
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
        QTRY_VERIFY(l.ackNames().contains("DigitalSetpoint"));
        QVERIFY(cm == 1 || !l.hal.isPollingActiveSetpoint());
        if (cm != 1)
            return;
        // The polls after the setpoint change read the active setpoint first, until it answers.
        const auto after = [&] { return l.dev.requestNames().mid(l.dev.requestNames().indexOf("DigitalSetpoint") + 1); };
        QTRY_VERIFY(after().size() >= 2);
        QCOMPARE(after().first(), QString("ReadActiveSetpoint"));
        if (silentSetpoint)
            QTRY_VERIFY_WITH_TIMEOUT(l.dev.requestCount("ReadActiveSetpoint") >= 3, 4000);
        else
            QCOMPARE(after().at(1), QString("ReadFlow"));
        QTRY_COMPARE(l.hal.isPollingActiveSetpoint(), silentSetpoint);
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
            QTRY_VERIFY(l.ackNames().contains("TargetGasCode"));
            QVERIFY(l.ackNames().contains(cmd) && l.errors.isEmpty());
            return;
        }
        QTRY_COMPARE(l.errors.count(), 1);
        QCOMPARE(l.errors.first().first().toString(),
                 QString("cmd:%1 check fail, write value: %2, read back value: %3.").arg(cmd, written, readBack));
        QTest::qWait(300);
        QVERIFY(!l.ackNames().contains(cmd) && l.dev.requestCount("TargetGasCode") == 0); // queue dropped
    }

    // Bytes that never form a reply must not hold a request for ever; a reply
    // still gets through them.
    void noise_data()
    {
        QTest::addColumn<QByteArray>("noise");
        QTest::addColumn<int>("waitMs"); // when the timeout must have come; 0: the device answers
        const int capped = 2 * TervanHALV3::MAX_WAIT_FACTOR * TervanHALV3::RECV_TIMEOUT_MS + 3000;
        // Bytes that start no reply leave the timer alone: two plain reply times.
        QTest::newRow("GPS sentences, no device") << QByteArray("$GPGGA,1\r\n") << 2 * TervanHALV3::RECV_TIMEOUT_MS + 1800;
        // A reply start every 400 ms would restart the timer for ever; each send is capped.
        QTest::newRow("reply starts, silent device") << QByteArray::fromHex("0600") << capped;
        QTest::newRow("GPS sentences, device answers") << QByteArray("$GPGGA,1\r\n") << 0;
    }
    void noise()
    {
        QFETCH(QByteArray, noise);
        QFETCH(int, waitMs);
        Link l;
        l.hal.stopTick();
        l.hal.setRetry(1); // a failure counted now would be reported at once
        l.dev.setSilent(waitMs > 0);
        // A reply start before anything was sent runs out with nothing to report.
        l.dev.inject(QByteArray::fromHex("0600"));
        l.dev.setNoise(noise, 200);
        QTest::qWait(800); // the noise runs before the request goes out
        QVERIFY(l.timeouts.isEmpty());
        l.hal.setRetry(2);
        QVERIFY(l.send({readFrame("TargetGasCode")}));
        if (waitMs > 0)
            QCOMPARE(l.timedOut(waitMs), QStringList{"TargetGasCode"});
        else
            QTRY_VERIFY(l.ackNames().contains("TargetGasCode"));
        QCOMPARE(l.dev.requestCount("TargetGasCode"), waitMs > 0 ? 2 : 1);
    }
};

QTEST_GUILESS_MAIN(TestTransportRx)
#include "tst_transport_rx.moc"
