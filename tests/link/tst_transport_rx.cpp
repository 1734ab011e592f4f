// Reply reception: the receive state machine on its own, the output text and
// read-back rules, and whole replies through a real serial port.
#include "linktestutil.h"
#include "replyparser.h"
#include "simdevice.h"
#include "tervanhalv3.h"

#include <QtTest>

#include <cstring>

namespace {

const QByteArray kCmReply = QByteArray::fromHex("06000280046901030100f4"); // CM = 1

TervanCore::mfc_reg_t reg(int kind)
{
    TervanCore::mfc_reg_t r;
    r.type = kind;
    return r;
}

QList<TervanCore::mfc_reg_t> acksOf(const QSignalSpy& spy)
{
    QList<TervanCore::mfc_reg_t> out;
    for (const QList<QVariant>& a : spy)
        out.append(a.first().value<TervanCore::mfc_reg_t>());
    return out;
}

bool hasAck(const QSignalSpy& spy, const QString& cmd)
{
    for (const TervanCore::mfc_reg_t& r : acksOf(spy)) {
        if (r.cmd == cmd)
            return true;
    }
    return false;
}

TervanCore::mfc_reg_t firstAck(const QSignalSpy& spy, const QString& cmd)
{
    for (const TervanCore::mfc_reg_t& r : acksOf(spy)) {
        if (r.cmd == cmd)
            return r;
    }
    return TervanCore::mfc_reg_t();
}

} // namespace

using Chunks = QList<QByteArray>;
using Results = QList<int>;

class TestTransportRx : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void parser_data();
    void parser();
    void outputText_data();
    void outputText();
    void valueMatches_data();
    void valueMatches();

    void replyOutput_data();
    void replyOutput();
    void splitReplyRestartsTimer();
    void stalledReplyRepeats();
    void twoRepliesInOneChunk();
    void strayByteBeforeReply();
    void corruptChecksum();
    void lateReplyStillAcked();
    void frameSentFromAckIsAwaited();
    void macAddressReplySetsAddress();
    void setpointPolling_data();
    void setpointPolling();
    void readBack_data();
    void readBack();
};

void TestTransportRx::initTestCase()
{
    qRegisterMetaType<TervanCore::mfc_reg_t>();
}

void TestTransportRx::parser_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<Results>("results");
    QTest::addColumn<QByteArray>("frame");

    const int need = ReplyParser::NeedMore;
    const int done = ReplyParser::FrameComplete;
    const QByteArray r = kCmReply;
    const QByteArray r2 = QByteArray::fromHex("06000281046901030200f6");

    QTest::newRow("whole") << Chunks{r} << Results{done} << r;
    QTest::newRow("three chunks") << Chunks{r.left(4), r.mid(4, 4), r.mid(8)} << Results{need, need, done} << r;
    QTest::newRow("stray 0x15 first") << Chunks{QByteArray::fromHex("15") + r} << Results{done} << r;
    QTest::newRow("garbage then split") << Chunks{QByteArray::fromHex("ffff0600"), r.mid(2)} << Results{need, done} << r;
    QTest::newRow("two frames, first taken") << Chunks{r + r2} << Results{done} << r;
    QTest::newRow("bad op byte rescans") << Chunks{QByteArray::fromHex("06000282") + r} << Results{done} << r;
    // The rejected 0x06 is not looked at again, so the frame behind it is lost.
    QTest::newRow("0x06 after stray 0x06 lost") << Chunks{QByteArray::fromHex("06") + r} << Results{need} << QByteArray();

    // LEN 0 counts as 256 body bytes: 5 + 256 + pad + checksum.
    QByteArray big = QByteArray::fromHex("0600028000") + QByteArray(256, '\x11') + QByteArray(1, '\0');
    QTest::newRow("LEN 0 waits for 256 body bytes")
        << Chunks{big.left(200), big.mid(200), QByteArray::fromHex("77")} << Results{need, need, done}
        << big + QByteArray::fromHex("77");
}

void TestTransportRx::parser()
{
    QFETCH(Chunks, chunks);
    QFETCH(Results, results);
    QFETCH(QByteArray, frame);

    int state = TervanHALV3::RX_ACK;
    quint8 remain = 0;
    QByteArray buf;
    Results got;
    for (const QByteArray& c : chunks)
        got.append(ReplyParser::feed(c, state, remain, buf));
    QCOMPARE(got, results);
    QCOMPARE(buf.toHex(' '), frame.toHex(' '));
    if (results.last() == ReplyParser::FrameComplete)
        QCOMPARE(state, int(TervanHALV3::RX_ACK));
}

