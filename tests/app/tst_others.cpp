// The others page fed directly (gas settings, grid, alarms, limits, record control),
// and the page inside the main window's fixed size.
#include "apptestutil.h"

#include <tuple>

using namespace apptest;

namespace {
const QString kCommit = QStringLiteral("; EEPROMProgram|1|1; AppDelay|2|1000");
const QStringList kStatusBoxes{"TempHihgAlarm", "TempHighWarn", "TempLowAlarm", "TempLowWarn",
                               "CoilShorted", "CoilOpened", "SensorNegShiftAlarm", "SensorNegShiftWarn",
                               "SensorPosShiftAlarm", "SensorPosShiftWarn", "E2PROM_Alarm"};
const QStringList kSettingBoxes{"TempAlarm", "TempWarn", "CoilAlarm", "SensorShiftAlarm", "SensorShiftWarn", "E2PROM_Alarm"};

struct Confirm { QString control; double value; QString requests; QStringList texts; int calRange = -1; }; // -1: none read
struct Status { QString lang; int word; QStringList boxes; QString emitted; };
struct Limit { QString lang; int high, low, highAction, lowAction; double flow; QString raised, written; };

// "true:msg" or "false:msg" per emission of a (bool, QString) signal.
QStringList flags(const QSignalSpy& spy)
{
    QStringList out;
    for (const QList<QVariant>& args : spy)
        out << (args.at(0).toBool() ? "true:" : "false:") + args.at(1).toString();
    return out;
}
} // namespace
Q_DECLARE_METATYPE(Confirm)
Q_DECLARE_METATYPE(Status)
Q_DECLARE_METATYPE(Limit)

class TestOthers : public QObject
{
    Q_OBJECT

private slots:
    // Each box answered Sure in English, Cancel in Chinese: a read puts the shown value back.
    void confirmation_data()
    {
        QTest::addColumn<Confirm>("row");
        QTest::newRow("fullrange") << Confirm{"targetRange", 1000, "TargetGasFullScaleRange|1|1000" + kCommit,
                                              {"Be sure to change fullrange?", "请确认需要修改气体满量程?"}};
        const auto factor = [](double f, int calRange, const QString& range) { // the range follows the factor
            return Confirm{"factor", f, "TargetGas2CalibrationGas|1|" + QString::number(f) + kCommit
                               + "\nTargetGasFullScaleRange|1|" + range + kCommit,
                           {"Change gas transtor also change fullrange?", "修改气体转换系数同时会修改气体满量程?"}, calRange};
        };
        QTest::newRow("factor") << factor(1.3, 1000, "1300");
        QTest::newRow("factor, no range read") << factor(1.3, -1, "55000");
        QTest::newRow("factor below 1, no range read") << factor(0.5, -1, "32768");
        QTest::newRow("softstart") << Confirm{"softStart", 12.5, "SoftstartRate|1|12.5" + kCommit,
                                              {"Sure to change softstart?", "确认更改软起动数值？"}};
        QTest::newRow("delay") << Confirm{"delay", 1200, "Delay|1|1200" + kCommit,
                                          {"Sure to change delay?", "确认更改延迟时间？"}};
        QTest::newRow("shutoff") << Confirm{"shutoffLevel", 0.25, "ShutoffLevel|1|0.25" + kCommit,
                                            {"Sure to change shutoff level?", "确认更改关闭比率？"}};
    }
    void confirmation()
    {
        QFETCH(Confirm, row);
        for (const bool sure : {true, false}) {
            make(sure ? "en" : "cn");
            if (row.calRange >= 0)
                reply("CalibrationGasFullScaleRange", row.calRange);
            get<QAbstractSpinBox>(row.control)->setProperty("value", row.value);
            const QStringList captions = sure ? QStringList{"Sure", "Cancel"} : QStringList{"确认", "取消"};
            BoxAnswerer answer(captions.at(sure ? 0 : 1));
            get<QPushButton>(row.control + "Set")->click();
            QCOMPARE(answer.texts + answer.buttons, QStringList{row.texts.at(sure ? 0 : 1)} + captions);
            QCOMPARE(sent(*m_sent).join("\n"), sure ? row.requests : row.requests.section('|', 0, 0) + "|0|");
        }
    }

