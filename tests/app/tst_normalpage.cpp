// The operator's page: writes in every unit, readouts and bars, control-mode
// enabling, radios driven by replies, the full scale, the manual button.
#include "replyutil.h"
#include "ui_normalv3.h"

#include <QDir>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <qcustomplot.h>

#include <memory>

class TestNormalPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readList();
    void initialState();
    void setpointWrites_data();
    void setpointWrites();
    void boxRange_data();
    void boxRange();
    void readoutsInUnits_data();
    void readoutsInUnits();
    void quickButtons_data();
    void quickButtons();
    void quick120InMillivolt();
    void bars_data();
    void bars();
    void controlMode_data();
    void controlMode();
    void valveRadios();
    void radioClicksWrite_data();
    void radioClicksWrite();
    void pwmButtons();
    void zeroButton();
    void limitationDelaysValveWrites();
    void repliesSendNothing();
    void ignoredReplies();
    void resetReadouts();
    void fullScaleZeroKeepsLastValid();
    void helperReportsFailure_data();
    void helperReportsFailure();

private:
    template<typename T>
    T* child(const char* name)
    {
        T* w = m_page->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }
    void clickUnit(int unit) { child<QRadioButton>(qPrintable(QStringLiteral("unit%1").arg(unit)))->click(); }
    // The single write of the last request, checked for its shape.
    mfc_frame_t lastWrite();

    QTemporaryDir m_dir;
    std::unique_ptr<UI_NormalV3> m_page;
    std::unique_ptr<QSignalSpy> m_spy;
};