void TestTransportRx::outputText_data()
{
    QTest::addColumn<TervanCore::mfc_reg_t>("value");
    QTest::addColumn<QString>("text");

    TervanCore::mfc_reg_t r = reg(KIND_UINT8);
    r.value.u32 = 0xFFFFFF05; // only the first byte counts
    QTest::newRow("uint8") << r << "5";
    r = reg(KIND_UINT16);
    r.value.u32 = 0x1234FFFF;
    QTest::newRow("uint16") << r << "65535";
    r = reg(KIND_UINT32);
    r.value.u32 = 4294967295u;
    QTest::newRow("uint32") << r << "4294967295";
    r = reg(KIND_INT32);
    r.value.i32 = -2;
    QTest::newRow("int32") << r << "-2";
    r = reg(KIND_FLOAT);
    r.value.f32 = 12.5f;
    QTest::newRow("float") << r << "12.50000000";
    r = reg(KIND_DOUBLE);
    r.value.f64 = 37.5;
    QTest::newRow("double") << r << "37.50000000";
    r.value.f64 = 1234567.125;
    QTest::newRow("double without grouping") << r << "1234567.12500000";
    r.value.f64 = -0.25;
    QTest::newRow("negative double") << r << "-0.25000000";
    r = reg(KIND_TEXT);
    std::strcpy(r.value.text, "ABC");
    QTest::newRow("text") << r << "ABC";
    r = reg(KIND_TEXT);
    std::strcpy(r.value.text, "\xc3\xa9t\xc3\xa9");
    QTest::newRow("utf-8 text") << r << QString::fromUtf8("\xc3\xa9t\xc3\xa9");
    r = reg(KIND_TEXT);
    std::memset(r.value.text, 'x', sizeof r.value.text);
    QTest::newRow("text without NUL stays in the area") << r << QString(64, QLatin1Char('x'));
    QTest::newRow("unknown kind") << reg(9) << QString();
}

void TestTransportRx::outputText()
{
    QFETCH(TervanCore::mfc_reg_t, value);
    QFETCH(QString, text);
    QCOMPARE(ReplyParser::outputText(value), text);
}

void TestTransportRx::valueMatches_data()
{
    QTest::addColumn<TervanCore::mfc_reg_t>("value");
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("match");

    TervanCore::mfc_reg_t r = reg(KIND_FLOAT);
    r.value.f32 = 1.505f;
    QTest::newRow("float 1.505 vs 1.5") << r << "1.5" << true;
    r.value.f32 = 1.52f;
    QTest::newRow("float 1.52 vs 1.5") << r << "1.5" << false;
    r.value.f32 = 0.005f;
    QTest::newRow("float vs unparsable counts as 0") << r << "abc" << true;
    r = reg(KIND_DOUBLE);
    r.value.f64 = 0.03749084;
    QTest::newRow("double 0.0375") << r << "0.0375" << true;
    r.value.f64 = 2.0;
    QTest::newRow("double 2 vs 1.99") << r << "1.99" << false;
    r = reg(KIND_UINT8);
    r.value.u8 = 5;
    r.output = "5";
    QTest::newRow("uint8 5 vs 05") << r << "05" << false;
    QTest::newRow("uint8 5 vs 5") << r << "5" << true;
    r = reg(KIND_TEXT);
    r.output = "ABC";
    QTest::newRow("text ABC") << r << "ABC" << true;
    QTest::newRow("text ABC vs ABC ") << r << "ABC " << false;
    r = reg(8);
    QTest::newRow("unknown kind") << r << "" << false;
}

void TestTransportRx::valueMatches()
{
    QFETCH(TervanCore::mfc_reg_t, value);
    QFETCH(QString, written);
    QFETCH(bool, match);
    QCOMPARE(ReplyParser::valueMatches(value, written), match);
}

