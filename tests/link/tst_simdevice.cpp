#include "simdevice.h"

#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

// A client end of the line without QSerialPort: raw mode at the given speed.
int openClient(const QString& path, speed_t speed)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return fd;
    termios t;
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Reads what arrives on the client end within `ms`, letting the device run.
QByteArray readFor(int fd, int ms, int expect = -1)
{
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms && (expect < 0 || got.size() < expect)) {
        QTest::qWait(5);
        char buf[512];
        ssize_t r;
        while ((r = ::read(fd, buf, sizeof buf)) > 0)
            got.append(buf, int(r));
    }
    return got;
}

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void handle_data();
    void handle();
    void writeStoresAndEchoes();
    void addressFollowsMacAddress();
    void silence();
    void seededValues();
    void lineRoundTrip_data();
    void lineRoundTrip();
    void baudRateGate();
};

void TestSimDevice::handle_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("read ReadFlow 37.5") << hex("200280036801b900c7") << hex("0600028005 6801b9 007000 19");
    QTest::newRow("write DigitalSetpoint 50") << hex("2002810569 01a4 008000 36") << hex("0600028105 6901a4 008000 16");
    QTest::newRow("broadcast read MACAddress") << hex("ff028003030101 0089") << hex("06000280040301012000ab");
    QTest::newRow("text MFCSerialNumber") << hex("2002800364010700 11") << hex("060002800a640107534e3132333435 00 98");
    QTest::newRow("other address") << hex("2a028003690103001c") << QByteArray();
    QTest::newRow("broadcast CM") << hex("ff02800369010300f1") << hex("060002800469010301 00f4");
    QTest::newRow("own address CM") << hex("2002800369010300 12") << hex("060002800469010301 00f4");
    QTest::newRow("bad checksum") << hex("20028003690103 0013") << QByteArray();
    QTest::newRow("unknown code") << hex("20028003 6901ff 000e") << QByteArray();
    QTest::newRow("reset is silent") << hex("2002810403010301 00af") << QByteArray();
    QTest::newRow("truncated") << hex("2002800369010300") << QByteArray();
    QTest::newRow("LEN too short") << hex("200280026901 00 ") << QByteArray();
    QTest::newRow("bad op") << hex("2002820369010300 14") << QByteArray();
}

void TestSimDevice::handle()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    SimDevice dev;
    dev.setAddress(0x20);
    QCOMPARE(dev.handle(request).toHex(' '), reply.toHex(' '));
}

void TestSimDevice::writeStoresAndEchoes()
{
    SimDevice dev;
    dev.setAddress(0x20);
    // CM := 2 is stored and answered with the stored value.
    QCOMPARE(dev.handle(hex("20028104690103020016")).toHex(' '), hex("06000281046901030200f6").toHex(' '));
    QCOMPARE(dev.value("CM"), QString("2"));

    // A write echoed with another value: the store keeps what was written.
    dev.setWriteEcho("CM", "7");
    QCOMPARE(dev.handle(hex("20028104690103020016")).toHex(' '), hex("06000281046901030700fb").toHex(' '));
    QCOMPARE(dev.value("CM"), QString("2"));
    dev.setWriteEcho("CM", QString());
    QCOMPARE(dev.handle(hex("20028104690103020016")).toHex(' '), hex("06000281046901030200f6").toHex(' '));

    QVERIFY(dev.setValue("SensorGain", "1.5"));
    QCOMPARE(dev.rawValue("SensorGain").toHex(), QByteArray("0000c03f"));
    QVERIFY(!dev.setValue("NoSuchRegister", "1"));
    QVERIFY(!dev.setValue("MACAddress", "300"));
}

void TestSimDevice::addressFollowsMacAddress()
{
    SimDevice dev;
    QCOMPARE(dev.address(), quint8(32));
    QCOMPARE(dev.value("MACAddress"), QString("32"));
    // MACAddress := 42 through the broadcast address.
    const QByteArray write = hex("ff028104030101 2a 00 00");
    QByteArray w = write;
    quint8 sum = 0;
    for (int i = 0; i < w.size() - 1; ++i)
        sum = quint8(sum + quint8(w.at(i)));
    w[w.size() - 1] = char(sum);
    QVERIFY(!dev.handle(w).isEmpty());
    QCOMPARE(dev.address(), quint8(42));
    QVERIFY(!dev.handle(hex("2a028003690103001c")).isEmpty());
    QVERIFY(dev.handle(hex("2002800369010300 12")).isEmpty());
}