void TestNormalPage::initTestCase()
{
    qRegisterMetaType<QList<mfc_frame_t>>();
    QVERIFY(m_dir.isValid());
    // The dictionary reads and may write tervancal.ini in the working directory.
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void TestNormalPage::init()
{
    m_page.reset(new UI_NormalV3(false, nullptr));
    m_spy.reset(new QSignalSpy(m_page.get(), &UI_NormalV3::commands_req));
}

void TestNormalPage::cleanup()
{
    m_spy.reset();
    m_page.reset();
}

mfc_frame_t TestNormalPage::lastWrite()
{
    if (m_spy->isEmpty())
        return mfc_frame_t();
    const auto cmds = m_spy->last().at(0).value<QList<mfc_frame_t>>();
    if (cmds.size() != 1)
        return mfc_frame_t();
    const mfc_frame_t f = cmds.first();
    if (f.op != MFC_WRITE || f.check || f.background)
        return mfc_frame_t();
    return f;
}

void TestNormalPage::readList()
{
    QCOMPARE(m_page->readList(),
             QStringList({ "CM", "ValveCommand", "DigitalSetpoint", "TargetGasFullScaleRange",
                           "ReadActiveSetpoint", "ReadFlow", "ReadCurrentSetpoint" }));
}

void TestNormalPage::initialState()
{
    QVERIFY(child<QLineEdit>("flowEdit")->text().isEmpty());
    QVERIFY(child<QLineEdit>("activeSetpointEdit")->text().isEmpty());
    QCOMPARE(child<QProgressBar>("flowBar")->value(), -1);
    QCOMPARE(child<QProgressBar>("setpointBar")->value(), -1);
    for (const char* name : { "valveFullOpen", "valveFullClose", "valveNormal", "cmDigital", "cmVoltage",
                              "cmCurrent", "cmDirect" })
        QVERIFY2(!child<QRadioButton>(name)->isChecked(), name);
    QVERIFY(child<QRadioButton>("unit0")->isChecked());
    for (const char* name : { "setpointGroup", "quickGroup", "pwmGroup" })
        QVERIFY2(child<QGroupBox>(name)->isEnabled(), name);
    QCOMPARE(child<QLabel>("flowUnit")->text(), QStringLiteral("% of F.S."));
    QVERIFY(m_spy->isEmpty());
}

void TestNormalPage::setpointWrites_data()
{
    QTest::addColumn<int>("fullScale"); // 0: no reply
    QTest::addColumn<int>("unit");
    QTest::addColumn<double>("typed");
    QTest::addColumn<QString>("written");

    QTest::newRow("percent") << 0 << int(UI_NormalV3::UNIT_FS) << 37.5 << "37.5";
    QTest::newRow("150 sccm of 300") << 0 << int(UI_NormalV3::UNIT_SCCM) << 150.0 << "50";
    QTest::newRow("100 sccm of 300") << 0 << int(UI_NormalV3::UNIT_SCCM) << 100.0 << "33.3333";
    QTest::newRow("250 sccm of 1000") << 1000 << int(UI_NormalV3::UNIT_SCCM) << 250.0 << "25";
    QTest::newRow("0.15 slm of 300") << 0 << int(UI_NormalV3::UNIT_SLM) << 0.15 << "50";
    QTest::newRow("2.5 slm of 5000") << 5000 << int(UI_NormalV3::UNIT_SLM) << 2.5 << "50";
    QTest::newRow("2500 mV") << 0 << int(UI_NormalV3::UNIT_MV) << 2500.0 << "50";
    QTest::newRow("1 V") << 0 << int(UI_NormalV3::UNIT_V) << 1.0 << "20";
    QTest::newRow("5 V") << 0 << int(UI_NormalV3::UNIT_V) << 5.0 << "100";
}

void TestNormalPage::setpointWrites()
{
    QFETCH(int, fullScale);
    QFETCH(int, unit);
    QFETCH(double, typed);
    QFETCH(QString, written);

    if (fullScale)
        m_page->mfc_ack(makeReply(QStringLiteral("TargetGasFullScaleRange"), quint16(fullScale)));
    clickUnit(unit);
    child<QDoubleSpinBox>("setpointBox")->setValue(typed);
    QCOMPARE(child<QDoubleSpinBox>("setpointBox")->value(), typed);
    QVERIFY(m_spy->isEmpty());
    child<QPushButton>("setpointSet")->click();
    QCOMPARE(m_spy->count(), 1);
    const mfc_frame_t f = lastWrite();
    QCOMPARE(f.cmd, QStringLiteral("DigitalSetpoint"));
    QCOMPARE(f.input, written);

    // Back in percent the box shows what was written.
    clickUnit(UI_NormalV3::UNIT_FS);
    QCOMPARE(child<QDoubleSpinBox>("setpointBox")->value(), QString::number(written.toDouble(), 'f', 2).toDouble());
}

void TestNormalPage::boxRange_data()
{
    QTest::addColumn<int>("fullScale"); // 0: no reply
    QTest::addColumn<int>("unit");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<QString>("label");

    QTest::newRow("percent") << 0 << int(UI_NormalV3::UNIT_FS) << 120.0 << "% of F.S.";
    QTest::newRow("sccm default") << 0 << int(UI_NormalV3::UNIT_SCCM) << 360.0 << "sccm";
    QTest::newRow("sccm 1000") << 1000 << int(UI_NormalV3::UNIT_SCCM) << 1200.0 << "sccm";
    QTest::newRow("slm default") << 0 << int(UI_NormalV3::UNIT_SLM) << 0.36 << "slm";
    QTest::newRow("slm 50000") << 50000 << int(UI_NormalV3::UNIT_SLM) << 60.0 << "slm";
    QTest::newRow("mV") << 0 << int(UI_NormalV3::UNIT_MV) << 5000.0 << "mV";
    QTest::newRow("V") << 0 << int(UI_NormalV3::UNIT_V) << 5.0 << "V";
}

void TestNormalPage::boxRange()
{
    QFETCH(int, fullScale);
    QFETCH(int, unit);
    QFETCH(double, maximum);
    QFETCH(QString, label);

    if (fullScale)
        m_page->mfc_ack(makeReply(QStringLiteral("TargetGasFullScaleRange"), quint16(fullScale)));
    clickUnit(unit);
    auto* box = child<QDoubleSpinBox>("setpointBox");
    QCOMPARE(box->minimum(), 0.0);
    QCOMPARE(box->maximum(), maximum);
    QCOMPARE(box->decimals(), 2);
    box->setValue(maximum * 2);
    QCOMPARE(box->value(), maximum);
    for (const char* name : { "activeSetpointUnit", "setpointUnit", "flowUnit" })
        QCOMPARE(child<QLabel>(name)->text(), label);
}

void TestNormalPage::readoutsInUnits_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("active"); // active setpoint 50 %
    QTest::addColumn<QString>("flow");   // flow 12.4 %

    QTest::newRow("percent") << int(UI_NormalV3::UNIT_FS) << "50.00" << "12.40";
    QTest::newRow("sccm") << int(UI_NormalV3::UNIT_SCCM) << "150.00" << "37.20";
    QTest::newRow("slm") << int(UI_NormalV3::UNIT_SLM) << "0.15" << "0.04";
    QTest::newRow("mV") << int(UI_NormalV3::UNIT_MV) << "2500.00" << "620.00";
    QTest::newRow("V") << int(UI_NormalV3::UNIT_V) << "2.50" << "0.62";
}

