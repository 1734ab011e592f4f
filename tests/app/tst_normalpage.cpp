// The operator's page fed directly, on a test clock: writes, readouts, radios, plots,
// the setpoint schedule and the flow record's files, read back with openpyxl.
#include "apptestutil.h"
#include "filesizelimit.h"
#include "flowrecord.h"
#include "openpyxlsheet.h"

#include <qcustomplot.h>

#include <numeric>
#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace apptest;

namespace {
QDateTime g_now;

QDateTime at(int day, const char* time)
{
    return QDateTime(QDate(2024, 3, day), QTime::fromString(QLatin1String(time), QStringLiteral("hh:mm:ss.zzz")));
}

// shown: readout and unit label; fullScale: read before a full scale of 0, which is not taken.
struct Readout { int unit; double percent; QString shown; int bar, fullScale; };
struct Radios { QString reg; int value; QString checked, enabled; };   // enabled: "setpoint", "pwm"
// Full scale 0: none read (300); unit -1: the limitation flag set; typed, box -1: not typed, not checked;
// cn: the control's caption on the page built in Chinese.
struct Write { QString control; int fullScale, unit; double typed; QString frames; double box; QString cn = {}; };
struct Drag { int slider, dx; Qt::MouseButton button; const char* when; int window, shift; }; // shift: s before now
// rowLimit counts the captions, 0: the sheet's; the record starts on the first file; files holding rows come
// first, each with its share of rows.
struct Files { int rowLimit; QString event; QStringList files; QList<int> rows; QString error; };

// While set, the file system of every caller in this program can neither rename
// without replacing nor give a file a second name (some network and FUSE mounts).
bool g_bareFs = false;
struct BareFs {
    explicit BareFs(bool on) { g_bareFs = on; }
    ~BareFs() { g_bareFs = false; }
};
} // namespace

// In place of the C library's, for every caller in this program (Qt's too); unset, they do what it does.
extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) noexcept
{
    if (g_bareFs) {
        errno = EINVAL;
        return -1;
    }
    return int(syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}
extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) noexcept
{
    if (g_bareFs) {
        errno = EPERM;
        return -1;
    }
    return int(syscall(SYS_linkat, fromDir, from, toDir, to, flags));
}
extern "C" int link(const char* from, const char* to) noexcept { return linkat(AT_FDCWD, from, AT_FDCWD, to, 0); }

Q_DECLARE_METATYPE(Readout)
Q_DECLARE_METATYPE(Radios)
Q_DECLARE_METATYPE(Write)
Q_DECLARE_METATYPE(Drag)
Q_DECLARE_METATYPE(Files)

class TestNormalPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { UI_NormalV3::setClock([] { return g_now; }); }
    void cleanupTestCase() { UI_NormalV3::setClock(nullptr); }
    void init()
    {
        m_page.reset(); // a record still open is saved while its folder is there
        m_dir.reset();
        m_dir = std::make_unique<WorkDir>();
        build(at(5, "10:00:00.000"));
    }

    void readouts_data()
    {
        QTest::addColumn<Readout>("row");
        QTest::newRow("99.999 %") << Readout{0, 99.999, "100.00 % of F.S.", 9999};
        QTest::newRow("100.2 %") << Readout{0, 100.2, "100.20 % of F.S.", 10000};
        QTest::newRow("-0.3 %") << Readout{0, -0.3, "-0.30 % of F.S.", 0};
        QTest::newRow("sccm") << Readout{1, 50.0, "150.00 sccm", 5000};
        QTest::newRow("slm") << Readout{2, 50.0, "0.15 slm", 5000};
        QTest::newRow("slm of 1000") << Readout{2, 50.0, "0.50 slm", 5000, 1000};
        QTest::newRow("mV") << Readout{3, 12.4, "620.00 mV", 1240};
        QTest::newRow("V") << Readout{4, 50.0, "2.50 V", 5000};
    }
    void readouts()
    {
        QFETCH(Readout, row);
        for (int fullScale : {row.fullScale, 0})
            reply("TargetGasFullScaleRange", fullScale);
        for (int pass = 0; pass < 2; ++pass) { // read before the unit change and after it
            reply("ReadFlow", row.percent);
            reply("ReadActiveSetpoint", row.percent);
            if (pass == 0)
                setUnit(row.unit);
            for (const QString& v : {QStringLiteral("flow"), QStringLiteral("activeSetpoint")})
                QCOMPARE(get<QLineEdit>(v + "Edit")->text() + " " + get<QLabel>(v + "Unit")->text(), row.shown);
            QVERIFY(row.shown.endsWith(" " + get<QLabel>("setpointUnit")->text()));
            QCOMPARE(get<QProgressBar>("flowBar")->value() + get<QProgressBar>("setpointBar")->value(), 2 * row.bar);
        }
        QVERIFY(m_spy->isEmpty());
    }

    void replyRadios_data()
    {
        QTest::addColumn<Radios>("row");
        QTest::newRow("CM 1") << Radios{"CM", 1, "cmDigital", "setpoint"};
        QTest::newRow("CM 2") << Radios{"CM", 2, "cmVoltage", ""};
        QTest::newRow("CM 3") << Radios{"CM", 3, "cmCurrent", ""};
        QTest::newRow("CM 4") << Radios{"CM", 4, "cmDirect", "pwm"};
        QTest::newRow("CM 0") << Radios{"CM", 0, "", ""};
        QTest::newRow("valve 1") << Radios{"ValveCommand", 1, "valveFullClose", "setpoint pwm"};
        QTest::newRow("valve 0") << Radios{"ValveCommand", 0, "valveNormal", "setpoint pwm"};
        QTest::newRow("valve 2") << Radios{"ValveCommand", 2, "valveFullOpen", "setpoint pwm"};
        QTest::newRow("valve 3") << Radios{"ValveCommand", 3, "", "setpoint pwm"};
    }
    void replyRadios()
    {
        QFETCH(Radios, row);
        reply(qPrintable(row.reg), row.value);
        for (const char* radio :
             {"cmDigital", "cmVoltage", "cmCurrent", "cmDirect", "valveFullOpen", "valveFullClose", "valveNormal"})
            QCOMPARE(get<QRadioButton>(radio)->isChecked(), row.checked == QLatin1String(radio));
        QCOMPARE(get<QGroupBox>("setpointGroup")->isEnabled(), row.enabled.contains("setpoint"));
        QCOMPARE(get<QGroupBox>("quickGroup")->isEnabled(), row.enabled.contains("setpoint"));
        QCOMPARE(get<QGroupBox>("pwmGroup")->isEnabled(), row.enabled.contains("pwm"));
        QVERIFY(m_spy->isEmpty());
    }

    void writes_data()
    {
        QTest::addColumn<Write>("row"); // clicked twice: a checked radio writes again
        for (const QString& w : QStringList{"valveFullOpen=ValveCommand|1|2", "valveFullClose=ValveCommand|1|1",
                                            "valveNormal=ValveCommand|1|0", "cmDigital=CM|1|1", "cmVoltage=CM|1|2",
                                            "cmCurrent=CM|1|3", "cmDirect=CM|1|4", "pwmMax=SetValveDrive|1|64760",
                                            "pwmMin=SetValveDrive|1|0", "zeroButton=ZeroStatusAndSetting|1|1"})
            QTest::newRow(qPrintable(w)) << Write{w.section('=', 0, 0), 0, 0, -1, w.section('=', 1), -1};
        for (int p : {0, 2, 5, 10, 25, 50, 75, 100, 120})
            QTest::addRow("%d%% in sccm", p) << Write{QStringLiteral("sp%1").arg(p), 0, 1, -1,
                                                      QStringLiteral("DigitalSetpoint|1|%1").arg(p), 3.0 * p};
        QTest::newRow("120% in mV") << Write{"sp120", 0, 3, -1, "DigitalSetpoint|1|120", 5000};
        QTest::newRow("Full Open, cn") << Write{"valveFullOpen", 0, 0, -1, "ValveCommand|1|2", -1, "全开"};
        QTest::newRow("Full Close, cn") << Write{"valveFullClose", 0, 0, -1, "ValveCommand|1|1", -1, "全关"};
        QTest::newRow("limited valve")
            << Write{"valveFullClose", 0, -1, -1, "ValveCommand|1|1; AppDelay|2|1500", -1};
        QTest::newRow("limited mode") << Write{"cmVoltage", 0, -1, -1, "CM|1|2", -1};
        // Typed setpoints; values beyond the box's maximum are clamped.
        QTest::newRow("37.5 %") << Write{"setpointSet", 0, 0, 37.5, "DigitalSetpoint|1|37.5", 37.5};
        QTest::newRow("100 sccm of 300") << Write{"setpointSet", 0, 1, 100.0, "DigitalSetpoint|1|33.3333", 100};
        QTest::newRow("sccm top") << Write{"setpointSet", 0, 1, 1e6, "DigitalSetpoint|1|120", 360};
        QTest::newRow("2.5 slm of 5000") << Write{"setpointSet", 5000, 2, 2.5, "DigitalSetpoint|1|50", 2.5};
        // The box shows 0.018 slm rounded up, as 0.02: still no more than 120 %.
        QTest::newRow("slm top, 15 sccm") << Write{"setpointSet", 15, 2, 1e6, "DigitalSetpoint|1|120", 0.02};
        QTest::newRow("2500 mV") << Write{"setpointSet", 0, 3, 2500.0, "DigitalSetpoint|1|50", 2500};
        QTest::newRow("1 V") << Write{"setpointSet", 0, 4, 1.0, "DigitalSetpoint|1|20", 1};
    }
    void writes()
    {
        QFETCH(Write, row);
        if (!row.cn.isEmpty()) {
            m_dir->writeIni({{"lang", "cn"}});
            build(g_now);
            QCOMPARE(get<QAbstractButton>(row.control)->text(), row.cn);
        }
        if (row.fullScale)
            reply("TargetGasFullScaleRange", row.fullScale);
        if (row.unit >= 0)
            setUnit(row.unit);
        m_page->limitation_sync(row.unit < 0);
        if (row.typed >= 0)
            get<QDoubleSpinBox>("setpointBox")->setValue(row.typed);
        get<QAbstractButton>(row.control)->click();
        get<QAbstractButton>(row.control)->click();
        QCOMPARE(sent(*m_spy), (QStringList{row.frames, row.frames}));
        QVERIFY(row.box < 0 || get<QDoubleSpinBox>("setpointBox")->value() == row.box);
    }

    void radioKeys_data() // real key events on the focused radio: arrows move the focus, only Space chooses
    {
        for (const char* c : {"clicked", "keys", "focus", "checked"})
            QTest::addColumn<QString>(c);
        QTest::addColumn<QStringList>("frames");
        QTest::newRow("Normal, Up") << "valveNormal" << "Up" << "valveFullClose" << "valveNormal"
                                    << QStringList{"ValveCommand|1|0"};
        QTest::newRow("Digital, Down") << "cmDigital" << "Down" << "cmVoltage" << "cmDigital" << QStringList{"CM|1|1"};
        QTest::newRow("Space after Up") << "valveNormal" << "Up,Space" << "valveFullClose" << "valveFullClose"
                                        << QStringList{"ValveCommand|1|0", "ValveCommand|1|1"};
    }
    void radioKeys()
    {
        QFETCH(QString, clicked);
        QFETCH(QString, keys);
        QFETCH(QString, focus);
        QFETCH(QString, checked);
        QFETCH(QStringList, frames);
        m_page->show();
        QApplication::setActiveWindow(m_page.get());
        QVERIFY(QTest::qWaitForWindowActive(m_page.get()));
        auto* radio = get<QRadioButton>(clicked);
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(8, radio->height() / 2)); // on its circle
        for (const QString& key : keys.split(','))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(QKeySequence(key)[0]));
        QCOMPARE(sent(*m_spy), frames);
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QVERIFY(get<QRadioButton>(checked)->isChecked());
    }

    void missingManual() // the page says where it looked
    {
        m_page->show();
        get<QPushButton>("helperButton")->click();
        QCOMPARE(get<QMessageBox>("manualMessage")->text(),
                 "The instruction manual is missing:\n" + QDir::current().absoluteFilePath("doc/InstructionManual.pdf"));
    }

    void timeWindowAcrossMidnight()
    {
        build(at(5, "23:59:50.000"));
        reply("ReadActiveSetpoint", 45);
        reply("ReadFlow", 50, 1.0);
        QCOMPARE(QPointF(point(1).key, point(1).value), QPointF(86391, 50));
        QCOMPARE(point(1, 1).value, 45.0);
        // The first window stands still and the header tick fills it, past midnight too.
        g_now = at(6, "00:00:05.000");
        m_page->fill_header();
        QCOMPARE(point(2).key, 86405.0);
        QCOMPARE(range(), QCPRange(86390, 86414));
        reply("ReadFlow", 30, 25.0); // 00:00:30: the right edge follows the clock
        QCOMPARE(range(), QCPRange(86406, 86430));
        m_page->fill_header();
        QVERIFY(plot()->graph(0)->dataCount() == 4 && !get<QTimer>("headerTimer")->isActive());
        plot()->replot();
        for (const QString& label : plot()->xAxis->tickVectorLabels())
            QVERIFY2(label.startsWith(QLatin1String("00:00:")), qPrintable(label));
    }

    void dragShift_data()
    {
        QTest::addColumn<Drag>("row");
        QTest::newRow("150 px, 24 s") << Drag{1, 150, Qt::LeftButton, "10:01:00.000", 24, 6};
        QTest::newRow("150 px, 50 s") << Drag{2, 150, Qt::RightButton, "10:01:00.000", 50, 12};
        QTest::newRow("-300 px, 240 s") << Drag{5, -300, Qt::LeftButton, "10:01:00.000", 240, -120};
        QTest::newRow("middle button") << Drag{1, 150, Qt::MiddleButton, "10:01:00.000", 24, 0};
        QTest::newRow("first window") << Drag{1, 150, Qt::LeftButton, "10:00:05.000", 24, 0};
    }
    void dragShift()
    {
        QFETCH(Drag, row);
        g_now = at(5, row.when);
        m_page->findChild<QSlider*>()->setValue(row.slider); // the time scale: window width, timer interval
        QCOMPARE(get<QTimer>("axisTimer")->interval(), row.window * 1000);
        mouse(QEvent::MouseButtonPress, 100, row.button);
        mouse(QEvent::MouseButtonRelease, 100 + row.dx, row.button);
        g_now = at(5, "10:01:00.000");
        reply("ReadFlow", 10, 0.5);
        QCOMPARE(range(), QCPRange(36060.5 - row.shift - row.window, 36060.5 - row.shift));
    }

    void heldPointsDrawnLater()
    {
        mouse(QEvent::MouseButtonPress, 10); // held while a button is down, drawn at their own time on release
        reply("ReadFlow", 2, 0.04);
        QCOMPARE(plot()->graph(0)->dataCount(), 1);
        mouse(QEvent::MouseButtonRelease, 10);
        QCOMPARE(plot("maxPlot")->graph(0)->data()->at(1)->key, 36000.04);
        auto* button = get<QPushButton>("dynamicButton"); // held while static, drawn when dynamic again
        button->click();
        QCOMPARE(button->text(), QStringLiteral("Dynamic Curve"));
        const QCPRange frozen = range();
        reply("ReadFlow", 20, 1.0);
        reply("ReadFlow", 21, 1.0);
        QVERIFY(range() == frozen && plot()->graph(0)->dataCount() == 2);
        button->click();
        QCOMPARE(button->text(), QStringLiteral("Static Curve"));
        QCOMPARE(QPointF(point(3).key, point(3).value), QPointF(36002.04, 21));
    }

    void sixHoursStatic() // a reply every 10 s: old points go, also those held while static
    {
        build(at(5, "21:00:00.000"));
        m_page->onClicked_dynamic(false);
        for (int i = 0; i < 6 * 360; ++i)
            reply("ReadFlow", i % 2 ? 40 : 60, 10.0);
        m_page->onClicked_dynamic(false);
        const auto data = plot("maxPlot")->graph(1)->data();
        const double now = m_page->plotTime();
        QVERIFY(qAbs(data->at(0)->key - (now - UI_NormalV3::RETENTION_SECONDS)) <= 70);
        QCOMPARE(data->at(data->size() - 1)->key, now);
        get<QPushButton>("microButton")->click(); // the recent flow with a quarter of its span around it
        QCOMPARE(plot("maxPlot")->yAxis->range(), QCPRange(35, 65));
        for (int i = 0; i < 161; ++i)
            reply("ReadFlow", 50, 10.0);
        get<QPushButton>("microButton")->click(); // or 0.05 when it hardly moves
        QCOMPARE(plot("maxPlot")->yAxis->range(), QCPRange(49.95, 50.05));
        get<QPushButton>("originButton")->click();
        QCOMPARE(plot("maxPlot")->yAxis->range(), QCPRange(-2, 125));
    }

    void recordRowsWhileStatic()
    {
        m_page->saveRecord_req(false, 1, QString()); // without a record: nothing
        m_page->saveRecord_req(true, 1, QStringLiteral("e.xlsx"));
        flowStep(0.999, 1, 2); // stopped before the first interval: captions only
        m_page->saveRecord_req(true, 0.1, QStringLiteral("i.xlsx")); // closes the first record
        QVERIFY(!QFile::exists(QStringLiteral("i.xlsx"))); // nothing is written at start
        QCOMPARE(dataRows("e.xlsx"), QList<QStringList>{});
        // Flow replies every 40 ms: a row on every third, none closer than the interval, each saved at once.
        m_page->onClicked_dynamic(false);
        QList<QStringList> expected;
        for (int i = 1; i <= 25; ++i) {
            const QStringList row = flowStep(0.04, i * 1e-7, i * 11.111111 - 50);
            if (i % 3 == 0)
                expected << row;
            if (i == 6)
                QCOMPARE(dataRows("i.xlsx"), expected);
        }
        m_page->saveRecord_req(false, 0.1, QString());
        m_page->saveRecord_req(false, 0.1, QString());
        const QList<QStringList> rows = dataRows("i.xlsx");
        QCOMPARE(rows.value(0), (QStringList{"2024/03/05 10:00:01:119", "3e-07", "-16.6667"})); // 6 digits
        QCOMPARE(rows, expected);
        QCOMPARE(QDir().entryList({"*.xlsx"}, QDir::Files), (QStringList{"e.xlsx", "i.xlsx"}));
        QVERIFY(m_errors->isEmpty());
    }

    void recordFiles_data()
    {
        QTest::addColumn<Files>("row");
        QTest::newRow("sheet full") << Files{4, "", {"r.xlsx", "r_2.xlsx", "r_3.xlsx", "r_4.xlsx"}, {3, 3, 3, 1}};
        QTest::newRow("name taken") << Files{4, "taken", {"r.xlsx", "r_3.xlsx", "r_4.xlsx", "r_2.xlsx"}, {3, 3, 1}};
        QTest::newRow("replaced by another program") << Files{0, "replaced", {"r.xlsx", "r_2.xlsx"}, {4, 3}};
        QTest::newRow("no rename, no link") << Files{0, "bare", {"r.xlsx"}, {4}};
        QTest::newRow("250-byte name") << Files{0, "", {QString(245, 'r') + ".xlsx"}, {4}};
        // A full disk until 3 rows wait: none is lost; told once, in the user's language.
        QTest::newRow("save fails") << Files{0, "en", {"r.xlsx"}, {4}, "Record not saved: r.xlsx"};
        QTest::newRow("save fails, cn") << Files{0, "cn", {"r.xlsx"}, {4}, QString::fromUtf8("记录未保存: r.xlsx")};
    }
    void recordFiles()
    {
        QFETCH(Files, row);
        auto& [rowLimit, event, files, rows, error] = row;
        m_dir->writeIni({{"lang", event == "cn" ? "cn" : "en"}});
        QFile taken(QStringLiteral("r_2.xlsx"));
        QVERIFY(event != "taken" || (taken.open(QIODevice::WriteOnly) && taken.write("keep") == 4));
        taken.close();
        std::optional<FileSizeLimit> full;
        QVERIFY(error.isEmpty() || full.emplace(64).ok);
        const BareFs bare(event == "bare");
        if (rowLimit)
            m_page->findChild<FlowRecord*>()->setRowLimit(rowLimit);
        m_page->saveRecord_req(true, 1, files.first());
        QList<QStringList> expected;
        while (expected.size() < std::accumulate(rows.begin(), rows.end(), 0)) {
            expected << flowStep(1, expected.size(), expected.size() * 0.5);
            if (expected.size() == 3 && !error.isEmpty()) {
                const QString told = m_errors->value(0).value(1).toString();
                QVERIFY2(m_errors->count() == 1 && m_errors->at(0).at(0).toBool() && told.startsWith(error),
                         qPrintable(told));
                full.reset();
            }
            if (expected.size() == 4 && event == "replaced") // a copy takes its place
                QVERIFY(QFile::copy("r.xlsx", "c") && QFile::remove("r.xlsx") && QFile::rename("c", "r.xlsx"));
        }
        m_page->saveRecord_req(false, 1, QString());
        QCOMPARE(m_errors->count(), error.isEmpty() ? 0 : 2);
        QVERIFY(error.isEmpty() || m_errors->at(1) == (QList<QVariant>{false, QString()}));
        for (int f = 0, first = 0; f < rows.size(); first += rows.at(f++)) // every row once, in order
            QCOMPARE(dataRows(files.at(f)), expected.mid(first, rows.at(f)));
        files.sort();
        QCOMPARE(QDir().entryList({"r*"}, QDir::Files), files); // no temporary left either
        QVERIFY(event != "taken" || (taken.open(QIODevice::ReadOnly) && taken.readAll() == "keep"));
    }

    // The started name is taken before the first save: by another program's file, or by a record
    // started earlier on the same name (nothing on disk yet at the start). Neither is replaced.
    void recordNameTaken_data()
    {
        QTest::addColumn<bool>("byRecord");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("told");
        QTest::addColumn<bool>("bareFs");
        const QString en = "r.xlsx already exists; the record is written to r_2.xlsx.";
        QTest::newRow("file appears") << false << "en" << en << false;
        QTest::newRow("two records") << true << "en" << en << false;
        QTest::newRow("cn") << false << "cn" << QString::fromUtf8("r.xlsx已存在；记录写入r_2.xlsx。") << false;
        QTest::newRow("file appears, no rename, no link") << false << "en" << en << true;
    }
    void recordNameTaken()
    {
        QFETCH(bool, byRecord);
        QFETCH(QString, lang);
        QFETCH(QString, told);
        QFETCH(bool, bareFs);
        const BareFs bare(bareFs);
        m_dir->writeIni({{"lang", lang}});
        build(g_now);
        FlowRecord other;
        other.setClock([] { return g_now; });
        QSignalSpy otherTold(&other, &FlowRecord::nameTaken);
        if (byRecord)
            other.start(1, QStringLiteral("r.xlsx"));
        g_now = g_now.addMSecs(500);
        m_page->saveRecord_req(true, 1, QStringLiteral("r.xlsx"));
        QFile foreign(QStringLiteral("r.xlsx"));
        QVERIFY(byRecord || (foreign.open(QIODevice::WriteOnly) && foreign.write("keep") == 4));
        foreign.close();
        QList<QStringList> mine, theirs;
        for (int i = 0; i < 3; ++i) {
            g_now = g_now.addMSecs(500);
            other.step(i, -i); // the earlier record saves first
            theirs << QStringList{g_now.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss:zzz")), QString::number(i),
                                  QString::number(-i)};
            mine << flowStep(0.5, i + 10, i + 20);
        }
        m_page->saveRecord_req(false, 1, QString());
        QCOMPARE(dataRows("r_2.xlsx"), mine);
        QVERIFY(!byRecord || dataRows("r.xlsx") == theirs);
        QVERIFY(byRecord || (foreign.open(QIODevice::ReadOnly) && foreign.readAll() == "keep"));
        QCOMPARE(QDir().entryList({"r*"}, QDir::Files), (QStringList{"r.xlsx", "r_2.xlsx"}));
        QStringList texts;
        for (QMessageBox* box : m_page->findChildren<QMessageBox*>())
            texts << (box->isVisible() ? QStringList{box->text()} : QStringList());
        QCOMPARE(texts, QStringList{told});
        QVERIFY(m_errors->isEmpty() && otherTold.isEmpty());
    }

    void finalSave_data() // the program ends: its last save, and a box when it fails (the status line is gone)
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("told"); // empty: saved, no box
        QTest::newRow("saved") << "en" << "";
        QTest::newRow("not saved") << "en" << "Record not saved: r.xlsx: |The rows recorded since the last save are lost.";
        QTest::newRow("not saved, cn") << "cn" << QString::fromUtf8("记录未保存: r.xlsx: |上次保存之后记录的行已丢失。");
    }
    void finalSave()
    {
        QFETCH(QString, lang);
        QFETCH(QString, told);
        m_dir->writeIni({{"lang", lang}});
        build(g_now);
        std::optional<FileSizeLimit> full; // a full disk from the start
        QVERIFY(told.isEmpty() || full.emplace(64).ok);
        m_page->saveRecord_req(true, 1, QStringLiteral("r.xlsx"));
        const QStringList row = flowStep(1, 1, 2);
        BoxAnswerer boxes;
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCOMPARE(qApp->exec(), 0);
        full.reset();
        QCOMPARE(boxes.texts.size(), told.isEmpty() ? 0 : 1);
        QVERIFY2(told.isEmpty() || (boxes.texts.at(0).startsWith(told.section('|', 0, 0))
                                    && boxes.texts.at(0).endsWith('\n' + told.section('|', 1))),
                 qPrintable(boxes.texts.value(0)));
        QVERIFY(!told.isEmpty() || dataRows("r.xlsx") == QList<QStringList>{row});
    }

    void schedule()
    {
        auto* timer = get<QTimer>("scheduleTimer");
        QVERIFY(!timer->isActive());
        setNode(3, 12, 0, 0, 90);
        QVERIFY(timer->isActive() && timer->interval() == 900);
        setNode(1, 12, 0, 0, 40);
        setNode(2, 8, 5, 0, 12.5); // never due
        QCOMPARE(node<QLineEdit>(2, "Current")->text(), QStringLiteral("8:5:0 @ 12.5 % of FS."));
        node<QDoubleSpinBox>(1, "Target")->setValue(25); // taken when the node fires
        node<QSpinBox>(1, "Hour")->setValue(13);         // taken at "Set" only
        setUnit(UI_NormalV3::UNIT_SCCM);
        reply("CM", CM_VOLTAGE); // fires in every mode
        for (const char* t : {"11:59:59.950", "12:00:00.100", "12:00:00.999", "12:00:01.000", "13:00:00.000"}) {
            g_now = at(5, t);
            m_page->schedule_poll();
        }
        g_now = at(6, "12:00:00.500"); // and every day; the lowest node wins
        m_page->schedule_poll();
        QCOMPARE(sent(*m_spy), QStringList({"DigitalSetpoint|1|25", "DigitalSetpoint|1|25", "DigitalSetpoint|1|25"}));
        QCOMPARE(get<QDoubleSpinBox>("setpointBox")->value(), 75.0);
    }

