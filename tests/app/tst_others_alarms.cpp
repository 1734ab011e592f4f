// Others page: the device's alarm word and enable mask, the alarm poll, and
// the user flow limits.
#include "tst_others_support.h"
#include "ui_othersv3.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace OthersTest;

namespace {
const QStringList kStatusBoxes{"TempHihgAlarm", "TempHighWarn", "TempLowAlarm", "TempLowWarn",
                               "CoilShorted", "CoilOpened", "SensorNegShiftAlarm", "SensorNegShiftWarn",
                               "SensorPosShiftAlarm", "SensorPosShiftWarn", "E2PROM_Alarm"};
const QStringList kSettingBoxes{"TempAlarm", "TempWarn", "CoilAlarm", "SensorShiftAlarm", "SensorShiftWarn",
                                "E2PROM_Alarm"};

QStringList checkedBoxes(const UI_OthersV3& page, const QString& prefix, const QStringList& names)
{
    QStringList out;
    for (const QString& n : names) {
        auto* box = page.findChild<QCheckBox*>(prefix + n);
        if (box && box->isChecked())
            out << n;
    }
    return out;
}

// One entry per emission of a (bool, QString) signal: "true:msg" / "false:".
QStringList flagsText(const QSignalSpy& spy)
{
    QStringList out;
    for (const QList<QVariant>& args : spy)
        out << (args.at(0).toBool() ? "true:" : "false:") + args.at(1).toString();
    return out;
}
} // namespace

class TestOthersAlarms : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void statusWord_data();
    void statusWord();
    void statusIgnoredWhileInactive();
    void statusBoxesAreDisplayOnly();
    void enableMaskWrite_data();
    void enableMaskWrite();
    void enableMaskReply_data();
    void enableMaskReply();
    void clearAlarms();
    void pollOnlyWhileActive();

    void limitCheck_data();
    void limitCheck();
    void limitRepeatsUntilValveForced();
    void limitClearsOnceWhenDeactivated();
    void limitStaysWhileValveForced();
    void limitSettingsLockedWhileActive();

private:
    WorkDir m_dir;
};

void TestOthersAlarms::initTestCase()
{
    qRegisterMetaType<QList<mfc_frame_t>>();
    QVERIFY(m_dir.enter(QStringLiteral("en")));
}

void TestOthersAlarms::init() { WorkDir::setLanguage(QStringLiteral("en")); }

void TestOthersAlarms::statusWord_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<int>("word");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QString>("emitted");

    QTest::newRow("0x0000") << "en" << 0x0000 << QStringList{} << "false:";
    QTest::newRow("0x0301 in table order")
        << "en" << 0x0301 << QStringList{"TempHihgAlarm", "TempHighWarn", "TempLowAlarm"}
        << "true:TempHihgAlarm TempHighWarn TempLowAlarm";
    QTest::newRow("0x0301 cn") << "cn" << 0x0301 << QStringList{"TempHihgAlarm", "TempHighWarn", "TempLowAlarm"}
                               << QString::fromUtf8("true:温度上限报警 温度上限警告 低温报警");
    QTest::newRow("0x0400") << "en" << 0x0400 << QStringList{"CoilShorted"} << "true:ValveCoilShortedAlarm";
    QTest::newRow("0x4000 no message") << "en" << 0x4000 << QStringList{"E2PROM_Alarm"} << "true:";
    QTest::newRow("0x8000 nothing known") << "en" << 0x8000 << QStringList{} << "true:";
    QTest::newRow("drift warnings") << "en" << 0x0030 << QStringList{"SensorNegShiftWarn", "SensorPosShiftWarn"}
                                    << "true:SensorNegDriftWarning SensorPosDriftWarning";
    QTest::newRow("every bit") << "en" << 0xFFFF << kStatusBoxes
                               << "true:TempHihgAlarm TempHighWarn TempLowAlarm TempLowWarn ValveCoilShortedAlarm "
                                  "ValveCoildOpenedAlarm SensorNegDriftAlarm SensorNegDriftWarning "
                                  "SensorPosDriftAlarm SensorPosDriftWarning";
}