void TestNormalPage::readoutsInUnits()
{
    QFETCH(int, unit);
    QFETCH(QString, active);
    QFETCH(QString, flow);

    // Values arriving before and after the unit change read the same.
    m_page->mfc_ack(makeReply("ReadActiveSetpoint", 50));
    m_page->mfc_ack(makeReply("ReadFlow", 12.4));
    clickUnit(unit);
    QCOMPARE(child<QLineEdit>("activeSetpointEdit")->text(), active);
    QCOMPARE(child<QLineEdit>("flowEdit")->text(), flow);
    m_page->mfc_ack(makeReply("ReadActiveSetpoint", 50));
    m_page->mfc_ack(makeReply("ReadFlow", 12.4));
    QCOMPARE(child<QLineEdit>("activeSetpointEdit")->text(), active);
    QCOMPARE(child<QLineEdit>("flowEdit")->text(), flow);
    QVERIFY(m_spy->isEmpty());
}

void TestNormalPage::quickButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("written");
    QTest::addColumn<double>("sccmBox"); // box in sccm at full scale 300
    for (int p : { 0, 2, 5, 10, 25, 50, 75, 100, 120 })
        QTest::newRow(qPrintable(QStringLiteral("%1%").arg(p)))
            << QStringLiteral("sp%1").arg(p) << QString::number(p) << p * 3.0;
}

void TestNormalPage::quickButtons()
{
    QFETCH(QString, button);
    QFETCH(QString, written);
    QFETCH(double, sccmBox);

    clickUnit(UI_NormalV3::UNIT_SCCM);
    child<QPushButton>(qPrintable(button))->click();
    QCOMPARE(m_spy->count(), 1);
    QCOMPARE(lastWrite().cmd, QStringLiteral("DigitalSetpoint"));
    QCOMPARE(lastWrite().input, written);
    QCOMPARE(child<QDoubleSpinBox>("setpointBox")->value(), sccmBox);
}

void TestNormalPage::quick120InMillivolt()
{
    clickUnit(UI_NormalV3::UNIT_MV);
    child<QPushButton>("sp120")->click();
    QCOMPARE(child<QDoubleSpinBox>("setpointBox")->value(), 5000.0);
    QCOMPARE(lastWrite().input, QStringLiteral("120"));
}

void TestNormalPage::bars_data()
{
    QTest::addColumn<double>("percent");
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("text");
    QTest::newRow("99.999") << 99.999 << 9999 << "100.00";
    QTest::newRow("100.2") << 100.2 << 10000 << "100.20";
    QTest::newRow("-0.3") << -0.3 << 0 << "-0.30";
    QTest::newRow("50") << 50.0 << 5000 << "50.00";
    QTest::newRow("0.015") << 0.015 << 1 << "0.01";
    QTest::newRow("120") << 120.0 << 10000 << "120.00";
}