void TestTransportRx::replyOutput_data()
{
    QTest::addColumn<QString>("cmd");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("output");

    QTest::newRow("ReadFlow") << "ReadFlow" << int(KIND_DOUBLE) << "37.50000000";
    QTest::newRow("CM") << "CM" << int(KIND_UINT8) << "1";
    QTest::newRow("TargetGasFullScaleRange") << "TargetGasFullScaleRange" << int(KIND_UINT16) << "300";
    QTest::newRow("ReadTotalTimeOnTimer") << "ReadTotalTimeOnTimer" << int(KIND_UINT32) << "3600";
    QTest::newRow("ReadVoltageADC") << "ReadVoltageADC" << int(KIND_INT32) << "-2";
    QTest::newRow("SensorGain") << "SensorGain" << int(KIND_FLOAT) << "1.00000000";
    QTest::newRow("MFCSerialNumber") << "MFCSerialNumber" << int(KIND_TEXT) << "SN12345";
    QTest::newRow("CalTabValueX32") << "CalTabValueX32" << int(KIND_DOUBLE) << "1.19999695";
    // The longest reply a text can come in: 124 bytes, kept to the 63 the value area holds.
    QTest::newRow("ProductName of 124 bytes") << "ProductName" << int(KIND_TEXT) << QString(63, QLatin1Char('T'));
}

void TestTransportRx::replyOutput()
{
    QFETCH(QString, cmd);
    QFETCH(int, kind);
    QFETCH(QString, output);

    SimDevice dev;
    dev.setRawValue("ProductName", QByteArray(124, 'T'));
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QString err;
    QVERIFY(hal.readOne(cmd, err));
    QTRY_VERIFY(hasAck(acks, cmd));
    const TervanCore::mfc_reg_t r = firstAck(acks, cmd);
    QCOMPARE(r.type, kind);
    QCOMPARE(r.output, output);
}

void TestTransportRx::splitReplyRestartsTimer()
{
    SimDevice dev;
    dev.setChunks(3, 350); // 700 ms from the first to the last chunk, more than one reply time
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    QString err;
    QVERIFY(hal.readOne("TargetGasFullScaleRange", err));
    QTRY_VERIFY_WITH_TIMEOUT(hasAck(acks, "TargetGasFullScaleRange"), 3000);
    QCOMPARE(firstAck(acks, "TargetGasFullScaleRange").output, QString("300"));
    QCOMPARE(dev.requestCount("TargetGasFullScaleRange"), 1); // never repeated
    QCOMPARE(timeouts.count(), 0);
}

void TestTransportRx::stalledReplyRepeats()
{
    SimDevice dev;
    dev.setChunks(2, 5000); // the second half of each reply comes far too late
    TervanHALV3 hal;
    hal.setRetry(2);
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QString err;
    QVERIFY(hal.readOne("TargetGasFullScaleRange", err));
    QTRY_COMPARE_WITH_TIMEOUT(dev.requestCount("TargetGasFullScaleRange"), 2, 3000);
    const QList<SimDevice::Request> reqs = dev.requests();
    const qint64 gap = reqs.at(1).atMs - reqs.at(0).atMs;
    // The half reply restarted the reply timer, which then ran out: one repeat.
    QVERIFY2(gap >= 550 && gap < 2000, qPrintable(QString::number(gap)));
}

void TestTransportRx::twoRepliesInOneChunk()
{
    SimDevice dev;
    dev.setStrayPrefix(kCmReply); // every reply comes right behind a whole CM reply
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QString err;
    QVERIFY(hal.readOne("TargetGasFullScaleRange", err));
    QTRY_VERIFY(!acks.isEmpty());
    QCOMPARE(acksOf(acks).first().cmd, QString("CM"));
    QTest::qWait(400);
    QVERIFY(!hasAck(acks, "TargetGasFullScaleRange"));
}

void TestTransportRx::strayByteBeforeReply()
{
    SimDevice dev;
    dev.setStrayPrefix(QByteArray::fromHex("15"));
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QString err;
    QVERIFY(hal.readOne("TargetGasFullScaleRange", err));
    QTRY_VERIFY(!acks.isEmpty());
    QCOMPARE(acksOf(acks).first().cmd, QString("TargetGasFullScaleRange"));
    QCOMPARE(dev.requestCount("TargetGasFullScaleRange"), 1);
}