    void rangeUpdate_data()
    {
        QTest::addColumn<int>("calRange");
        QTest::addColumn<QString>("labels"); // target-gas range, factor range; the boxes' maxima follow them
        QTest::newRow("range 0") << 0 << "[0,0]sccm [0.3,2.00]";
        QTest::newRow("halves away from zero") << 10 << "[5,17]sccm [0.3,2.00]"; // 4.5 and 16.5
        QTest::newRow("1.5 x 1000") << 1000 << "[450,1650]sccm [0.3,2.00]";
        QTest::newRow("capped") << 50000 << "[22500,55000]sccm [0.3,1.10]";
    }
    void rangeUpdate()
    {
        QFETCH(int, calRange);
        QFETCH(QString, labels);
        make();
        reply("CalibrationGasFullScaleRange", calRange);
        QCOMPARE(get<QLabel>("targetRangeLabel")->text(), QStringLiteral("SCCM")); // no factor known yet
        reply("TargetGas2CalibrationGas", 1.5);
        QCOMPARE(get<QLabel>("targetRangeLabel")->text() + " " + get<QLabel>("factorLabel")->text(), labels);
        QCOMPARE(get<QSpinBox>("targetRange")->maximum(), labels.section(',', 1, 1).section(']', 0, 0).toInt());
        QCOMPARE(get<QDoubleSpinBox>("factor")->maximum(), labels.section(',', 2).chopped(1).toDouble());
        QVERIFY(m_sent->isEmpty());
    }

    void gridAndAccumulator()
    {
        make();
        auto* model = qobject_cast<QStandardItemModel*>(get<QTableView>("registerTable")->model());
        model->item(0, 1)->setText(QStringLiteral("10")); // before any reply: not connected yet
        for (const auto& [reg, value] : QList<QPair<const char*, double>>{{"Delay", 1200}, {"Delay", 1200},
                 {"TargetGasFullScaleRange", 5000}, {"SoftstartRate", 12.25}, {"ShutoffLevel", 2.5}, {"TargetNullValue", -0.25}})
            reply(reg, value);
        QCOMPARE(model->item(0, 1)->text() + " " + model->item(3, 1)->text(), QStringLiteral("1200 -0.25000000"));
        QCOMPARE(get<QSpinBox>("delay")->value() + get<QSpinBox>("targetRange")->value(), 6200);
        QCOMPARE(get<QDoubleSpinBox>("softStart")->value() + get<QDoubleSpinBox>("shutoffLevel")->value(), 14.75);
        QVERIFY(!model->item(2, 1)->isEditable() && model->item(9, 1)->isEditable()); // no read-back: shown only
        QVERIFY(m_sent->isEmpty());
        model->item(9, 1)->setText(QStringLiteral("1"));
        reply("ReadControlledFlowAccumulator", 1234.5678);
        QCOMPARE(get<QLineEdit>("accumulation")->text(), QStringLiteral("1234.57"));
        reply("ControlFlowAccumulatorMode", 3);
        QCOMPARE(get<QLineEdit>("accumulation")->text(), QStringLiteral("0"));
        get<QPushButton>("readAccumulation")->click();
        get<QPushButton>("eraseAccumulation")->click();
        QCOMPARE(sent(*m_sent), (QStringList{"ValveCommandMode|1|1" + kCommit, "ReadControlledFlowAccumulator|0|",
                                             "ControlFlowAccumulatorMode|1|0" + kCommit}));
    }

