// Background polling, the tick while a reply is being handled, and the fixed
// request sequences of the transport.
#include "linktestutil.h"

#include <QEventLoop>
#include <QtTest>

#include <algorithm>

namespace {

QStringList pageRequests(const SimDevice& dev)
{
    QStringList names = dev.requestNames();
    names.erase(std::remove_if(names.begin(), names.end(), isPoll), names.end());
    return names;
}

// At each tick that finds the link idle: its count and the requests the device has seen (the next is that tick's).
struct IdleTicks : QObject
{
    Link& l;
    QList<QPair<qint64, int>> seen;
    explicit IdleTicks(Link& link) : l(link) { l.hal.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Timer && l.hal.isIdle())
            seen.append({TervanHALV3::tickCount(), l.dev.requestCount()});
        return false;
    }
};

QStringList calTableNames()
{
    QStringList names;
    for (int i = 1; i <= CAL_REGS_NUMBER; ++i)
        names << QString("CalTabValueX%1").arg(i) << QString("CalTabValueY%1").arg(i);
    return names;
}

} // namespace

class TestTransportPoll : public QObject
{
    Q_OBJECT

private slots:
    void idlePolling()
    {
        Link l;
        IdleTicks idle(l);
        // A few setpoint reads: one per 50 ticks at most.
        QTRY_VERIFY_WITH_TIMEOUT(l.dev.requestCount("ReadActiveSetpoint") >= 2, 8000);
        QCOMPARE(pageRequests(l.dev), QStringList());
        // A setpoint read always comes as the first of a pair with the flow.
        const QStringList names = l.dev.requestNames();
        for (int i = 0; i + 1 < names.size(); ++i)
            QVERIFY(names.at(i) != "ReadActiveSetpoint" || names.at(i + 1) == "ReadFlow");
        // The setpoint on the idle ticks whose count is a multiple of 50, the flow on the others.
        for (const auto& [tick, next] : idle.seen)
            QVERIFY2(next >= names.size() || (names.at(next) == "ReadActiveSetpoint") == (tick % 50 == 0),
                     qPrintable(QString("tick %1: %2").arg(tick).arg(names.value(next))));
        for (const SimDevice::Request& r : l.dev.requests())
            QCOMPARE(r.address, quint8(0xff));
    }

    // A receiver that runs a nested event loop inside its ack (as a modal box
    // would): the link stays busy until it returns, nothing times out or is sent
    // twice, and a reply that came meanwhile is handled after it, in order.
    void nestedLoopInAck()
    {
        Link l;
        const QByteArray strayReply = QByteArray::fromHex("06000280056601014e32006f"); // TargetGasName "N2"
        QStringList order;
        int depth = 0;
        connect(&l.hal, &TervanHALV3::ack, this, [&](TervanCore::mfc_reg_t r) {
            if (!isPoll(r.cmd))
                order.append(depth > 0 ? "nested " + r.cmd : r.cmd);
            if (r.cmd == "CM") {
                ++depth;
                QEventLoop loop;
                QTimer::singleShot(500, &l.dev, [&] { l.dev.inject(strayReply); });
                QTimer::singleShot(3000, &loop, &QEventLoop::quit);
                loop.exec();
                --depth;
            }
        });
        QVERIFY(l.send({readFrame("CM"), readFrame("TargetGasCode"), readFrame("DeviceType"), readFrame("PCBVersion")}));
        const QStringList want{"CM", "TargetGasName", "TargetGasCode", "DeviceType", "PCBVersion"};
        QTRY_COMPARE_WITH_TIMEOUT(order, want, 10000);
        QCOMPARE(l.timeouts.count(), 0);
        QCOMPARE(pageRequests(l.dev), (QStringList{"CM", "TargetGasCode", "DeviceType", "PCBVersion"})); // each sent once
    }

    // A refused table reports through the result and the error signal, a missing one fails
    // quietly. The default table goes out with programming and the restart, in order and held.
    void calTable()
    {
        Link l;
        double x[CAL_REGS_NUMBER] = {1234567.0};
        double y[CAL_REGS_NUMBER] = {};
        QVERIFY(!l.hal.writeCalTable(nullptr, y, l.err) && !l.hal.writeCalTable(x, nullptr, l.err));
        QVERIFY(l.errors.isEmpty() && l.err.isEmpty());
        QVERIFY(!l.hal.writeCalTable(x, y, l.err));
        QCOMPARE(l.err, QString("cmd: CalTabValueX1 write with input: 1.23457e+06 encode fail!"));
        QCOMPARE(l.errors.count() == 1 ? l.errors.first().first().toString() : QString(), l.err);

        for (const QString& name : calTableNames())
            l.dev.setValue(name, "0");
        QVERIFY(l.hal.recoverCalTable(l.err));
        QTRY_VERIFY_WITH_TIMEOUT(l.ackNames().contains("CM"), 20000);
        QCOMPARE(pageRequests(l.dev), calTableNames() << "EEPROMProgram" << "Reset" << "CM");
        QVERIFY(l.errors.count() == 1 && l.timeouts.isEmpty());
        for (const SimDevice::Request& r : l.dev.requests())
            QVERIFY((!QStringList{"EEPROMProgram", "Reset", "CM"}.contains(r.cmd) || r.valueBytes.toHex() == "01"));
        // 1000 ms before programming, 1000 ms before the reset, its 600 ms reply time and 2000 ms before CM.
        const qint64 prog = l.firstAt("EEPROMProgram");
        const qint64 reset = l.firstAt("Reset");
        QVERIFY2(prog - l.firstAt("CalTabValueY32") >= 990, "hold before programming");
        QVERIFY2(reset - prog >= 990, "hold before the reset");
        QVERIFY2(l.firstAt("CM") - reset >= 2590, "hold after the reset");

        l.dev.clearRequests();
        l.acks.clear();
        QVERIFY(l.hal.readCalTable(l.err));
        QTRY_COMPARE_WITH_TIMEOUT(pageRequests(l.dev), calTableNames(), 10000);
        QTRY_COMPARE(l.ackOutput("CalTabValueY32"), QString("1.19999695"));
        QCOMPARE(l.ackOutput("CalTabValueX1"), QString("0.03749084"));
    }

    void readAll()
    {
        Link l;
        QVERIFY(l.send({readFrame("DeviceType"), readFrame("PCBVersion")})); // dropped by readAll
        QVERIFY(l.hal.readAll(l.err));
        // Every read answered, the abandoned DeviceType too.
        QTRY_VERIFY_WITH_TIMEOUT(l.acks.count() >= 196, 20000);
        QStringList sent = l.dev.requestNames().mid(0, 196);
        QCOMPARE(sent.takeFirst(), QString("DeviceType"));
        QCOMPARE(sent.first(), QString("CM"));
        QCOMPARE(sent.removeDuplicates(), 0); // the dropped PCBVersion is not read twice
        for (const char* never : {"Undefined", "EEPROMProgram", "Reset", "ClearAlarms", "ZeroSensorOut"})
            QVERIFY2(!sent.contains(never), never);
        QVERIFY(l.errors.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTransportPoll)
#include "tst_transport_poll.moc"
