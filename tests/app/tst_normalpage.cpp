// The operator's page fed directly, on a test clock: setpoint writes in every
// unit, readouts, radios and groups set by replies, what each control writes;
// the plots' time window, dragging, frozen curves, zoom, retention, records;
// the setpoint schedule.
#include "apptestutil.h"
#include "xlsxdocument.h"

#include <qcustomplot.h>

#include <tuple>

using namespace apptest;

namespace {
QDateTime g_now;

QDateTime at(int day, const char* time)
{
    return QDateTime(QDate(2024, 3, day), QTime::fromString(QLatin1String(time), QStringLiteral("hh:mm:ss.zzz")));
}

struct Setpoint { int fullScale, unit; double typed; QString written; }; // full scale 0: none read (300)
struct Readout { int unit; double percent; QString shown; int bar; };   // shown: readout and unit label
struct Radios { QString reg; int value; QString checked, enabled; };   // enabled: "setpoint", "pwm"
struct Click { QString control; int unit; QString frames; double box; }; // unit -1: limitation flag set
struct Drag { int slider, dx; Qt::MouseButton button; const char* when; int window, shift; }; // shift: s before now
} // namespace
Q_DECLARE_METATYPE(Setpoint)
Q_DECLARE_METATYPE(Readout)
Q_DECLARE_METATYPE(Radios)
Q_DECLARE_METATYPE(Click)
Q_DECLARE_METATYPE(Drag)

class TestNormalPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { UI_NormalV3::setClock([] { return g_now; }); }
    void cleanupTestCase() { UI_NormalV3::setClock(nullptr); }
    void init() { build(at(5, "10:00:00.000")); }

    void setpointWrite_data()
    {
        QTest::addColumn<Setpoint>("row"); // typed values beyond the box's maximum are clamped
        QTest::newRow("percent") << Setpoint{0, 0, 37.5, "37.5"};
        QTest::newRow("100 sccm of 300") << Setpoint{0, 1, 100.0, "33.3333"};
        QTest::newRow("sccm top") << Setpoint{0, 1, 1e6, "120"};
        QTest::newRow("2.5 slm of 5000") << Setpoint{5000, 2, 2.5, "50"};
        // The box shows 0.018 and 0.366 slm rounded up, as 0.02 and 0.37.
        QTest::newRow("slm top, 15 sccm") << Setpoint{15, 2, 1e6, "120"};
        QTest::newRow("slm top, 305 sccm") << Setpoint{305, 2, 1e6, "120"};
        QTest::newRow("2500 mV") << Setpoint{0, 3, 2500.0, "50"};
        QTest::newRow("1 V") << Setpoint{0, 4, 1.0, "20"};
    }
    void setpointWrite()
    {
        QFETCH(Setpoint, row);
        if (row.fullScale)
            reply("TargetGasFullScaleRange", row.fullScale);
        setUnit(row.unit);
        get<QDoubleSpinBox>("setpointBox")->setValue(row.typed);
        get<QPushButton>("setpointSet")->click();
        QCOMPARE(sent(*m_spy), QStringList{"DigitalSetpoint|1|" + row.written});
    }

    void readouts_data()
    {
        QTest::addColumn<Readout>("row");
        QTest::newRow("99.999 %") << Readout{0, 99.999, "100.00 % of F.S.", 9999};
        QTest::newRow("100.2 %") << Readout{0, 100.2, "100.20 % of F.S.", 10000};
        QTest::newRow("-0.3 %") << Readout{0, -0.3, "-0.30 % of F.S.", 0};
        QTest::newRow("sccm") << Readout{1, 50.0, "150.00 sccm", 5000};
        QTest::newRow("slm") << Readout{2, 50.0, "0.15 slm", 5000};
        QTest::newRow("mV") << Readout{3, 12.4, "620.00 mV", 1240};
        QTest::newRow("V") << Readout{4, 50.0, "2.50 V", 5000};
    }
    void readouts()
    {
        QFETCH(Readout, row);
        for (int pass = 0; pass < 2; ++pass) { // read before the unit change and after it
            reply("ReadFlow", row.percent);
            reply("ReadActiveSetpoint", row.percent);
            if (pass == 0)
                setUnit(row.unit);
            QCOMPARE(get<QLineEdit>("flowEdit")->text() + " " + get<QLabel>("flowUnit")->text(), row.shown);
            QCOMPARE(get<QLineEdit>("activeSetpointEdit")->text() + " " + get<QLabel>("activeSetpointUnit")->text(), row.shown);
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
        QVERIFY(get<QPushButton>("scheduleButton")->isEnabled() && m_spy->isEmpty());
    }

    void clicks_data()
    {
        QTest::addColumn<Click>("row"); // clicked twice: a checked radio writes again
        for (const QString& w : QStringList{"valveFullOpen=ValveCommand|1|2", "valveFullClose=ValveCommand|1|1",
                                            "valveNormal=ValveCommand|1|0", "cmDigital=CM|1|1", "cmVoltage=CM|1|2",
                                            "cmCurrent=CM|1|3", "cmDirect=CM|1|4", "pwmMax=SetValveDrive|1|64760",
                                            "pwmMin=SetValveDrive|1|0", "zeroButton=ZeroStatusAndSetting|1|1"})
            QTest::newRow(qPrintable(w)) << Click{w.section('=', 0, 0), 0, w.section('=', 1), -1};
        for (int p : {0, 2, 5, 10, 25, 50, 75, 100, 120})
            QTest::addRow("%d%% in sccm", p)
                << Click{QStringLiteral("sp%1").arg(p), 1, QStringLiteral("DigitalSetpoint|1|%1").arg(p), 3.0 * p};
        QTest::newRow("120% in mV") << Click{"sp120", 3, "DigitalSetpoint|1|120", 5000};
        QTest::newRow("limited valve") << Click{"valveFullClose", -1, "ValveCommand|1|1; AppDelay|2|1500", -1};
        QTest::newRow("limited mode") << Click{"cmVoltage", -1, "CM|1|2", -1};
    }
    void clicks()
    {
        QFETCH(Click, row);
        if (row.unit >= 0)
            setUnit(row.unit);
        m_page->limitation_sync(row.unit < 0);
        get<QAbstractButton>(row.control)->click();
        get<QAbstractButton>(row.control)->click();
        QCOMPARE(sent(*m_spy), (QStringList{row.frames, row.frames}));
        QVERIFY(row.box < 0 || get<QDoubleSpinBox>("setpointBox")->value() == row.box);
    }

    void oddReplies()
    {
        reply("TargetGasFullScaleRange", 1000);
        setUnit(UI_NormalV3::UNIT_SLM);
        reply("TargetGasFullScaleRange", 0); // would divide by zero: the last one stays
        reply("ReadFlow", 50);
        reply("readflow", 70);
        reply("DigitalSetpoint", 70);
        QCOMPARE(get<QLineEdit>("flowEdit")->text(), QStringLiteral("0.50"));
        QCOMPARE(get<QDoubleSpinBox>("setpointBox")->maximum() + get<QDoubleSpinBox>("setpointBox")->value(), 1.2);
        m_page->resetReadouts({QStringLiteral("ReadFlow")});
        QCOMPARE(get<QLineEdit>("activeSetpointEdit")->text(), QStringLiteral("0.00"));
        QCOMPARE(get<QProgressBar>("flowBar")->value(), 0);
        m_page->show(); // the manual is missing here: the page says where it looked
        get<QPushButton>("helperButton")->click();
        QCOMPARE(get<QMessageBox>("manualMessage")->text(),
                 "The instruction manual is missing:\n" + QDir::current().absoluteFilePath("doc/InstructionManual.pdf"));
        QVERIFY(m_spy->isEmpty());
    }

    void timeWindowAcrossMidnight()
    {
        build(at(5, "23:59:50.000"));
        reply("ReadActiveSetpoint", 45);
        reply("ReadFlow", 50, 1.0);
        QCOMPARE(QPointF(point(1).key, point(1).value), QPointF(86391, 50));
        QCOMPARE(point(1, 1).value, 45.0);
        QCOMPARE(plot("maxPlot")->graph(0)->dataCount(), 2);
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
        if (row.slider != 1) // the time scale: window width, timer interval
            QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("Slider value: %1").arg(row.slider)));
        m_page->findChild<QSlider*>()->setValue(row.slider);
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

    void microShowAndOrigin()
    {
        for (const auto& [low, high, shown] : QList<std::tuple<double, double, QCPRange>>{{50, 50, QCPRange(49.95, 50.05)},
                                                                                        {40, 60, QCPRange(35, 65)}}) {
            init();
            for (int i = 0; i < 161; ++i) // pushes out the construction step's 0
                reply("ReadFlow", i % 2 ? low : high, 0.04);
            QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("min: %1, max: %2").arg(low).arg(high)));
            get<QPushButton>("microButton")->click();
            QCOMPARE(plot("maxPlot")->yAxis->range(), shown);
            get<QPushButton>("originButton")->click();
            QCOMPARE(plot("maxPlot")->yAxis->range(), QCPRange(-2, 125));
        }
    }

    void retention()
    {
        for (bool frozen : {false, true}) {
            build(at(5, "21:00:00.000"));
            if (frozen)
                m_page->onClicked_dynamic(false);
            for (int i = 0; i < 6 * 360; ++i) // six hours of a reply every 10 s
                reply("ReadFlow", i % 100, 10.0);
            if (frozen)
                m_page->onClicked_dynamic(false);
            const auto data = plot("maxPlot")->graph(1)->data();
            const double now = m_page->plotTime();
            QVERIFY2(qAbs(data->at(0)->key - (now - UI_NormalV3::RETENTION_SECONDS)) <= 70, frozen ? "static" : "dynamic");
            QCOMPARE(data->at(data->size() - 1)->key, now);
        }
    }

    void recordRowsInEveryMode()
    {
        QSignalSpy error(m_page.get(), &UI_NormalV3::error_record_req);
        m_page->saveRecord_req(true, 1.0, QStringLiteral("rec.xlsx"));
        reply("ReadFlow", 33.333333, 0.5); // too early for a row
        m_page->onClicked_dynamic(false);
        reply("ReadActiveSetpoint", 12.5);
        reply("ReadFlow", 7, 0.542);
        m_page->saveRecord_req(false, 1.0, QString());
        const xlsx::Document doc(QStringLiteral("rec.xlsx"));
        QCOMPARE(doc.rowCount(), 2);
        QCOMPARE(doc.read(2, 1).toString() + " " + doc.read(2, 2).toString() + " " + doc.read(2, 3).toString(),
                 QStringLiteral("2024/03/05 10:00:01:042 12.5 7"));
        m_page->saveRecord_req(true, 0.1, QStringLiteral("no-such-folder/rec.xlsx")); // failures reach the window
        reply("ReadFlow", 1, 0.2);
        QVERIFY(error.count() == 1 && error.at(0).at(0).toBool());
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
        // "Set by Time" asks the main window to show the window beside it, or hides it.
        QSignalSpy show(m_page.get(), &UI_NormalV3::schedule_show_req);
        get<QPushButton>("scheduleButton")->click();
        QTest::ignoreMessage(QtDebugMsg, "x = 300, y = 120.");
        m_page->showScheduleWindow(300, 120);
        QVERIFY(m_page->m_scheduleWindow->isVisible() && m_page->m_scheduleWindow->pos() == QPoint(300, 120));
        get<QPushButton>("scheduleButton")->click();
        QVERIFY(!m_page->m_scheduleWindow->isVisible() && show.count() == 1);
    }

private:
    void build(const QDateTime& start)
    {
        g_now = start;
        m_page = std::make_unique<UI_NormalV3>(false);
        m_spy = std::make_unique<QSignalSpy>(m_page.get(), &UI_NormalV3::commands_req);
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

    WorkDir m_dir;
    std::unique_ptr<UI_NormalV3> m_page;
    std::unique_ptr<QSignalSpy> m_spy;
};

QTEST_MAIN(TestNormalPage)
#include "tst_normalpage.moc"
