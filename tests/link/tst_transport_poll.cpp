// Background polling and the fixed request sequences of the transport.
#include "linktestutil.h"
#include "simdevice.h"
#include "tervanhalv3.h"

#include <QtTest>

namespace {

QStringList pageRequests(const SimDevice& dev)
{
    QStringList names = dev.requestNames();
    names.removeAll("ReadFlow");
    names.removeAll("ReadActiveSetpoint");
    return names;
}

qint64 atOf(const SimDevice& dev, const QString& cmd)
{
    for (const SimDevice::Request& r : dev.requests()) {
        if (r.cmd == cmd)
            return r.atMs;
    }
    return -1;
}

bool hasCmAck(const QSignalSpy& acks)
{
    for (const QList<QVariant>& a : acks) {
        if (a.first().value<TervanCore::mfc_reg_t>().cmd == "CM")
            return true;
    }
    return false;
}

} // namespace

class TestTransportPoll : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void idlePolling();
    void pageRequestsGoFirst();
    void writeCalTableTexts_data();
    void writeCalTableTexts();
    void recoverCalTableOnTheWire();
    void readCalTable();
    void readAll();
    void programResetSequence();
};

void TestTransportPoll::initTestCase()
{
    qRegisterMetaType<TervanCore::mfc_reg_t>();
}

void TestTransportPoll::idlePolling()
{
    SimDevice dev;
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    const qint64 tick0 = TervanHALV3::tickCount();
    // Wait for a few setpoint reads (one per 50 ticks at most).
    QTRY_VERIFY_WITH_TIMEOUT(dev.requestCount("ReadActiveSetpoint") >= 2, 8000);
    QVERIFY(TervanHALV3::tickCount() - tick0 >= 50);

    const QStringList names = dev.requestNames();
    QCOMPARE(names.count("ReadFlow") + names.count("ReadActiveSetpoint"), names.size());
    // A setpoint read always comes as the first of a pair with the flow.
    for (int i = 0; i + 1 < names.size(); ++i) {
        if (names.at(i) == "ReadActiveSetpoint")
            QCOMPARE(names.at(i + 1), QString("ReadFlow"));
    }
    // The flow on (nearly) every idle tick, the setpoint on at most one in 50.
    const int flows = names.count("ReadFlow");
    const int setpoints = names.count("ReadActiveSetpoint");
    QVERIFY2(flows >= 20 * (setpoints - 1), qPrintable(QString("%1 flow, %2 setpoint").arg(flows).arg(setpoints)));
    QVERIFY(!dev.requests().isEmpty());
    for (const SimDevice::Request& r : dev.requests())
        QCOMPARE(r.address, quint8(0xff));
}

void TestTransportPoll::pageRequestsGoFirst()
{
    SimDevice dev;
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QTRY_VERIFY(dev.requestCount("ReadFlow") >= 3);

    // Queued while a poll may be in flight: page frames leave back to back,
    // the background frame after them.
    QString err;
    QVERIFY(hal.request({readFrame("CM"), readFrame("ReadAlarms", true), readFrame("TargetGasCode"),
                         readFrame("DeviceType")},
                        err));
    QTRY_COMPARE(dev.requestCount("ReadAlarms"), 1);
    const QStringList names = dev.requestNames();
    const int i = names.indexOf("CM");
    QVERIFY(i >= 0);
    QCOMPARE(names.mid(i, 4), (QStringList{"CM", "TargetGasCode", "DeviceType", "ReadAlarms"}));
}

void TestTransportPoll::writeCalTableTexts_data()
{
    QTest::addColumn<double>("x1");
    QTest::addColumn<bool>("queued");
    QTest::addColumn<QString>("message");

    // The device answers X1 with another value, so the read-back message shows the text sent.
    QTest::newRow("0.0375") << 0.0375 << true
                            << "cmd:CalTabValueX1 check fail, write value: 0.0375, read back value: 0.50000000.";
    QTest::newRow("1.2") << 1.2 << true
                         << "cmd:CalTabValueX1 check fail, write value: 1.2, read back value: 0.50000000.";
    QTest::newRow("1234567 refused") << 1234567.0 << false
                                     << "cmd: CalTabValueX1 write with input: 1.23457e+06 encode fail!";
}

void TestTransportPoll::writeCalTableTexts()
{
    QFETCH(double, x1);
    QFETCH(bool, queued);
    QFETCH(QString, message);

    SimDevice dev;
    dev.setWriteEcho("CalTabValueX1", "0.5");
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy errors(&hal, &TervanHALV3::error);

    double x[CAL_REGS_NUMBER];
    double y[CAL_REGS_NUMBER];
    for (int i = 0; i < CAL_REGS_NUMBER; ++i)
        x[i] = y[i] = (i + 1) * 0.0375;
    x[0] = x1;

    QString err = "untouched";
    QVERIFY(!hal.writeCalTable(nullptr, y, err));
    QVERIFY(!hal.writeCalTable(x, nullptr, err));
    QCOMPARE(err, QString("untouched"));
    QVERIFY(hal.isIdle());
    QVERIFY(errors.isEmpty());

    QCOMPARE(hal.writeCalTable(x, y, err), queued);
    QTRY_COMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(), message);
    if (!queued)
        QCOMPARE(err, message);
    QTest::qWait(200);
    QVERIFY(dev.requestCount("CalTabValueY1") == 0); // nothing after the failure
}

