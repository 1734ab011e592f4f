// The main window's fixed device sequences and calibration-table writes,
// against a simulated device.
#include "apptestutil.h"
#include "simdevice.h"
#include "tervanhalv3.h"

#include <QtTest>

using namespace apptest;

class TestDeviceSequences : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void fixedSequences();
    void calibrationTables();

private:
    WorkDir* m_dir = nullptr;
};

void TestDeviceSequences::initTestCase()
{
    m_dir = new WorkDir;
    m_dir->writeIni({{"lang", "en"}});
}

void TestDeviceSequences::cleanupTestCase()
{
    delete m_dir;
}

void TestDeviceSequences::fixedSequences()
{
    SimDevice dev;
    std::unique_ptr<UI_Test> w;
    QVERIFY(startWindowOn(dev, w));
    QSignalSpy restart(w->findChild<UI_DrvV3*>(), &UI_DrvV3::restart_req);

    dev.clearRequests();
    w->onClicked_writeEEPROM(false);
    QTRY_VERIFY(dev.requestCount("EEPROMProgram") == 1);
    QTRY_VERIFY_WITH_TIMEOUT(dev.requestCount() >= 2 && dev.requests().last().cmd != "EEPROMProgram", 5000);
    QList<SimDevice::Request> reqs = dev.requests();
    QCOMPARE(reqs.first().cmd, QStringLiteral("EEPROMProgram"));
    QVERIFY(reqs.first().write);
    QCOMPARE(reqs.first().valueBytes, QByteArray(1, 1));
    QVERIFY2(reqs.at(1).atMs - reqs.at(0).atMs >= 1850, qPrintable(QString::number(reqs.at(1).atMs - reqs.at(0).atMs)));
    // An EEPROMProgram reply without a pending baud-rate change restarts nothing.
    QCOMPARE(restart.count(), 0);

    dev.clearRequests();
    w->onClicked_resetMFC(false);
    QTRY_VERIFY_WITH_TIMEOUT(dev.requestCount("CM") == 1, 8000);
    reqs = dev.requests();
    QCOMPARE(reqs.first().cmd, QStringLiteral("Reset"));
    QVERIFY(reqs.first().write);
    const int icm = indexOf(reqs, "CM");
    QVERIFY(!reqs.at(icm).write);
    // The silent reset costs one reply timeout, then the 3 s delay runs.
    QVERIFY2(reqs.at(icm).atMs - reqs.first().atMs >= 2900, qPrintable(QString::number(reqs.at(icm).atMs - reqs.first().atMs)));
    QCOMPARE(dev.requestCount("Reset"), 1);
    QCOMPARE(statusStyle(*w), kWhite);
    QCOMPARE(restart.count(), 0);
}

void TestDeviceSequences::calibrationTables()
{
    SimDevice dev;
    std::unique_ptr<UI_Test> w;
    QVERIFY(startWindowOn(dev, w));

    // A table of the wrong length is refused before anything is sent.
    dev.clearRequests();
    dev.setSilentFor({"ReadFlow", "ReadActiveSetpoint"}); // keep the wire quiet
    QList<double> x, y;
    for (int i = 1; i <= 31; ++i) {
        x << i * 0.03;
        y << i * 0.031;
    }
    w->writeXYTable_req(x, y);
    QCOMPARE(statusStyle(*w), kRed);
    QVERIFY(statusText(*w).contains("32"));
    QTest::qWait(300);
    QCOMPARE(dev.requestCount("CalTabValueX1"), 0);
    QCOMPARE(dev.requestCount("CalTabValueY1"), 0);
    dev.setSilentFor({});

    // A full table goes out in X/Y pairs with the page's values.
    x << 0.99;
    y << 1.0;
    dev.clearRequests();
    w->writeXYTable_req(x, y);
    QTRY_VERIFY_WITH_TIMEOUT(dev.requestCount("CalTabValueX2") == 1, 5000);
    QVERIFY(qAbs(dev.value("CalTabValueX1").toDouble() - 0.03) < 1e-4);
    QVERIFY(qAbs(dev.value("CalTabValueY1").toDouble() - 0.031) < 1e-4);
    QList<SimDevice::Request> reqs = dev.requests();
    const int ix1 = indexOf(reqs, "CalTabValueX1");
    QVERIFY(ix1 >= 0);
    QCOMPARE(reqs.at(ix1 + 1).cmd, QStringLiteral("CalTabValueY1"));
    QCOMPARE(reqs.at(ix1 + 2).cmd, QStringLiteral("CalTabValueX2"));
    QTRY_VERIFY_WITH_TIMEOUT(dev.requestCount("CalTabValueY32") == 1, 10000);
    QVERIFY(qAbs(dev.value("CalTabValueX32").toDouble() - 0.99) < 1e-4);

    // The default table starts at 0.0375.
    w.reset();
    SimDevice dev2;
    dev2.setValue("CalTabValueX1", "0.5");
    QVERIFY(startWindowOn(dev2, w));
    dev2.clearRequests();
    w->recoverXYTable_req();
    QTRY_VERIFY_WITH_TIMEOUT(dev2.requestCount("CalTabValueY1") == 1, 5000);
    QVERIFY(qAbs(dev2.value("CalTabValueX1").toDouble() - 0.0375) < 1e-4);
}

QTEST_MAIN(TestDeviceSequences)
#include "tst_devicesequences.moc"