    void statusWord_data()
    {
        QTest::addColumn<Status>("row");
        const QStringList temps{"TempHihgAlarm", "TempHighWarn", "TempLowAlarm"};
        QTest::newRow("0") << Status{"en", 0, {}, "false:"};
        QTest::newRow("0x0301 cn") << Status{"cn", 0x0301, temps, "true:温度上限报警 温度上限警告 低温报警"};
        const QStringList texts{"TempHihgAlarm", "TempHighWarn", "TempLowAlarm", "TempLowWarn", "ValveCoilShortedAlarm",
            "ValveCoildOpenedAlarm", "SensorNegDriftAlarm", "SensorNegDriftWarning", "SensorPosDriftAlarm",
            "SensorPosDriftWarning"}; // those of kStatusBoxes; E2PROM_Alarm has none
        QTest::newRow("every bit") << Status{"en", 0xFFFF, kStatusBoxes, "true:" + texts.join(' ')};
        const QList<int> bits{0x0100, 0x0001, 0x0200, 0x0002, 0x0400, 0x0800, 0x1000, 0x0010, 0x2000, 0x0020, 0x4000};
        for (int b = 0; b < 16; ++b) { // each bit alone: its own box and text; five bits have neither
            const int i = bits.indexOf(1 << b);
            QTest::addRow("bit %d", b) << Status{"en", 1 << b, kStatusBoxes.mid(i, i < 0 ? 0 : 1), "true:" + texts.value(i)};
        }
    }
    void statusWord()
    {
        QFETCH(Status, row);
        make(row.lang);
        reply("ReadAlarms", row.word); // polling off: no effect
        get<QCheckBox>("statusActive")->click();
        reply("ReadAlarms", 0xFFFF ^ row.word); // every box changes
        reply("ReadAlarms", row.word);
        QCOMPARE(checked("status_", kStatusBoxes), row.boxes);
        QCOMPARE(flags(*m_alarm).mid(1), QStringList{row.emitted});
    }

    void enableMask()
    {
        for (const auto& [ticked, written, mask, shown] : QList<std::tuple<QStringList, QString, int, QStringList>>{
                 {kSettingBoxes, "3850", 0x0F0A, kSettingBoxes},
                 {{"TempAlarm", "SensorShiftWarn"}, "520", 0x0202, {"TempAlarm", "TempWarn"}},
                 {{"E2PROM_Alarm"}, "256", 0xF0F5, {}}}) {
            make();
            for (const QString& n : ticked)
                get<QCheckBox>("setting_" + n)->click();
            get<QPushButton>("setAlarm")->click();
            QCOMPARE(sent(*m_sent), QStringList{"EnableDisalbeAlarms|1|" + written + kCommit});
            reply("EnableDisalbeAlarms", mask);
            QCOMPARE(checked("setting_", kSettingBoxes), shown);
        }
    }

