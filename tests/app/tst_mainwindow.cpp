// The main window with a simulated device: start-up reads, reply fan-out,
// timeouts and refused requests.
#include "apptestutil.h"
#include "simdevice.h"
#include "tervanhalv3.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

using namespace apptest;

namespace {

const QStringList kBaseList{"MACAddress", "TargetGasName", "CalibrationGasName", "TargetGasFullScaleRange"};
const QStringList kProductList{"Manufacturer", "ModelIdentifier", "DeviceType", "FirmwareVersion", "PCBVersion",
                               "MFCSerialNumber", "ProductCode", "SensorSerialNumber", "ManufacturingLocation",
                               "ManufacturingDate", "CalibrationLocation", "CalibrationDate",
                               "CalibrationStandardIdentifier", "ValveType"};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void startupReads();
    void undefinedValveType();
    void timeoutShowsNames();
    void refusedRequest();
    void pageRequestsReachDevice();

private:
    WorkDir* m_dir = nullptr;
};

void TestMainWindow::initTestCase()
{
    m_dir = new WorkDir;
    m_dir->writeIni({{"lang", "en"}});
}

void TestMainWindow::cleanupTestCase()
{
    delete m_dir;
}

void TestMainWindow::startupReads()
{
    SimDevice dev;
    dev.setValue("TargetGasName", "He");
    dev.setValue("CalibrationGasName", "Ar");
    dev.setValue("ValveType", "1");
    dev.setValue("TargetGasFullScaleRange", "500");

    std::unique_ptr<UI_Test> w = std::make_unique<UI_Test>(QStringList{dev.slavePath()});
    QList<TervanCore::mfc_reg_t> acks;
    connect(w->findChild<UI_DrvV3*>()->hal(), &TervanHALV3::ack, this,
            [&acks](const TervanCore::mfc_reg_t& r) { acks << r; });
    const QStringList expected = expectedStartupNames(*w);
    QCOMPARE(expected.mid(0, 4), kBaseList);
    QCOMPARE(expected.mid(4, kProductList.size()), kProductList);
    QCOMPARE(QSet<QString>(expected.cbegin(), expected.cend()).size(), expected.size());

    QTRY_VERIFY_WITH_TIMEOUT(dev.requestCount(expected.last()) >= 1, 20000);
    QTRY_VERIFY(std::any_of(acks.cbegin(), acks.cend(), [&](const auto& r) { return r.cmd == expected.last(); }));

    const QList<SimDevice::Request> reqs = dev.requests();
    QStringList wire;
    for (const auto& r : reqs)
        wire << r.cmd;
    // The probe, then each start-up register once, in order, nothing between.
    QCOMPARE(wire.first(), QStringLiteral("MACAddress"));
    QCOMPARE(wire.mid(1, expected.size()), expected);
    for (int i = 1; i <= expected.size(); ++i) {
        QVERIFY(!reqs.at(i).write);
        QCOMPARE(reqs.at(i).address, quint8(32));
    }
    // The reads wait behind a two-second delay.
    QVERIFY2(reqs.at(1).atMs - reqs.at(0).atMs >= 1850, qPrintable(QString::number(reqs.at(1).atMs - reqs.at(0).atMs)));

    // The base panel and the product page show the replies.
    auto text = [&](const char* name) { return w->findChild<QLineEdit*>(name)->text(); };
    QCOMPARE(text("addressEdit"), QStringLiteral("32"));
    QCOMPARE(text("targetGasEdit"), QStringLiteral("He"));
    QCOMPARE(text("calGasEdit"), QStringLiteral("Ar"));
    QString rangeOutput;
    for (const auto& r : acks)
        if (r.cmd == "TargetGasFullScaleRange")
            rangeOutput = r.output;
    QVERIFY(rangeOutput.startsWith("500"));
    QCOMPARE(text("gasRangeEdit"), rangeOutput);
    QCOMPARE(text("unitEdit"), QStringLiteral("SCCM"));
    QCOMPARE(text("Manufacturer"), QStringLiteral("Tervan Instruments"));
    QCOMPARE(text("ModelIdentifier"), QStringLiteral("TV-100"));
    QCOMPARE(text("MFCSerialNumber"), QStringLiteral("SN12345"));
    QCOMPARE(text("CalibrationStandardIdentifier"), QStringLiteral("STD-7"));
    QVERIFY(w->findChild<QRadioButton*>("noRadio")->isChecked());
    QVERIFY(!w->findChild<QRadioButton*>("ncRadio")->isChecked());
    QCOMPARE(statusStyle(*w), kWhite);

    // Afterwards the flow is polled.
    QTRY_VERIFY(dev.requestCount("ReadFlow") >= 2);
}