void TestTransportRx::corruptChecksum()
{
    SimDevice dev;
    dev.setCorruptChecksum(true);
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QSignalSpy errors(&hal, &TervanHALV3::error);
    QString err;
    QVERIFY(hal.request({readFrame("CM"), readFrame("TargetGasCode")}, err));
    QTRY_VERIFY(errors.count() >= 2);
    QCOMPARE(errors.at(0).first().toString(), QString("Can't decode input: 06000280046901030100f5"));
    QCOMPARE(errors.at(1).first().toString(),
             QString("Can't decode frame: 06000280046901030100f5.\r\n\tcmd = CM, op: 0, input: "));
    QVERIFY(acks.isEmpty());
    QTest::qWait(300);
    QCOMPARE(dev.requestCount("TargetGasCode"), 0); // queue dropped with the failure
    QCOMPARE(dev.requestCount("CM"), 1);            // a rejected reply is not retried
}

void TestTransportRx::lateReplyStillAcked()
{
    SimDevice dev;
    dev.setReplyDelay(900);
    TervanHALV3 hal;
    hal.setRetry(1);
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    QString err;
    QVERIFY(hal.readOne("TargetGasCode", err));
    QVERIFY(timeouts.wait(2000));
    QCOMPARE(timeouts.first().first().toStringList(), QStringList{"TargetGasCode"});
    QVERIFY(!hasAck(acks, "TargetGasCode"));
    QTRY_VERIFY_WITH_TIMEOUT(hasAck(acks, "TargetGasCode"), 2000);
    QCOMPARE(firstAck(acks, "TargetGasCode").output, QString("13"));
}

void TestTransportRx::frameSentFromAckIsAwaited()
{
    SimDevice dev;
    dev.setSilentFor({"TargetGasCode"});
    TervanHALV3 hal;
    hal.setRetry(1);
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    bool refused = false;
    bool queued = false;
    // A receiver whose request is refused (which frees the link) and who then
    // asks again: that frame goes out at once, from inside the ack.
    connect(&hal, &TervanHALV3::ack, this, [&](TervanCore::mfc_reg_t r) {
        if (r.cmd != "CM" || refused)
            return;
        QString e;
        refused = !hal.request({readFrame("Bogus")}, e);
        queued = hal.request({readFrame("TargetGasCode"), readFrame("DeviceType")}, e);
    });
    QString err;
    QVERIFY(hal.readOne("CM", err));
    QTRY_VERIFY(refused);
    QVERIFY(queued);
    QTRY_COMPARE(dev.requestCount("TargetGasCode"), 1);

    // The link waits for that frame's reply: DeviceType must not overtake it.
    QVERIFY(timeouts.wait(3000));
    QCOMPARE(timeouts.first().first().toStringList(), (QStringList{"TargetGasCode", "DeviceType"}));
    QCOMPARE(dev.requestCount("DeviceType"), 0);
}

void TestTransportRx::macAddressReplySetsAddress()
{
    SimDevice dev;
    dev.setAddress(42);
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QString err;
    QVERIFY(hal.request({readFrame("MACAddress"), readFrame("DeviceType")}, err));
    QTRY_VERIFY(hasAck(acks, "MACAddress"));
    QCOMPARE(firstAck(acks, "MACAddress").value.u8, quint8(42));
    QVERIFY(hal.readOne("TargetGasCode", err));
    QTRY_VERIFY(hasAck(acks, "TargetGasCode"));

    const QList<SimDevice::Request> reqs = dev.requests();
    const QStringList names = dev.requestNames();
    QCOMPARE(reqs.at(names.indexOf("MACAddress")).address, quint8(0xff));
    QCOMPARE(reqs.at(names.indexOf("DeviceType")).address, quint8(0xff)); // queued before: keeps its address
    const QByteArray raw = reqs.at(names.indexOf("TargetGasCode")).raw;
    QCOMPARE(raw.toHex(), QByteArray("2a028003660102" "0018"));
}

void TestTransportRx::setpointPolling_data()
{
    QTest::addColumn<int>("cm");
    QTest::addColumn<bool>("silentSetpoint");
    QTest::addColumn<bool>("polling");

    QTest::newRow("CM 1") << 1 << false << true;
    QTest::newRow("CM 1, setpoint reads unanswered") << 1 << true << true;
    QTest::newRow("CM 2") << 2 << false << false;
}