void TestNormalPage::bars()
{
    QFETCH(double, percent);
    QFETCH(int, bar);
    QFETCH(QString, text);
    m_page->mfc_ack(makeReply("ReadFlow", percent));
    QCOMPARE(child<QProgressBar>("flowBar")->value(), bar);
    QCOMPARE(child<QLineEdit>("flowEdit")->text(), text);
    QCOMPARE(child<QProgressBar>("setpointBar")->value(), -1);
    m_page->mfc_ack(makeReply("ReadActiveSetpoint", percent));
    QCOMPARE(child<QProgressBar>("setpointBar")->value(), bar);
    QCOMPARE(child<QLineEdit>("activeSetpointEdit")->text(), text);
}

void TestNormalPage::controlMode_data()
{
    QTest::addColumn<int>("cm");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<bool>("setpoint");
    QTest::addColumn<bool>("pwm");
    QTest::newRow("digital") << 1 << "cmDigital" << true << false;
    QTest::newRow("voltage") << 2 << "cmVoltage" << false << false;
    QTest::newRow("current") << 3 << "cmCurrent" << false << false;
    QTest::newRow("valve pwm") << 4 << "cmDirect" << false << true;
    QTest::newRow("0") << 0 << "" << false << false;
    QTest::newRow("5") << 5 << "" << false << false;
}

void TestNormalPage::controlMode()
{
    QFETCH(int, cm);
    QFETCH(QString, radio);
    QFETCH(bool, setpoint);
    QFETCH(bool, pwm);

    m_page->mfc_ack(makeReply("CM", quint8(cm)));
    for (const char* name : { "cmDigital", "cmVoltage", "cmCurrent", "cmDirect" })
        QCOMPARE(child<QRadioButton>(name)->isChecked(), radio == QLatin1String(name));
    QCOMPARE(child<QGroupBox>("setpointGroup")->isEnabled(), setpoint);
    QCOMPARE(child<QGroupBox>("quickGroup")->isEnabled(), setpoint);
    QCOMPARE(child<QGroupBox>("pwmGroup")->isEnabled(), pwm);
    // The schedule stays usable in every mode.
    QVERIFY(child<QPushButton>("scheduleButton")->isEnabled());

    // An unknown mode afterwards keeps the radio but disables all three groups.
    m_page->mfc_ack(makeReply("CM", 0));
    if (!radio.isEmpty())
        QVERIFY(child<QRadioButton>(qPrintable(radio))->isChecked());
    QVERIFY(!child<QGroupBox>("setpointGroup")->isEnabled());
    QVERIFY(!child<QGroupBox>("pwmGroup")->isEnabled());
    QVERIFY(m_spy->isEmpty());
}

void TestNormalPage::valveRadios()
{
    auto* open = child<QRadioButton>("valveFullOpen");
    auto* close = child<QRadioButton>("valveFullClose");
    auto* normal = child<QRadioButton>("valveNormal");
    m_page->mfc_ack(makeReply("ValveCommand", 1));
    QVERIFY(close->isChecked() && !open->isChecked() && !normal->isChecked());
    m_page->mfc_ack(makeReply("ValveCommand", 2));
    QVERIFY(open->isChecked() && !close->isChecked() && !normal->isChecked());
    m_page->mfc_ack(makeReply("ValveCommand", 3));
    QVERIFY(open->isChecked() && !close->isChecked() && !normal->isChecked());
    m_page->mfc_ack(makeReply("ValveCommand", 0));
    QVERIFY(normal->isChecked() && !open->isChecked() && !close->isChecked());
    QVERIFY(m_spy->isEmpty());
}

void TestNormalPage::radioClicksWrite_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("cmd");
    QTest::addColumn<QString>("value");
    QTest::newRow("full open") << "valveFullOpen" << "ValveCommand" << "2";
    QTest::newRow("full close") << "valveFullClose" << "ValveCommand" << "1";
    QTest::newRow("normal") << "valveNormal" << "ValveCommand" << "0";
    QTest::newRow("digital") << "cmDigital" << "CM" << "1";
    QTest::newRow("voltage") << "cmVoltage" << "CM" << "2";
    QTest::newRow("current") << "cmCurrent" << "CM" << "3";
    QTest::newRow("valve pwm") << "cmDirect" << "CM" << "4";
}