void TestTransportPoll::recoverCalTableOnTheWire()
{
    SimDevice dev;
    for (int i = 1; i <= CAL_REGS_NUMBER; ++i) {
        dev.setValue(QString("CalTabValueX%1").arg(i), "0");
        dev.setValue(QString("CalTabValueY%1").arg(i), "0");
    }
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QSignalSpy errors(&hal, &TervanHALV3::error);
    QSignalSpy timeouts(&hal, &TervanHALV3::timeout);
    QString err;
    QVERIFY(hal.recoverCalTable(err));

    QStringList expected;
    for (int i = 1; i <= CAL_REGS_NUMBER; ++i)
        expected << QString("CalTabValueX%1").arg(i) << QString("CalTabValueY%1").arg(i);
    expected << "EEPROMProgram" << "Reset" << "CM";
    QTRY_VERIFY_WITH_TIMEOUT(hasCmAck(acks), 20000);
    QCOMPARE(pageRequests(dev), expected);
    QVERIFY(errors.isEmpty());
    QVERIFY(timeouts.isEmpty());

    // Linear table: 0.0375 .. 1.2 as 16.16 fixed point.
    QCOMPARE(dev.rawValue("CalTabValueX1").toHex(), QByteArray("99090000"));
    QCOMPARE(dev.rawValue("CalTabValueY1").toHex(), QByteArray("99090000"));
    QCOMPARE(dev.rawValue("CalTabValueX32").toHex(), QByteArray("33330100"));
    QCOMPARE(dev.rawValue("CalTabValueY32").toHex(), QByteArray("33330100"));
    for (const SimDevice::Request& r : dev.requests()) {
        if (r.cmd == "EEPROMProgram" || r.cmd == "Reset" || r.cmd == "CM") {
            QVERIFY(r.write);
            QCOMPARE(r.valueBytes.toHex(), QByteArray("01"));
        }
    }
    // 1000 ms before programming, 1000 ms before the reset, its 600 ms reply time and 2000 ms before CM.
    const qint64 y32 = atOf(dev, "CalTabValueY32");
    const qint64 prog = atOf(dev, "EEPROMProgram");
    const qint64 reset = atOf(dev, "Reset");
    const qint64 cm = atOf(dev, "CM");
    QVERIFY2(prog - y32 >= 990, qPrintable(QString::number(prog - y32)));
    QVERIFY2(reset - prog >= 990, qPrintable(QString::number(reset - prog)));
    QVERIFY2(cm - reset >= 2590, qPrintable(QString::number(cm - reset)));
}

void TestTransportPoll::readCalTable()
{
    SimDevice dev;
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QString err;
    QVERIFY(hal.readCalTable(err));
    QStringList expected;
    for (int i = 1; i <= CAL_REGS_NUMBER; ++i)
        expected << QString("CalTabValueX%1").arg(i) << QString("CalTabValueY%1").arg(i);
    QTRY_COMPARE_WITH_TIMEOUT(pageRequests(dev).size(), expected.size(), 10000);
    QCOMPARE(pageRequests(dev), expected);
    for (const SimDevice::Request& r : dev.requests())
        QVERIFY(!r.write);
    QTRY_VERIFY(std::any_of(acks.begin(), acks.end(), [](const QList<QVariant>& a) {
        const TervanCore::mfc_reg_t r = a.first().value<TervanCore::mfc_reg_t>();
        return r.cmd == "CalTabValueY32" && r.output == "1.19999695";
    }));
}

void TestTransportPoll::readAll()
{
    SimDevice dev;
    TervanHALV3 hal;
    QVERIFY(hal.open(dev.slavePath(), 9600));
    QSignalSpy acks(&hal, &TervanHALV3::ack);
    QSignalSpy errors(&hal, &TervanHALV3::error);
    QString err;
    QVERIFY(hal.request({readFrame("DeviceType"), readFrame("PCBVersion")}, err)); // dropped by readAll
    QVERIFY(hal.readAll(err));

    QStringList expected;
    const QStringList skip = hal.core()->noReadAllList();
    for (const QString& name : hal.core()->cmdList()) {
        if (name != "Undefined" && !skip.contains(name))
            expected << name;
    }
    QCOMPARE(expected.size(), 195);
    // Every read answered, the abandoned DeviceType too.
    QTRY_VERIFY_WITH_TIMEOUT(acks.count() >= expected.size() + 1, 20000);

    QStringList sent = dev.requestNames();
    // DeviceType went out at once and was then abandoned; the rest is the table walk.
    QCOMPARE(sent.takeFirst(), QString("DeviceType"));
    QCOMPARE(sent.mid(0, expected.size()), expected);
    QVERIFY(!sent.contains("Undefined"));
    for (const QString& name : skip)
        QVERIFY(!sent.contains(name));
    QVERIFY(errors.isEmpty());
}

void TestTransportPoll::programResetSequence()
{
    TervanHALV3 hal;
    const QList<mfc_frame_t> seq = hal.programResetSequence();
    QStringList got;
    for (const mfc_frame_t& f : seq) {
        got << QString("%1 %2 %3").arg(f.cmd).arg(f.op).arg(f.input);
        QVERIFY(!f.check);
        QVERIFY(!f.background);
        QVERIFY(f.bytes.isEmpty());
    }
    QCOMPARE(got, (QStringList{"AppDelay 2 1000", "EEPROMProgram 1 1", "AppDelay 2 2500", "Reset 1 1",
                               "AppDelay 2 3000", "CM 1 1"}));
    QVERIFY(hal.isIdle()); // returned, not sent
}

QTEST_GUILESS_MAIN(TestTransportPoll)
#include "tst_transport_poll.moc"