void TestMainWindow::undefinedValveType()
{
    SimDevice dev;
    dev.setRawValue("ValveType", QByteArray(1, 2));
    BoxAnswerer answerer;
    std::unique_ptr<UI_Test> w;
    QVERIFY(startWindowOn(dev, w));
    QCOMPARE(answerer.texts, QStringList{"Undefined Vavle type."});
    QVERIFY(!w->findChild<QRadioButton*>("noRadio")->isChecked());
    QVERIFY(!w->findChild<QRadioButton*>("ncRadio")->isChecked());
}

void TestMainWindow::timeoutShowsNames()
{
    SimDevice dev;
    std::unique_ptr<UI_Test> w;
    QVERIFY(startWindowOn(dev, w));
    w->error_limit_req(true, "LIMIT");
    QCOMPARE(statusText(*w), QStringLiteral("LIMIT"));

    int sendsAtTimeout = -1;
    QString failed;
    connect(w->findChild<UI_DrvV3*>()->hal(), &TervanHALV3::timeout, this, [&](const QStringList& cmds) {
        if (sendsAtTimeout < 0) {
            failed = cmds.value(0);
            sendsAtTimeout = dev.requestCount(failed);
        }
    });
    dev.clearRequests();
    dev.setSilent(true);
    QTRY_COMPARE_WITH_TIMEOUT(statusStyle(*w), kRed, 10000);
    const QStringList lines = statusText(*w).split("\r\n");
    QVERIFY2(lines.first() == "ReadFlow" || lines.first() == "ReadActiveSetpoint", qPrintable(statusText(*w)));
    QCOMPARE(lines.first(), failed);
    // Five sends of the same frame before giving up.
    QCOMPARE(sendsAtTimeout, 5);

    dev.setSilent(false);
    QTRY_COMPARE_WITH_TIMEOUT(statusStyle(*w), kYellow, 5000);
    QCOMPARE(statusText(*w), QStringLiteral("LIMIT"));
}

void TestMainWindow::refusedRequest()
{
    SimDevice dev;
    std::unique_ptr<UI_Test> w;
    QVERIFY(startWindowOn(dev, w));
    mfc_frame_t bad;
    bad.cmd = "NoSuchRegister";
    bad.op = MFC_READ;
    mfc_frame_t good;
    good.cmd = "PCBVersion";
    good.op = MFC_READ;
    dev.clearRequests();
    w->commands_req({good, bad});
    QCOMPARE(statusStyle(*w), kRed);
    QCOMPARE(statusText(*w), QStringLiteral("cmd: NoSuchRegister read opertation encode fail!"));
    // Nothing of the refused list goes out; polling brings the line back.
    QTRY_COMPARE_WITH_TIMEOUT(statusStyle(*w), kWhite, 5000);
    QCOMPARE(dev.requestCount("PCBVersion"), 0);
}

void TestMainWindow::pageRequestsReachDevice()
{
    SimDevice dev;
    std::unique_ptr<UI_Test> w;
    QVERIFY(startWindowOn(dev, w));
    dev.clearRequests();
    mfc_frame_t write;
    write.cmd = "ValveCommand";
    write.op = MFC_WRITE;
    write.input = "2";
    mfc_frame_t read;
    read.cmd = "FirmwareVersion";
    read.op = MFC_READ;
    w->findChild<UI_NormalV3*>()->commands_req({write, read});
    QTRY_VERIFY(dev.requestCount("FirmwareVersion") == 1);
    const QList<SimDevice::Request> reqs = dev.requests();
    const int iw = indexOf(reqs, "ValveCommand");
    QVERIFY(iw >= 0);
    QVERIFY(reqs.at(iw).write);
    QCOMPARE(reqs.at(iw).valueBytes, QByteArray(1, 2));
    QVERIFY(indexOf(reqs, "FirmwareVersion") > iw);
    QCOMPARE(dev.value("ValveCommand"), QStringLiteral("2"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