void TestSimDevice::silence()
{
    SimDevice dev;
    const QByteArray cm = hex("ff02800369010300f1");
    const QByteArray flow = hex("ff028003 6801b9 00a6");
    dev.setSilentFor({"CM"});
    QVERIFY(dev.handle(cm).isEmpty());
    QVERIFY(!dev.handle(flow).isEmpty());
    dev.setSilentFor({});
    dev.setSilent(true);
    QVERIFY(dev.handle(cm).isEmpty());
    QVERIFY(dev.handle(flow).isEmpty());
    dev.setSilent(false);
    QVERIFY(!dev.handle(cm).isEmpty());
}

void TestSimDevice::seededValues()
{
    SimDevice dev;
    QCOMPARE(dev.value("ReadFlow"), QString("37.5"));
    QCOMPARE(dev.value("ReadActiveSetpoint"), QString("50"));
    QCOMPARE(dev.value("TargetGasFullScaleRange"), QString("300"));
    QCOMPARE(dev.value("MFCSerialNumber"), QString("SN12345"));
    QCOMPARE(dev.value("ValveCommand"), QString("0"));
    QCOMPARE(dev.value("CM"), QString("1"));
    QCOMPARE(dev.rawValue("CalTabValueX32").toHex(), QByteArray("33330100")); // 1.2 as 16.16
    // Every register of the table has a value of its type's size.
    QCOMPARE(dev.rawValue("ReadTotalTimeOnTimer").size(), 4);
    QCOMPARE(dev.rawValue("Delay").size(), 2);
    QCOMPARE(dev.rawValue("ZeroSensorOut").size(), 1);
}

void TestSimDevice::lineRoundTrip_data()
{
    QTest::addColumn<int>("chunks");
    QTest::addColumn<QByteArray>("stray");
    QTest::addColumn<bool>("corrupt");
    QTest::addColumn<int>("delayMs");

    QTest::newRow("plain") << 1 << QByteArray() << false << 0;
    QTest::newRow("three chunks") << 3 << QByteArray() << false << 0;
    QTest::newRow("stray prefix") << 1 << hex("15") << false << 0;
    QTest::newRow("corrupt checksum") << 1 << QByteArray() << true << 0;
    QTest::newRow("delayed") << 1 << QByteArray() << false << 300;
}

void TestSimDevice::lineRoundTrip()
{
    QFETCH(int, chunks);
    QFETCH(QByteArray, stray);
    QFETCH(bool, corrupt);
    QFETCH(int, delayMs);

    SimDevice dev;
    QVERIFY(dev.isOpen());
    dev.setChunks(chunks, 30);
    dev.setStrayPrefix(stray);
    dev.setCorruptChecksum(corrupt);
    dev.setReplyDelay(delayMs);
    const int fd = openClient(dev.slavePath(), B9600);
    QVERIFY(fd >= 0);

    QByteArray expected = stray + hex("060002800469010301 00f4");
    if (corrupt)
        expected[expected.size() - 1] = char(0xf5);
    QElapsedTimer t;
    t.start();
    QCOMPARE(::write(fd, hex("ff02800369010300f1").constData(), 9), ssize_t(9));
    const QByteArray got = readFor(fd, 3000, expected.size());
    QCOMPARE(got.toHex(' '), expected.toHex(' '));
    QVERIFY(t.elapsed() >= delayMs);
    QCOMPARE(dev.requestCount(), 1);
    const SimDevice::Request r = dev.requests().first();
    QCOMPARE(r.cmd, QString("CM"));
    QCOMPARE(r.address, quint8(0xff));
    QVERIFY(!r.write);
    QCOMPARE(r.raw.toHex(), QByteArray("ff02800369010300f1"));
    ::close(fd);
}

void TestSimDevice::baudRateGate()
{
    SimDevice dev;
    dev.setBaudRate(19200);
    const QByteArray cm = hex("ff02800369010300f1");

    int fd = openClient(dev.slavePath(), B38400);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, cm.constData(), cm.size()), ssize_t(cm.size()));
    QVERIFY(readFor(fd, 300).isEmpty());
    ::close(fd);

    fd = openClient(dev.slavePath(), B19200);
    QCOMPARE(::write(fd, cm.constData(), cm.size()), ssize_t(cm.size()));
    QCOMPARE(readFor(fd, 3000, 11).toHex(), QByteArray("060002800469010301" "00f4"));
    ::close(fd);

    // After vanishing the line is gone for good.
    dev.vanish();
    QVERIFY(!dev.isOpen());
}

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
