// The simulated device's knobs that the transport tests do not already
// depend on (they do on a late reply, a split one, a corrupt one).
#include "simdevice.h"

#include <QSerialPort>
#include <QtTest>

namespace {

const QByteArray kReadCm = QByteArray::fromHex("ff02800369010300f1");
const QByteArray kCm1 = QByteArray::fromHex("06000280046901030100f4");

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void readSequence()
    {
        SimDevice dev;
        QVERIFY(dev.handle(QByteArray::fromHex("2a028003690103001c")).isEmpty()); // another address
        QVERIFY(dev.handle(QByteArray::fromHex("200280036901030013")).isEmpty()); // a wrong checksum
        dev.setReadSequence("CM", {"3", "4"});
        QByteArray answers;
        for (int i = 0; i < 3; ++i)
            answers += dev.handle(kReadCm).toHex() + ' ';
        QCOMPARE(answers, QByteArray("06000280046901030300f6 06000280046901030400f7 06000280046901030400f7 ")); // the last repeats
        dev.handle(QByteArray::fromHex("20028104690103020016")); // a write of CM ends the sequence
        QCOMPARE(dev.value("CM") + dev.handle(kReadCm).toHex(), QString("206000280046901030200f5"));
        dev.setReadSequence("CM", {"5", "6"});
        dev.setValue("CM", "1"); // so does setValue
        QCOMPARE(dev.handle(kReadCm), kCm1);
    }

    void lineKnobs()
    {
        SimDevice dev;
        dev.setBaudRate(19200);
        QSerialPort port(dev.slavePath());
        QVERIFY(port.open(QIODevice::ReadWrite) && port.setBaudRate(38400));
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
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