void TestOthersAlarms::statusWord()
{
    QFETCH(QString, lang);
    QFETCH(int, word);
    QFETCH(QStringList, checked);
    QFETCH(QString, emitted);

    WorkDir::setLanguage(lang);
    UI_OthersV3 page(nullptr);
    page.findChild<QCheckBox*>("statusActive")->click();
    // Start from every box checked so clearing shows too.
    page.mfc_ack(makeReply("ReadAlarms", 0xFFFF));
    QSignalSpy spy(&page, &UI_OthersV3::error_alarmWarning_req);

    page.mfc_ack(makeReply("ReadAlarms", word));
    QCOMPARE(checkedBoxes(page, "status_", kStatusBoxes), checked);
    QCOMPARE(flagsText(spy), QStringList{emitted});

    // Every decoded word reports again.
    page.mfc_ack(makeReply("ReadAlarms", word));
    QCOMPARE(spy.count(), 2);
}

void TestOthersAlarms::statusIgnoredWhileInactive()
{
    UI_OthersV3 page(nullptr);
    QSignalSpy spy(&page, &UI_OthersV3::error_alarmWarning_req);
    page.mfc_ack(makeReply("ReadAlarms", 0x0301));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(checkedBoxes(page, "status_", kStatusBoxes), QStringList{});

    // Switched on and off again: the boxes keep the last word, replies change nothing.
    auto* active = page.findChild<QCheckBox*>("statusActive");
    active->click();
    page.mfc_ack(makeReply("ReadAlarms", 0x0400));
    active->click();
    page.mfc_ack(makeReply("ReadAlarms", 0));
    QCOMPARE(checkedBoxes(page, "status_", kStatusBoxes), QStringList{"CoilShorted"});
    QCOMPARE(flagsText(spy), QStringList{"true:ValveCoilShortedAlarm"});
}

void TestOthersAlarms::statusBoxesAreDisplayOnly()
{
    UI_OthersV3 page(nullptr);
    for (const QString& n : kStatusBoxes) {
        auto* box = page.findChild<QCheckBox*>("status_" + n);
        QVERIFY2(box, qPrintable(n));
        QVERIFY(!box->isEnabled());
    }
    for (const QString& n : kSettingBoxes)
        QVERIFY(page.findChild<QCheckBox*>("setting_" + n)->isEnabled());
}

void TestOthersAlarms::enableMaskWrite_data()
{
    QTest::addColumn<QStringList>("ticked");
    QTest::addColumn<QString>("mask");

    QTest::newRow("all six") << kSettingBoxes << "3850";
    QTest::newRow("none") << QStringList{} << "0";
    QTest::newRow("TempAlarm + SensorShiftWarn") << QStringList{"TempAlarm", "SensorShiftWarn"} << "520";
    QTest::newRow("E2PROM_Alarm") << QStringList{"E2PROM_Alarm"} << "256";
}

void TestOthersAlarms::enableMaskWrite()
{
    QFETCH(QStringList, ticked);
    QFETCH(QString, mask);

    UI_OthersV3 page(nullptr);
    for (const QString& n : ticked)
        page.findChild<QCheckBox*>("setting_" + n)->click();
    QSignalSpy spy(&page, &UI_OthersV3::commands_req);
    page.findChild<QPushButton*>("setAlarm")->click();
    QCOMPARE(requestsText(spy),
             QStringList{"EnableDisalbeAlarms|1|" + mask + "|fg; EEPROMProgram|1|1|fg; AppDelay|2|1000|fg"});
}

void TestOthersAlarms::enableMaskReply_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<QStringList>("checked");

    QTest::newRow("0x0F0A") << 0x0F0A << kSettingBoxes;
    QTest::newRow("0xF0F5") << 0xF0F5 << QStringList{};
    QTest::newRow("0x0202") << 0x0202 << QStringList{"TempAlarm", "TempWarn"};
}

void TestOthersAlarms::enableMaskReply()
{
    QFETCH(int, mask);
    QFETCH(QStringList, checked);

    UI_OthersV3 page(nullptr);
    page.mfc_ack(makeReply("EnableDisalbeAlarms", 0x0F0A));
    page.mfc_ack(makeReply("EnableDisalbeAlarms", mask));
    QCOMPARE(checkedBoxes(page, "setting_", kSettingBoxes), checked);
}