    void alarmPollAndClear()
    {
        make();
        get<QCheckBox>("statusActive")->click();
        reply("ReadAlarms", 0x0400);
        get<QPushButton>("clearAlarm")->click(); // only the next decoded word changes what is shown
        QCOMPARE(checked("status_", kStatusBoxes), QStringList{"CoilShorted"});
        QCOMPARE(m_alarm->count(), 1);
        // The first poll comes one interval (5 s) after "Active", as a background read.
        QElapsedTimer t;
        t.start();
        QVERIFY(m_sent->wait(10000));
        QVERIFY2(t.elapsed() >= 4500, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(sent(*m_sent), (QStringList{"ClearAlarms|1|1" + kCommit, "ReadAlarms|0||bg"}));
        get<QCheckBox>("statusActive")->click();
        QVERIFY(!get<QTimer>("pollTimer")->isActive());
    }

    void limits_data()
    {
        QTest::addColumn<Limit>("row"); // actions: 0 alarm, 1 full open, 2 full close
        const QString low = "true:UserDefTempLowLimit";
        QTest::newRow("equal to both") << Limit{"en", 5, 5, 2, 2, 5.0, "", ""};
        QTest::newRow("below low, open") << Limit{"en", 100, 5, 0, 1, 3.0, low, "ValveCommand|1|2"};
        QTest::newRow("below low, alarm") << Limit{"en", 100, 5, 2, 0, 3.0, low, ""};
        QTest::newRow("high below low") << Limit{"en", 10, 50, 1, 2, 30.0, "true:UserDefFlowpHighLimit",
                                                 "ValveCommand|1|2"};
        QTest::newRow("cn") << Limit{"cn", 10, 0, 0, 0, 11.0, "true:流量上限溢出", ""};
    }
    void limits()
    {
        QFETCH(Limit, row);
        make(row.lang);
        setLimits(row.high, row.low, row.highAction, row.lowAction);
        reply("ReadFlow", row.flow);
        QCOMPARE(flags(*m_limit).join(""), row.raised);
        QCOMPARE(sent(*m_sent).join(""), row.written);
    }

    void limitLifecycle()
    {
        make();
        setLimits(100, 0, 2, 0);
        QVERIFY(!get<QGroupBox>("limitBox")->isEnabled());
        reply("ReadFlow", 100.5);
        reply("ReadFlow", 100.6); // raised again, written again
        reply("ValveCommand", 1); // the device closed the valve: the check pauses
        reply("ReadFlow", 50);
        get<QCheckBox>("limitActive")->click(); // nor does switching off clear by itself
        QVERIFY(get<QGroupBox>("limitBox")->isEnabled());
        reply("ReadFlow", 50);
        QCOMPARE(m_limit->count(), 2);
        reply("ValveCommand", 0);
        reply("ReadFlow", 120);
        reply("ReadFlow", 120);
        QCOMPARE(flags(*m_limit), (QStringList{"true:UserDefFlowpHighLimit", "true:UserDefFlowpHighLimit", "false:"}));
        QCOMPARE(sent(*m_sent), (QStringList{"ValveCommand|1|1", "ValveCommand|1|1"}));
    }

    void recordControl()
    {
        QVERIFY(QFile(QStringLiteral("record")).open(QIODevice::WriteOnly)); // a file where the folder goes
        make();
        auto* edit = get<QLineEdit>("saveFileName");
        auto* active = get<QCheckBox>("saveActive");
        reply("MFCSerialNumber", "A1");
        reply("MFCSerialNumber", "A1");
        active->click();
        // One box that says so, not one per attempt; the program goes on, recording off.
        QList<QMessageBox*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                boxes << box;
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first()->text(), QStringLiteral("无法创建目录：record！"));
        QVERIFY(!active->isChecked() && m_save->isEmpty() && edit->text().isEmpty());
        boxes.first()->close();
        QVERIFY(QFile::remove(QStringLiteral("record")));

        const auto verifyName = [edit](const QString& serial) { // serial_yyMMdd_hhmmss.xlsx, proposed now
            const QRegularExpressionMatch m =
                QRegularExpression("^" + QRegularExpression::escape(serial) + "_(\\d{6}_\\d{6})\\.xlsx$").match(edit->text());
            const QDateTime at = QDateTime::fromString("20" + m.captured(1), "yyyyMMdd_hhmmss");
            QVERIFY2(m.hasMatch() && qAbs(at.secsTo(QDateTime::currentDateTime())) <= 2, qPrintable(edit->text()));
        };
        reply("MFCSerialNumber", "../A1\\x"); // may not name another folder
        QVERIFY(QFileInfo("record").isDir());
        verifyName(".._A1_x");
        const QString name = edit->text();
        get<QDoubleSpinBox>("saveInterval")->setValue(0.5);
        active->click();
        QVERIFY(!get<QGroupBox>("saveBox")->isEnabled());
        reply("MFCSerialNumber", "B2"); // the running record keeps its name
        QCOMPARE(edit->text(), name);
        active->click();
        QVERIFY(get<QGroupBox>("saveBox")->isEnabled());
        verifyName("B2");
        edit->setText(QStringLiteral("my_run")); // used as it stands, replaced when the record ends
        active->click();
        active->click();
        verifyName("B2");
        QCOMPARE(static_cast<const QList<QList<QVariant>>&>(*m_save),
                 (QList<QList<QVariant>>{{true, 0.5, "record/" + name}, {false, 0.5, "record/" + name},
                                         {true, 0.5, "record/my_run"}, {false, 0.5, "record/my_run"}}));
    }