void TestNormalPage::radioClicksWrite()
{
    QFETCH(QString, radio);
    QFETCH(QString, cmd);
    QFETCH(QString, value);
    auto* r = child<QRadioButton>(qPrintable(radio));
    r->click();
    QCOMPARE(m_spy->count(), 1);
    QCOMPARE(lastWrite().cmd, cmd);
    QCOMPARE(lastWrite().input, value);
    // Clicking the checked radio again sends the write again.
    QVERIFY(r->isChecked());
    r->click();
    QCOMPARE(m_spy->count(), 2);
    QCOMPARE(lastWrite().input, value);
}

void TestNormalPage::pwmButtons()
{
    auto* box = child<QSpinBox>("pwmBox");
    QCOMPARE(box->maximum(), 64760);
    box->setValue(70000);
    QCOMPARE(box->value(), 64760);
    box->setValue(1234);
    child<QPushButton>("pwmSet")->click();
    QCOMPARE(lastWrite().cmd, QStringLiteral("SetValveDrive"));
    QCOMPARE(lastWrite().input, QStringLiteral("1234"));
    child<QPushButton>("pwmMax")->click();
    QCOMPARE(box->value(), 64760);
    QCOMPARE(lastWrite().input, QStringLiteral("64760"));
    child<QPushButton>("pwmMin")->click();
    QCOMPARE(box->value(), 0);
    QCOMPARE(lastWrite().input, QStringLiteral("0"));
    QCOMPARE(m_spy->count(), 3);
}

void TestNormalPage::zeroButton()
{
    child<QPushButton>("zeroButton")->click();
    QCOMPARE(m_spy->count(), 1);
    QCOMPARE(lastWrite().cmd, QStringLiteral("ZeroStatusAndSetting"));
    QCOMPARE(lastWrite().input, QStringLiteral("1"));
}

void TestNormalPage::limitationDelaysValveWrites()
{
    auto frames = [this] {
        QStringList out;
        for (const mfc_frame_t& f : m_spy->last().at(0).value<QList<mfc_frame_t>>())
            out << QStringLiteral("%1|%2|%3|%4%5").arg(f.cmd, QString::number(f.op), f.input)
                           .arg(f.check ? "c" : "-").arg(f.background ? "b" : "-");
        return out;
    };
    m_page->limitation_sync(true);
    child<QRadioButton>("valveFullClose")->click();
    QCOMPARE(frames(), QStringList({ "ValveCommand|1|1|--", "AppDelay|2|1500|--" }));
    // Only valve commands get the delay.
    child<QRadioButton>("cmVoltage")->click();
    QCOMPARE(frames(), QStringList({ "CM|1|2|--" }));
    child<QPushButton>("sp50")->click();
    QCOMPARE(frames(), QStringList({ "DigitalSetpoint|1|50|--" }));
    m_page->limitation_sync(false);
    child<QRadioButton>("valveNormal")->click();
    QCOMPARE(frames(), QStringList({ "ValveCommand|1|0|--" }));
}

void TestNormalPage::repliesSendNothing()
{
    m_page->mfc_ack(makeReply("CM", 1));
    m_page->mfc_ack(makeReply("ValveCommand", 2));
    m_page->mfc_ack(makeReply("DigitalSetpoint", 40));
    m_page->mfc_ack(makeReply(QStringLiteral("TargetGasFullScaleRange"), 500));
    m_page->mfc_ack(makeReply("ReadActiveSetpoint", 40));
    m_page->mfc_ack(makeReply("ReadFlow", 39));
    m_page->mfc_ack(makeReply("ReadCurrentSetpoint", 40));
    QVERIFY(m_spy->isEmpty());
}

void TestNormalPage::ignoredReplies()
{
    auto* box = child<QDoubleSpinBox>("setpointBox");
    box->setValue(12);
    m_page->mfc_ack(makeReply("DigitalSetpoint", 77));
    QCOMPARE(box->value(), 12.0);
    m_page->mfc_ack(makeReply("ReadVoltageSetpoint", 77));
    m_page->mfc_ack(makeReply("readflow", 77)); // names compare with their case
    QVERIFY(child<QLineEdit>("flowEdit")->text().isEmpty());
    QVERIFY(child<QLineEdit>("activeSetpointEdit")->text().isEmpty());
}

