// The simulated device's knobs that the transport tests do not already
// depend on (they do on a late reply, a split one, a corrupt one).
#include "simdevice.h"

#include <QSerialPort>
#include <QtTest>

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

const QByteArray kReadCm = hex("ff02800369010300f1");
const QByteArray kCm1 = hex("06000280046901030100f4");

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void readSequence()
    {
        SimDevice dev;
        QVERIFY(dev.handle(hex("2a028003690103001c")).isEmpty()); // another address
        QVERIFY(dev.handle(hex("200280036901030013")).isEmpty()); // a wrong checksum
        dev.setReadSequence("CM", {"3", "4"});
        QCOMPARE(dev.handle(kReadCm).toHex(), QByteArray("06000280046901030300f6"));
        QCOMPARE(dev.handle(kReadCm).toHex(), QByteArray("06000280046901030400f7"));
        QCOMPARE(dev.handle(kReadCm).toHex(), QByteArray("06000280046901030400f7")); // the last one repeats
        dev.handle(hex("20028104690103020016")); // a write of CM ends the sequence
        QCOMPARE(dev.value("CM"), QString("2"));
        QCOMPARE(dev.handle(kReadCm).toHex(), QByteArray("06000280046901030200f5"));
        dev.setReadSequence("CM", {"5", "6"});
        dev.setValue("CM", "1"); // so does setValue
        QCOMPARE(dev.handle(kReadCm), kCm1);
    }

    void lineKnobs()
    {
        SimDevice dev;
        dev.setBaudRate(19200);
        QSerialPort port(dev.slavePath());
        QVERIFY(port.open(QIODevice::ReadWrite));
        QVERIFY(port.setBaudRate(38400));
        port.write(kReadCm);
        QTest::qWait(300);
        QCOMPARE(port.bytesAvailable(), 0); // at another line speed the device hears noise only
        QVERIFY(port.setBaudRate(19200));
        port.write(kReadCm);
        QTRY_COMPARE(port.bytesAvailable(), qint64(kCm1.size()));
        QCOMPARE(port.readAll(), kCm1);

        dev.setNoise("ab", 50);
        QTRY_VERIFY(port.bytesAvailable() >= 6);
        QVERIFY(port.readAll().startsWith("ababab"));
        dev.setNoise(QByteArray(), 0);
        QTest::qWait(100);
        port.readAll();
        QTest::qWait(300);
        QCOMPARE(port.bytesAvailable(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