    void recordNames_data() // a record never replaces a file nor leaves its folder
    {
        for (const char* c : {"lang", "name", "path", "told"}) // path: the one started, empty when refused
            QTest::addColumn<QString>(c);
        QTest::addColumn<QStringList>("taken");
        const QString refused = "Record not started: \"%1\" is not a file name inside the folder record.";
        QTest::newRow("free") << "en" << "run.xlsx" << "record/run.xlsx" << "" << QStringList{};
        QTest::newRow("taken, and its next") << "en" << "run.xlsx" << "record/run_3.xlsx"
                                             << "record/run.xlsx already exists; the record is written to record/run_3.xlsx."
                                             << QStringList{"run.xlsx", "run_2.xlsx"};
        for (const char* name : {"../tervancal.ini", "..\\data", "a/b.xlsx", "..", ""})
            QTest::newRow(name) << "en" << name << "" << refused.arg(name) << QStringList{};
        QTest::newRow("cn") << "cn" << "../x" << "" << QString::fromUtf8("记录未开始：“../x”不是文件夹record中的文件名。")
                            << QStringList{};
    }
    void recordNames()
    {
        QFETCH(QString, lang);
        QFETCH(QString, name);
        QFETCH(QString, path);
        QFETCH(QString, told);
        QFETCH(QStringList, taken);
        QVERIFY(QDir("record").removeRecursively() && QDir().mkdir("record"));
        for (const QString& t : taken) {
            QFile f("record/" + t);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("keep") == 4);
        }
        make(lang);
        auto* edit = get<QLineEdit>("saveFileName");
        edit->setText(name);
        get<QCheckBox>("saveActive")->click();
        using Emitted = QList<QList<QVariant>>;
        const Emitted started = path.isEmpty() ? Emitted{} : Emitted{{true, 60.0, path}};
        QCOMPARE(static_cast<const Emitted&>(*m_save), started);
        QCOMPARE(get<QCheckBox>("saveActive")->isChecked(), !path.isEmpty());
        QCOMPARE(edit->text(), path.isEmpty() ? name : path.mid(7)); // the name in use is shown
        QStringList texts;
        for (QMessageBox* box : m_page->findChildren<QMessageBox*>())
            texts << (box->isVisible() ? QStringList{box->text()} : QStringList());
        QCOMPARE(texts, told.isEmpty() ? QStringList{} : QStringList{told});
        for (const QString& t : taken) {
            QFile f("record/" + t);
            QVERIFY(f.open(QIODevice::ReadOnly) && f.readAll() == "keep");
        }
    }

    // In the main window's fixed size the page gets the room its layout needs,
    // the grid shows all names and values unscrolled, the file-name box the whole name.
    void fitsTheWindow()
    {
        // The offscreen platform picks 12 pt; desktops give 9 pt, as xcb does here.
        const auto restoreFont = qScopeGuard([old = QApplication::font()] { QApplication::setFont(old); });
        QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
        for (const QString& lang : QStringList{"en", "cn"}) {
            m_dir.writeIni({{QStringLiteral("lang"), lang}});
            UI_Test w(QStringList{});
            auto* page = w.findChild<UI_OthersV3*>();
            w.findChild<QTabWidget*>()->setEnabled(true);
            w.findChild<QTabWidget*>()->setCurrentWidget(page);
            for (const auto& [reg, value] : QList<QPair<const char*, QVariant>>{ // the widest texts of the device's answers
                     {"CalibrationGasFullScaleRange", 50000}, {"TargetGas2CalibrationGas", 1.0}, {"MFCSerialNumber", "SN12345"},
                     {"Delay", 25549}, {"TargetGasFullScaleRange", 55000}, {"ZeroConstant", 255}, {"TargetNullValue", -1234.5},
                     {"ReadValveVoltage", 4095}, {"ShutoffLevel", 99.99}, {"SoftstartRate", 100}, {"ReadTemperature", 4095},
                     {"ValveCommandMode", 1}})
                page->mfc_ack(makeReply(QLatin1String(reg), value));
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            // What the page cannot show whole: anything when it has less room than its layout
            // needs; the file name; grid rows and cells.
            QStringList clipped;
            const QSize need = page->minimumSizeHint();
            if (need.width() > page->width() || need.height() > page->height())
                clipped << QStringLiteral("page needs %1 x %2").arg(need.width()).arg(need.height());
            auto* name = find<QLineEdit>(page, "saveFileName");
            const int padding = 2 * (name->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 2);
            if (name->fontMetrics().horizontalAdvance(name->text()) + padding > name->width())
                clipped << name->text();
            auto* table = find<QTableView>(page, "registerTable");
            if (table->horizontalScrollBar()->isVisible() || table->verticalScrollBar()->isVisible())
                clipped << QStringLiteral("grid rows");
            const int margin = 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
            for (int row = 0; row < table->model()->rowCount(); ++row)
                for (int col = 0; col < 2; ++col) {
                    const QString text = table->model()->index(row, col).data().toString();
                    const int width = table->fontMetrics().horizontalAdvance(text) + margin;
                    if (text.isEmpty() || width > table->columnWidth(col))
                        clipped << "grid: " + text;
                }
            QVERIFY2(clipped.isEmpty(), qPrintable(lang + ": " + clipped.join(QStringLiteral(", "))));
        }
    }