private:
    void build(const QDateTime& start)
    {
        g_now = start;
        m_page = std::make_unique<UI_NormalV3>(false);
        m_spy = std::make_unique<QSignalSpy>(m_page.get(), &UI_NormalV3::commands_req);
        m_errors = std::make_unique<QSignalSpy>(m_page.get(), &UI_NormalV3::error_record_req);
    }
    template<typename T>
    T* get(const QString& name) { return find<T>(m_page.get(), name); }
    void reply(const char* reg, double v, double advanceSeconds = 0)
    {
        g_now = g_now.addMSecs(qRound64(advanceSeconds * 1000));
        m_page->mfc_ack(makeReply(QLatin1String(reg), v));
    }
    void setUnit(int u) { get<QRadioButton>(QStringLiteral("unit%1").arg(u))->click(); }
    void mouse(QEvent::Type type, int x, Qt::MouseButton b = Qt::LeftButton)
    {
        QMouseEvent e(type, QPointF(x, 50), b, type == QEvent::MouseButtonPress ? b : Qt::NoButton, Qt::NoModifier);
        type == QEvent::MouseButtonPress ? m_page->mousePress_smallPlot(&e) : m_page->mouseRelease_smallPlot(&e);
    }
    // Replies of active setpoint and flow, `seconds` after the last flow; the record row they make when due.
    QStringList flowStep(double seconds, double setpoint, double flow)
    {
        reply("ReadActiveSetpoint", setpoint);
        reply("ReadFlow", flow, seconds);
        return {g_now.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss:zzz")), QString::number(setpoint),
                QString::number(flow)};
    }
    // The data rows of a record file, read with openpyxl; its captions are checked first.
    static QList<QStringList> dataRows(const QString& path)
    {
        const OpenpyxlSheet sheet = readWithOpenpyxl(path);
        if (!sheet.error.isEmpty() || sheet.rows.value(0) != QStringList{"日期时间", "设定流量", "瞬时流量"})
            return {{QStringLiteral("bad file"), path, sheet.error}};
        return sheet.rows.mid(1);
    }
    QCustomPlot* plot(const char* name = "smallPlot") { return get<QCustomPlot>(name); }
    QCPRange range() { return plot()->xAxis->range(); }
    QCPGraphData point(int i, int graph = 0) { return *plot()->graph(graph)->data()->at(i); }
    template<typename T>
    T* node(int n, const char* what)
    {
        return find<T>(m_page->m_scheduleWindow, QStringLiteral("node%1%2").arg(n).arg(what));
    }
    void setNode(int n, int h, int m, int s, double target)
    {
        node<QSpinBox>(n, "Hour")->setValue(h);
        node<QSpinBox>(n, "Minute")->setValue(m);
        node<QSpinBox>(n, "Second")->setValue(s);
        node<QDoubleSpinBox>(n, "Target")->setValue(target);
        node<QPushButton>(n, "Set")->click();
    }

    std::unique_ptr<WorkDir> m_dir;
    std::unique_ptr<UI_NormalV3> m_page;
    std::unique_ptr<QSignalSpy> m_spy, m_errors;
};

QTEST_MAIN(TestNormalPage)
#include "tst_normalpage.moc"