void TestOthersAlarms::clearAlarms()
{
    UI_OthersV3 page(nullptr);
    page.findChild<QCheckBox*>("statusActive")->click();
    page.mfc_ack(makeReply("ReadAlarms", 0x0400));
    QSignalSpy alarms(&page, &UI_OthersV3::error_alarmWarning_req);
    QSignalSpy spy(&page, &UI_OthersV3::commands_req);

    page.findChild<QPushButton*>("clearAlarm")->click();
    QCOMPARE(requestsText(spy), QStringList{"ClearAlarms|1|1|fg; EEPROMProgram|1|1|fg; AppDelay|2|1000|fg"});
    // Only the next decoded word changes what is shown.
    QCOMPARE(alarms.count(), 0);
    QCOMPARE(checkedBoxes(page, "status_", kStatusBoxes), QStringList{"CoilShorted"});
}

void TestOthersAlarms::pollOnlyWhileActive()
{
    UI_OthersV3 page(nullptr);
    auto* timer = page.findChild<QTimer*>("pollTimer");
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 5000);
    QVERIFY(!timer->isActive());

    QSignalSpy spy(&page, &UI_OthersV3::commands_req);
    auto* active = page.findChild<QCheckBox*>("statusActive");
    active->click();
    QVERIFY(timer->isActive());
    QCOMPARE(spy.count(), 0); // the first poll comes one interval later
    QVERIFY(spy.wait(15000));
    QCOMPARE(requestsText(spy), QStringList{"ReadAlarms|0||bg"});
    QVERIFY(timer->isActive()); // and the poll goes on

    active->click();
    QVERIFY(!timer->isActive());
}

void TestOthersAlarms::limitCheck_data()
{
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("highAction");
    QTest::addColumn<int>("lowAction");
    QTest::addColumn<double>("flow");
    QTest::addColumn<QStringList>("limit");    // error_limit_req emissions
    QTest::addColumn<QStringList>("requests"); // commands_req emissions
    QTest::addColumn<QString>("trace");        // debug line of a raised limit

    const QString high = "true:UserDefFlowpHighLimit";
    const QString low = "true:UserDefTempLowLimit";
    QTest::newRow("equal to high is inside") << 100 << 0 << 2 << 0 << 100.0 << QStringList{} << QStringList{}
                                             << "";
    QTest::newRow("above high, close") << 100 << 0 << 2 << 0 << 100.5 << QStringList{high}
                                       << QStringList{"ValveCommand|1|1|fg"} << "100.5 > 100";
    QTest::newRow("above high, open") << 100 << 0 << 1 << 0 << 101.0 << QStringList{high}
                                      << QStringList{"ValveCommand|1|2|fg"} << "101 > 100";
    QTest::newRow("below low, alarm only") << 100 << 5 << 0 << 0 << 3.0 << QStringList{low} << QStringList{}
                                           << "3 < 5";
    QTest::newRow("below low, open") << 100 << 5 << 0 << 1 << 3.0 << QStringList{low}
                                     << QStringList{"ValveCommand|1|2|fg"} << "3 < 5";
    QTest::newRow("equal to low is inside") << 100 << 5 << 0 << 2 << 5.0 << QStringList{} << QStringList{}
                                            << "";
    QTest::newRow("high 0 raises for any flow") << 0 << 0 << 0 << 0 << 0.01 << QStringList{high} << QStringList{}
                                                << "0.01 > 0";
    QTest::newRow("high below low: high first") << 10 << 50 << 1 << 2 << 30.0 << QStringList{high}
                                                << QStringList{"ValveCommand|1|2|fg"} << "30 > 10";
    QTest::newRow("cn message") << 10 << 0 << 0 << 0 << 11.0 << QStringList{QString::fromUtf8("true:流量上限溢出")}
                                << QStringList{} << "11 > 10";
}

void TestOthersAlarms::limitCheck()
{
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(int, highAction);
    QFETCH(int, lowAction);
    QFETCH(double, flow);
    QFETCH(QStringList, limit);
    QFETCH(QStringList, requests);
    QFETCH(QString, trace);

    if (QString(QTest::currentDataTag()) == "cn message")
        WorkDir::setLanguage("cn");
    UI_OthersV3 page(nullptr);
    page.findChild<QSpinBox*>("highLimit")->setValue(high);
    page.findChild<QSpinBox*>("lowLimit")->setValue(low);
    page.findChild<QComboBox*>("highAction")->setCurrentIndex(highAction);
    page.findChild<QComboBox*>("lowAction")->setCurrentIndex(lowAction);
    page.findChild<QCheckBox*>("limitActive")->click();

    QSignalSpy limitSpy(&page, &UI_OthersV3::error_limit_req);
    QSignalSpy spy(&page, &UI_OthersV3::commands_req);
    if (!trace.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(trace));
    // No ValveCommand reply yet: the valve counts as normal and the check runs.
    page.mfc_ack(makeReply("ReadFlow", flow));
    QCOMPARE(flagsText(limitSpy), limit);
    QCOMPARE(requestsText(spy), requests);
    QVERIFY(noneChecked(spy));
}