private:
    void make(const QString& lang = QStringLiteral("en"))
    {
        m_dir.writeIni({{QStringLiteral("lang"), lang}});
        m_page = std::make_unique<UI_OthersV3>();
        m_sent = std::make_unique<QSignalSpy>(m_page.get(), &UI_OthersV3::commands_req);
        m_alarm = std::make_unique<QSignalSpy>(m_page.get(), &UI_OthersV3::error_alarmWarning_req);
        m_limit = std::make_unique<QSignalSpy>(m_page.get(), &UI_OthersV3::error_limit_req);
        m_save = std::make_unique<QSignalSpy>(m_page.get(), &UI_OthersV3::saveRecord_req);
    }
    template<typename T>
    T* get(const QString& name) { return find<T>(m_page.get(), name); }
    void reply(const char* reg, const QVariant& v) { m_page->mfc_ack(makeReply(QLatin1String(reg), v)); }
    QStringList checked(const QString& prefix, const QStringList& names)
    {
        QStringList out;
        for (const QString& n : names)
            out << (get<QCheckBox>(prefix + n)->isChecked() ? QStringList{n} : QStringList());
        return out;
    }
    void setLimits(int high, int low, int highAction, int lowAction)
    {
        get<QSpinBox>("highLimit")->setValue(high);
        get<QSpinBox>("lowLimit")->setValue(low);
        get<QComboBox>("highAction")->setCurrentIndex(highAction);
        get<QComboBox>("lowAction")->setCurrentIndex(lowAction);
        get<QCheckBox>("limitActive")->click();
    }

    WorkDir m_dir;
    std::unique_ptr<UI_OthersV3> m_page;
    std::unique_ptr<QSignalSpy> m_sent, m_alarm, m_limit, m_save;
};

QTEST_MAIN(TestOthers)
#include "tst_others.moc"