void TestNormalPage::resetReadouts()
{
    clickUnit(UI_NormalV3::UNIT_SCCM);
    m_page->mfc_ack(makeReply("ReadFlow", 50));
    m_page->mfc_ack(makeReply("ReadActiveSetpoint", 60));
    auto* plot = child<QCustomPlot>("smallPlot");
    const int points = plot->graph(0)->dataCount();
    m_page->resetReadouts({ "ReadFlow" });
    QCOMPARE(child<QLineEdit>("flowEdit")->text(), QStringLiteral("0.00"));
    QCOMPARE(child<QLineEdit>("activeSetpointEdit")->text(), QStringLiteral("0.00"));
    QCOMPARE(child<QProgressBar>("flowBar")->value(), 0);
    QCOMPARE(child<QProgressBar>("setpointBar")->value(), 0);
    QCOMPARE(plot->graph(0)->dataCount(), points);
    QVERIFY(m_spy->isEmpty());
}

void TestNormalPage::fullScaleZeroKeepsLastValid()
{
    m_page->mfc_ack(makeReply(QStringLiteral("TargetGasFullScaleRange"), 1000));
    m_page->mfc_ack(makeReply("ReadFlow", 50));
    clickUnit(UI_NormalV3::UNIT_SLM);
    QCOMPARE(child<QLineEdit>("flowEdit")->text(), QStringLiteral("0.50"));

    m_page->mfc_ack(makeReply(QStringLiteral("TargetGasFullScaleRange"), 0));
    m_page->mfc_ack(makeReply("ReadFlow", 50));
    m_page->mfc_ack(makeReply("ReadActiveSetpoint", 20));
    QCOMPARE(child<QLineEdit>("flowEdit")->text(), QStringLiteral("0.50"));
    QCOMPARE(child<QLineEdit>("activeSetpointEdit")->text(), QStringLiteral("0.20"));
    auto* box = child<QDoubleSpinBox>("setpointBox");
    QCOMPARE(box->maximum(), 1.2);

    clickUnit(UI_NormalV3::UNIT_SCCM);
    QCOMPARE(box->maximum(), 1200.0);
    box->setValue(250);
    child<QPushButton>("setpointSet")->click();
    QCOMPARE(lastWrite().input, QStringLiteral("25"));
    child<QPushButton>("sp75")->click();
    QCOMPARE(box->value(), 750.0);
    QCOMPARE(lastWrite().input, QStringLiteral("75"));
    for (const auto& args : qAsConst(*m_spy)) {
        const QString input = args.at(0).value<QList<mfc_frame_t>>().first().input;
        QVERIFY2(std::isfinite(input.toDouble()), qPrintable(input));
    }
}

void TestNormalPage::helperReportsFailure_data()
{
    QTest::addColumn<bool>("filePresent");
    QTest::addColumn<QString>("message");
    QTest::newRow("manual missing") << false << "The instruction manual is missing:";
    // The offscreen platform that tests run on opens no documents at all.
    QTest::newRow("no viewer") << true << "No viewer could open the instruction manual:";
}

void TestNormalPage::helperReportsFailure()
{
    QFETCH(bool, filePresent);
    QFETCH(QString, message);
    const QString path = QStringLiteral("doc/InstructionManual.pdf");
    QFile::remove(path);
    if (filePresent) {
        QVERIFY(QDir().mkpath(QStringLiteral("doc")));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.4\n");
    }
    m_page->show();
    child<QPushButton>("helperButton")->click();
    auto* box = m_page->findChild<QMessageBox*>(QStringLiteral("manualMessage"));
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QVERIFY2(box->text().startsWith(message), qPrintable(box->text()));
    QVERIFY2(box->text().endsWith(QDir::current().absoluteFilePath(path)), qPrintable(box->text()));
    box->accept();
    QVERIFY(m_spy->isEmpty());
    QFile::remove(path);
}

QTEST_MAIN(TestNormalPage)
#include "tst_normalpage.moc"