void TestOthersAlarms::limitRepeatsUntilValveForced()
{
    UI_OthersV3 page(nullptr);
    page.findChild<QSpinBox*>("highLimit")->setValue(100);
    page.findChild<QComboBox*>("highAction")->setCurrentIndex(2);
    page.findChild<QCheckBox*>("limitActive")->click();
    QSignalSpy limitSpy(&page, &UI_OthersV3::error_limit_req);
    QSignalSpy spy(&page, &UI_OthersV3::commands_req);

    page.mfc_ack(makeReply("ReadFlow", 100.5));
    page.mfc_ack(makeReply("ReadFlow", 100.6));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(limitSpy.count(), 2);

    // The device confirms the closed valve: the check pauses, the message stays.
    page.mfc_ack(makeReply("ValveCommand", 1));
    page.mfc_ack(makeReply("ReadFlow", 100.7));
    page.mfc_ack(makeReply("ReadFlow", 50.0));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(limitSpy.count(), 2);

    // Back to normal: the next reading inside the band clears once.
    page.mfc_ack(makeReply("ValveCommand", 0));
    page.mfc_ack(makeReply("ReadFlow", 50.0));
    page.mfc_ack(makeReply("ReadFlow", 60.0));
    QCOMPARE(flagsText(limitSpy), (QStringList{"true:UserDefFlowpHighLimit", "true:UserDefFlowpHighLimit",
                                               "false:"}));
    QCOMPARE(spy.count(), 2);
}

void TestOthersAlarms::limitClearsOnceWhenDeactivated()
{
    UI_OthersV3 page(nullptr);
    page.findChild<QSpinBox*>("highLimit")->setValue(100);
    page.findChild<QSpinBox*>("lowLimit")->setValue(5);
    auto* active = page.findChild<QCheckBox*>("limitActive");
    active->click();
    QSignalSpy limitSpy(&page, &UI_OthersV3::error_limit_req);
    page.mfc_ack(makeReply("ReadFlow", 3.0));
    active->click(); // unchecking alone does not clear
    QCOMPARE(limitSpy.count(), 1);
    page.mfc_ack(makeReply("ReadFlow", 3.0));
    page.mfc_ack(makeReply("ReadFlow", 3.0));
    QCOMPARE(flagsText(limitSpy), (QStringList{"true:UserDefTempLowLimit", "false:"}));
}

void TestOthersAlarms::limitStaysWhileValveForced()
{
    UI_OthersV3 page(nullptr);
    page.findChild<QSpinBox*>("highLimit")->setValue(100);
    page.findChild<QSpinBox*>("lowLimit")->setValue(5);
    page.findChild<QComboBox*>("lowAction")->setCurrentIndex(1);
    auto* active = page.findChild<QCheckBox*>("limitActive");
    active->click();
    QSignalSpy limitSpy(&page, &UI_OthersV3::error_limit_req);
    page.mfc_ack(makeReply("ReadFlow", 3.0));
    page.mfc_ack(makeReply("ValveCommand", 2));
    active->click();
    page.mfc_ack(makeReply("ReadFlow", 3.0));
    page.mfc_ack(makeReply("ReadFlow", 50.0));
    QCOMPARE(flagsText(limitSpy), QStringList{"true:UserDefTempLowLimit"});
}

void TestOthersAlarms::limitSettingsLockedWhileActive()
{
    UI_OthersV3 page(nullptr);
    auto* box = page.findChild<QGroupBox*>("limitBox");
    auto* active = page.findChild<QCheckBox*>("limitActive");
    QCOMPARE(page.findChild<QComboBox*>("highAction")->count(), 3);
    QCOMPARE(page.findChild<QSpinBox*>("highLimit")->maximum(), 120);
    QVERIFY(box->isEnabled());
    active->click();
    QVERIFY(!box->isEnabled());
    active->click();
    QVERIFY(box->isEnabled());
}

QTEST_MAIN(TestOthersAlarms)
#include "tst_others_alarms.moc"