void TestTransportRx::setpointPolling()
{
    QFETCH(int, cm);
    QFETCH(bool, silentSetpoint);
    QFETCH(bool, polling);

    SimDevice dev;
    dev.setValue("CM", QString::number(cm));
    if (silentSetpoint)
        dev.setSilentFor({"ReadActiveSetpoint"});
    TervanHALV3 hal;
    hal.setRetry(1);
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QCOMPARE(hal.lastControlMode(), 2);
    QSignalSpy acks(&hal, &TervanHALV3::ack);

    bool pollingAtAck = false;
    connect(&hal, &TervanHALV3::ack, this, [&](TervanCore::mfc_reg_t r) {
        if (r.cmd == "DigitalSetpoint")
            pollingAtAck = hal.isPollingActiveSetpoint();
    });

    QString err;
    QVERIFY(hal.readOne("CM", err));
    QTRY_VERIFY(hasAck(acks, "CM"));
    QCOMPARE(hal.lastControlMode(), cm);
    QVERIFY(!hal.isPollingActiveSetpoint());

    QVERIFY(hal.writeOne("DigitalSetpoint", "40", err));
    QTRY_VERIFY(hasAck(acks, "DigitalSetpoint"));
    QCOMPARE(pollingAtAck, polling);
    if (!polling)
        return;

    // The polls right after the setpoint change read the active setpoint first.
    QTRY_VERIFY(dev.requestNames().mid(dev.requestNames().indexOf("DigitalSetpoint")).count() >= 3);
    const QStringList after = dev.requestNames().mid(dev.requestNames().indexOf("DigitalSetpoint") + 1);
    QCOMPARE(after.first(), QString("ReadActiveSetpoint"));
    if (!silentSetpoint) {
        QCOMPARE(after.at(1), QString("ReadFlow"));
        QTRY_VERIFY(hasAck(acks, "ReadActiveSetpoint"));
        QVERIFY(!hal.isPollingActiveSetpoint());
    } else {
        // Without a reply the switch stays on and every poll starts with the setpoint again.
        QTRY_VERIFY_WITH_TIMEOUT(dev.requestCount("ReadActiveSetpoint") >= 3, 4000);
        QVERIFY(hal.isPollingActiveSetpoint());
    }
}

void TestTransportRx::readBack_data()
{
    QTest::addColumn<QString>("cmd");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("echo");
    QTest::addColumn<QString>("error");

    QTest::newRow("float 1.505 passes") << "SensorGain" << "1.5" << "1.505" << QString();
    QTest::newRow("float 1.52 fails") << "SensorGain" << "1.5" << "1.52"
                                      << "cmd:SensorGain check fail, write value: 1.5, read back value: 1.51999998.";
    QTest::newRow("fixed 1.505 passes") << "TargetGas2CalibrationGas" << "1.5" << "1.505" << QString();
    QTest::newRow("text ABC passes") << "ProductName" << "ABC" << "ABC" << QString();
    QTest::newRow("text ABD fails") << "ProductName" << "ABC" << "ABD"
                                    << "cmd:ProductName check fail, write value: ABC, read back value: ABD.";
    QTest::newRow("text ABCD fails") << "ProductName" << "ABC" << "ABCD"
                                     << "cmd:ProductName check fail, write value: ABC, read back value: ABCD.";
    QTest::newRow("05 read back as 5") << "CM" << "05" << QString()
                                       << "cmd:CM check fail, write value: 05, read back value: 5.";
}

void TestTransportRx::readBack()
{
    QFETCH(QString, cmd);
    QFETCH(QString, written);
    QFETCH(QString, echo);
    QFETCH(QString, error);

    SimDevice dev;
    if (!echo.isNull())
        dev.setWriteEcho(cmd, echo);
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QSignalSpy errors(&hal, &TervanHALV3::error);
    QString err;
    QVERIFY(hal.request({makeFrame(cmd, MFC_WRITE, written, true), readFrame("TargetGasCode")}, err));
    if (error.isEmpty()) {
        QTRY_VERIFY(hasAck(acks, cmd));
        QTRY_VERIFY(hasAck(acks, "TargetGasCode"));
        QVERIFY(errors.isEmpty());
    } else {
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.first().first().toString(), error);
        QTest::qWait(300);
        QVERIFY(!hasAck(acks, cmd));
        QCOMPARE(dev.requestCount("TargetGasCode"), 0); // queue dropped
    }
}

QTEST_GUILESS_MAIN(TestTransportRx)
#include "tst_transport_rx.moc"
