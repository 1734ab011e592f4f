// The communication page's device changes: address and baud rate.
#include "apptestutil.h"
#include "simdevice.h"
#include "tervanhalv3.h"

#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace apptest;

class TestCommPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void addressChange();
    // Restarts the application: keep last.
    void baudRateChange();

private:
    bool waitForStartup(SimDevice& dev, UI_Test& w);

    WorkDir* m_dir = nullptr;
};

void TestCommPage::initTestCase()
{
    m_dir = new WorkDir;
    m_dir->writeIni({{"lang", "en"}});
}

void TestCommPage::cleanupTestCase()
{
    delete m_dir;
}

bool TestCommPage::waitForStartup(SimDevice& dev, UI_Test& w)
{
    const QString last = expectedStartupNames(w).last();
    QElapsedTimer t;
    t.start();
    // One poll after the last start-up read means the list is through.
    while (t.elapsed() < 20000) {
        const QStringList names = dev.requestNames();
        const int i = names.lastIndexOf(last);
        if (i >= 0 && names.mid(i).contains("ReadFlow") && names.indexOf("ReadFlow", i + 1) > i)
            return true;
        QTest::qWait(20);
    }
    return false;
}

void TestCommPage::addressChange()
{
    SimDevice dev;
    UI_Test w(QStringList{dev.slavePath()});
    QVERIFY(waitForStartup(dev, w));
    auto* spin = w.findChild<QSpinBox*>("addressSpin");
    QCOMPARE(spin->value(), 32);
    QCOMPARE(spin->minimum(), 32);
    QCOMPARE(spin->maximum(), 95);

    dev.clearRequests();
    spin->setValue(40);
    w.findChild<QPushButton*>("setAddrButton")->click();
    QTRY_VERIFY(dev.requestCount("MACAddress") == 1);
    QTRY_VERIFY_WITH_TIMEOUT(dev.requestCount() >= 2 && dev.requests().last().cmd != "MACAddress", 5000);
    QList<SimDevice::Request> reqs = dev.requests();
    int iw = dev.requestNames().indexOf("MACAddress");
    QVERIFY(reqs.at(iw).write);
    QCOMPARE(reqs.at(iw).address, quint8(32));
    QCOMPARE(reqs.at(iw).valueBytes, QByteArray(1, 40));
    // The queue is held for a second after the write.
    QVERIFY2(reqs.at(iw + 1).atMs - reqs.at(iw).atMs >= 930, qPrintable(QString::number(reqs.at(iw + 1).atMs - reqs.at(iw).atMs)));
    // From the reply on, requests go to the new address and are answered.
    QCOMPARE(dev.address(), quint8(40));
    QCOMPARE(reqs.at(iw + 1).address, quint8(40));
    QTRY_COMPARE(w.findChild<QLineEdit*>("addressEdit")->text(), QStringLiteral("40"));
    QCOMPARE(statusStyle(w), kWhite);

    // The window's own address request sends the same sequence.
    dev.clearRequests();
    spin->setValue(41);
    w.changedAddr_req();
    QTRY_VERIFY(dev.requestCount("MACAddress") == 1);
    reqs = dev.requests();
    iw = dev.requestNames().indexOf("MACAddress");
    QCOMPARE(reqs.at(iw).valueBytes, QByteArray(1, 41));
    QCOMPARE(reqs.at(iw).address, quint8(40));
    QTRY_COMPARE_WITH_TIMEOUT(dev.address(), quint8(41), 3000);
}

void TestCommPage::baudRateChange()
{
    SimDevice dev;
    UI_Test w(QStringList{dev.slavePath()});
    QVERIFY(waitForStartup(dev, w));
    auto* drv = w.findChild<UI_DrvV3*>();
    qint64 restartAt = 0;
    int resetsBeforeRestart = -1;
    connect(drv, &UI_DrvV3::restart_req, this, [&] {
        restartAt = QDateTime::currentMSecsSinceEpoch();
        resetsBeforeRestart = dev.requestCount("Reset");
    });
    QSignalSpy restart(drv, &UI_DrvV3::restart_req);

    auto* baud = w.findChild<QComboBox*>("baudCombo");
    QCOMPARE(baud->count(), 3);
    baud->setCurrentText("19200");
    dev.clearRequests();
    BoxAnswerer answerer;
    w.findChild<QPushButton*>("setBpsButton")->click();
    QCOMPARE(answerer.texts, QStringList{"Change baudrate will restart application."});
    QCOMPARE(answerer.titles, QStringList{QString()});
    QCOMPARE(answerer.buttons, QStringList{"OK"});

    QTRY_VERIFY(dev.requestCount("EEPROMProgram") == 1);
    const QList<SimDevice::Request> reqs = dev.requests();
    const QStringList names = dev.requestNames();
    const int ib = names.indexOf("BaudRate");
    const int ie = names.indexOf("EEPROMProgram");
    QVERIFY(ib >= 0 && ie > ib);
    QVERIFY(reqs.at(ib).write && reqs.at(ie).write);
    QCOMPARE(dev.value("BaudRate"), QStringLiteral("19200"));
    QCOMPARE(reqs.at(ie).valueBytes, QByteArray(1, 1));

    QTRY_COMPARE_WITH_TIMEOUT(restart.count(), 1, 5000);
    QCOMPARE(restart.first().first().toBool(), true);
    QVERIFY2(restartAt - reqs.at(ie).atMs >= 930, qPrintable(QString::number(restartAt - reqs.at(ie).atMs)));
    // The Reset frame was on the wire before the restart closed the port.
    QCOMPARE(resetsBeforeRestart, 1);
    // The window stopped the link for the restart.
    QVERIFY(!drv->hal()->isOpen());
}

QTEST_MAIN(TestCommPage)
#include "tst_commpage.moc"
