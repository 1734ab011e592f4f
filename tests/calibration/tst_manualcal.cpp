// The manual calibration page through the main window and the simulated
// device; and the link failures that end every engineering page's operation.
#include "caltestutil.h"
#include "ui_manualcalv3.h"
#include "ui_toolsv3.h"

using namespace caltest;
using QSL = QStringList;

// A measurement on the sensor tab; `closing` is the list behind the ten readings, or the box of a refusal;
// `box` how the box of an early end after the closing list ends. The reply to the page's write of `garbled`
// comes back with a wrong checksum; `lost` is not answered. Another page writes CM = `ahead` just before; the
// window is closed during the readings when `close`.
struct SensorCase { QString radio, reading, closing, garbled = {}, box = {}, lost = {}, ahead = {}; bool close = false; };
// Tab t: x1, y1, x2, y2 (then x1, y1 again, ...) measured, then offset and gain written (or the box of a
// refusal). PWM tabs (1, 2): x = raw value set ("1~0.01": then shown as 0.01), y = output typed in. Setpoint
// tabs (3, 4): x = input typed in, y = the average of ten ADC readings that sum to 10 y + 5 (- 5 for a
// negative y): it truncates toward zero. The device does not answer `lost` until the first failure. The points of
// `other` are measured first, and its calculation follows this row's.
struct TabCase { int t = 0; QSL points; QString result; };
struct PointCase { int t; QSL points; QString result, lost = {}; TabCase other = {}; };
Q_DECLARE_METATYPE(SensorCase)
Q_DECLARE_METATYPE(PointCase)

class TestManualCal : public QObject
{
    Q_OBJECT

    QWidget* tab(int t) { return m_page->findChild<QTabWidget*>()->widget(t); }
    QTableView* view(int t) { return tab(t)->findChild<QTableView*>(); }
    QStandardItemModel* model(int t) { return qobject_cast<QStandardItemModel*>(view(t)->model()); }
    QString cell(int t, int row, int col) { return model(t)->item(row, col)->text(); }
    // The editor a double-click opens on row's "Writable" cell, as the engineer opens it.
    QLineEdit* openEditor(int t, int row)
    {
        m_page->findChild<QTabWidget*>()->setCurrentIndex(t);
        QTableView* v = view(t);
        const QPoint at = v->visualRect(model(t)->index(row, 1)).center();
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, at); // the press and release a double-click begins with
        QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(v->viewport(), Qt::LeftButton, {}, at);
        return openEditor(t);
    }
    QLineEdit* openEditor(int t)
    {
        for (QLineEdit* e : view(t)->viewport()->findChildren<QLineEdit*>())
            if (e->isVisible())
                return e;
        return nullptr;
    }
    void edit(int t, int row, const QString& text) // typed over what the cell holds, also the same text
    {
        QLineEdit* e = openEditor(t, row);
        QVERIFY(e);
        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
        QTRY_VERIFY(!openEditor(t)); // Return commits on the next pass of the event loop
    }
    void click(int t, const QSL& captions)
    {
        for (const QString& caption : captions)
            for (QAbstractButton* b : tab(t)->findChildren<QAbstractButton*>())
                if (b->text() == caption)
                    b->click();
    }
    QTimer* opTimer() { return m_page->findChild<QTimer*>(QStringLiteral("opTimer")); }
    bool waitIdle(int ms = 8000) { return waitUntil([this] { return m_page->isEnabled(); }, ms); }
    static QSL times(int n, const QString& s) { return QVector<QString>(n, s).toList(); }
    static bool near16(const QString& a, const QString& b) { return qAbs(a.toDouble() - b.toDouble()) <= 1.0 / 65536; }
    // Tab t's offset and gain registers, then its raw setting (PWM tabs) or ADC (setpoint tabs).
    static QSL regs(int t)
    {
        const QString base =
            QSL{"Sensor", "VoltagePWM", "CurrentPWM", "VoltageSetpoint", "CurrentSetpoint"}.at(t);
        return {base + "Offset", base + "Gain", t <= 2 ? "Set" + base : "Read" + base.left(7) + "ADC"};
    }

    apptest::WorkDir m_dir;
    SimDevice m_dev;
    std::unique_ptr<UI_Test> m_w;
    UI_ManualCalV3* m_page = nullptr;
    QSL m_sent; // each list the page emitted since init()

private slots:
    void initTestCase()
    {
        QVERIFY(startOn(m_dev, m_w, m_page));
        recordLists(m_page, this, m_sent);
    }

    void init()
    {
        takeBoxes();
        m_page->show(); // edited through its views
        QVERIFY(QTest::qWaitForWindowExposed(m_page));
        QTRY_VERIFY_WITH_TIMEOUT(m_page->isEnabled(), 10000);
        // Drops the queues (a left-over commit's hold costs time); the next good reply clears the error.
        m_w->writeXYTable_req({}, {});
        QTRY_VERIFY(apptest::statusStyle(*m_w) != apptest::kRed);
        m_sent.clear();
        m_dev.clearRequests();
    }

    void editorActsWhenTyped_data()
    {
        QTest::addColumn<int>("t");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("leave"); // how an untouched editor is left; "typed": the cell's text typed again
        QTest::addColumn<QString>("sent");  // %1: the cell's text
        QTest::newRow("Sensor Gain, Return") << 0 << 3 << "return" << "";
        QTest::newRow("Sensor Offset, click") << 0 << 1 << "click" << "";
        QTest::newRow("PWM(V) SetPWM(V1), Tab") << 1 << 0 << "tab" << "";
        QTest::newRow("PWM(V) PWMOutput(V1), click") << 1 << 1 << "click" << "";
        QTest::newRow("PWM(C) SetPWM(C2), Return") << 2 << 2 << "return" << "";
        QTest::newRow("PWM(C) Gain, Tab") << 2 << 5 << "tab" << "";
        QTest::newRow("Setpoint(V) Setpoint(V1), Return") << 3 << 0 << "return" << "";
        QTest::newRow("Setpoint(V) Offset, click") << 3 << 4 << "click" << "";
        QTest::newRow("Setpoint(C) Setpoint(C2), click") << 4 << 2 << "click" << "";
        QTest::newRow("Setpoint(C) Gain, Tab") << 4 << 5 << "tab" << "";
        QTest::newRow("Sensor Gain typed again") << 0 << 3 << "typed" << "SensorGain=%1, EEPROMProgram=1, AppDelay=1000";
        QTest::newRow("PWM(C) SetPWM(C1) typed again")
            << 2 << 0 << "typed" << "CM=4, CurrentPWMGain=1, CurrentPWMOffset=0, SetCurrentPWM=%1";
        QTest::newRow("PWM(V) PWMOutput(V1) typed again") << 1 << 1 << "typed" << "";
        QTest::newRow("Setpoint(V) Setpoint(V1) typed again") << 3 << 0 << "typed" << "";
    }

    // Only an editor typed into acts, also when the text stays as it was (a measured output typed again is a
    // new input); one opened and left untouched sends nothing and gives no input.
    void editorActsWhenTyped()
    {
        QFETCH(int, t);
        QFETCH(int, row);
        QFETCH(QString, leave);
        QFETCH(QString, sent);
        const QString text = cell(t, row, 1);
        if (leave == QLatin1String("typed")) {
            edit(t, row, text);
        } else {
            QLineEdit* e = openEditor(t, row);
            QVERIFY(e);
            if (leave == QLatin1String("click")) // another cell of the row
                QTest::mouseClick(view(t)->viewport(), Qt::LeftButton, {}, view(t)->visualRect(model(t)->index(row, 0)).center());
            else
                QTest::keyClick(e, leave == QLatin1String("tab") ? Qt::Key_Tab : Qt::Key_Return);
            QTRY_VERIFY(!openEditor(t));
        }
        QVERIFY(waitIdle());
        QCOMPARE(m_sent, sent.isEmpty() ? QSL() : QSL{sent.arg(text)});
        QCOMPARE(cell(t, row, 1), text);
        if (t == 0 || row > 3)
            return;
        click(t, {QStringLiteral("Calculate")}); // refused: it names the inputs not given
        QCOMPARE(takeBoxes().join(QString()).contains(cell(t, row, 0)), leave != QLatin1String("typed"));
        QCOMPARE(m_sent.size(), sent.isEmpty() ? 0 : 1);
    }

    void sensorMeasurement_data()
    {
        QTest::addColumn<SensorCase>("c");
        QTest::newRow("zero") << SensorCase{"Ratio_Zero", "0.025", "SensorOffset=-0.025, EEPROMProgram=1, AppDelay=2000"};
        QTest::newRow("full scale") << SensorCase{"Ratio_F.S.", "4", "SensorGain=16384, EEPROMProgram=1, AppDelay=2000"};
        QTest::newRow("full scale, average 0") << SensorCase{"Ratio_F.S.", "0", "Nothing written: the average of Ratio_F.S. is 0.\n"
            "This step left the device with CM 4, SensorGain 1: restore its earlier values where needed."};
        const QString may = "\nThe device may hold %1 (no reply confirmed the write): restore its earlier value where needed.";
        QTest::newRow("zero, SensorGain unanswered: the link fails") // reading "": no answer
            << SensorCase{"Ratio_Zero", "", "\nThis step left the device with CM 4: restore its earlier values where needed."
                          + may.arg("SensorGain 1")};
        QTest::newRow("zero, CM garbled") << SensorCase{"Ratio_Zero", "0.025", may.arg("CM 4"), "CM"};
        // The reply to the other page's CM confirms nothing of this step.
        QTest::newRow("zero, CM garbled behind another page's CM") << SensorCase{"Ratio_Zero", "0.025", may.arg("CM 4"), "CM", {}, {}, "1"};
        QTest::newRow("zero, its commit unanswered") << SensorCase{"Ratio_Zero", "0.025",
            "SensorOffset=-0.025, EEPROMProgram=1, AppDelay=2000", {}, "\nThis step left the device with CM 4, SensorGain 1, "
            "SensorOffset -0.025 (commit not confirmed): restore its earlier values where needed.", "EEPROMProgram"};
        QTest::newRow("zero, window closed during the readings") << SensorCase{"Ratio_Zero", "0.025", "", {}, {}, {}, {}, true};
    }

    void sensorMeasurement()
    {
        QFETCH(SensorCase, c);
        const bool zero = c.radio == QLatin1String("Ratio_Zero");
        const bool refused = !c.closing.contains('=');
        m_dev.setValue(QStringLiteral("ReadSensorRatio"), c.reading);
        m_dev.setSilentFor(c.reading.isEmpty() ? QSL{"SensorGain"} : QSL{c.lost});
        m_dev.setValue(QStringLiteral("SensorOffset"), QStringLiteral("0.125"));
        model(0)->item(1, 2)->setText(QString());
        QSL offsets; // row 1 "ReadOnly" as it changes
        QObject ctx;
        connect(model(0), &QStandardItemModel::itemChanged, &ctx, [&offsets](QStandardItem* i) {
            if (i->row() == 1 && i->column() == 2)
                offsets << i->text();
        });
        int writes = 0; // of `garbled`
        connect(&m_dev, &SimDevice::requestReceived, &ctx, [&](const SimDevice::Request& r) {
            m_dev.setCorruptChecksum(r.write && r.cmd == c.garbled && ++writes > (c.ahead.isEmpty() ? 0 : 1));
        });
        emit view(0)->doubleClicked(model(0)->index(1, 3)); // answered while the measurement counts
        if (!c.ahead.isEmpty())
            m_w->commands_req({makeFrame(QStringLiteral("CM"), MFC_WRITE, c.ahead)});
        click(0, {c.radio, QStringLiteral("Calculate")});
        if (c.close) {
            QVERIFY(waitUntil([this] { return pageRequests(m_dev).contains(QStringLiteral("r ReadSensorRatio")); }, 5000));
            m_page->close();
            // Sent after the last reading, whose reply would have sent the result.
            m_w->commands_req({makeFrame(QStringLiteral("CM"))});
            QVERIFY(waitUntil([this] { return pageRequests(m_dev).contains(QStringLiteral("r CM")); }, 5000));
            QVERIFY(!pageRequests(m_dev).contains(QStringLiteral("w EEPROMProgram")));
        }
        QVERIFY(waitIdle());
        m_dev.setSilentFor({});
        m_dev.setCorruptChecksum(false);
        const QString measure = QStringLiteral("CM=4, SensorGain=1, ") + (zero ? "SensorOffset=0, " : "")
            + times(10, QStringLiteral("ReadSensorRatio")).join(QStringLiteral(", "));
        // One closing list: filling the computed cell wrote nothing by itself.
        QCOMPARE(m_sent, refused ? QSL({"SensorOffset", measure}) : QSL({"SensorOffset", measure, c.closing}));
        const QString box = takeBoxes().join(QString()), ending = refused ? c.closing : c.box;
        QCOMPARE(ending.isEmpty() ? box : box.right(ending.size()), ending);
        QCOMPARE(box.contains(QStringLiteral("left the device")), ending.contains(QStringLiteral("left the device")));
        const int row = zero ? 1 : 3;
        const QString written = c.closing.section('=', 1).section(',', 0, 0);
        if (!refused)
            QCOMPARE(QSL({m_dev.value(c.closing.section('=', 0, 0)), cell(0, row, 1), cell(0, row, 3), cell(0, row - 1, 3)}),
                     QSL({written, written, "YES", "YES"}));
        // Only a zero measurement hides offsets while it counts: its neutral one and the one read before.
        QCOMPARE(offsets, zero ? (refused ? QSL() : QSL{"-0.02500000"}) : QSL{"0.12500000"});
    }

    void twoPointCalibration_data()
    {
        QTest::addColumn<PointCase>("c");
        const QString equal = "Nothing written: %1 and %2 are equal (%3).";
        const QString missing = "Nothing written: %1 not typed or read since the page was opened, the last calculation "
                                "or a new setting of its point.";
        QTest::newRow("PWM(V), its commit first unanswered")
            << PointCase{1, {"10000", "0.6", "50000", "2.6"}, "-0.02 1.52588", "EEPROMProgram"};
        QTest::newRow("PWM(V) set value shown as 0.01") << PointCase{1, {"1~0.01", "0.6", "50000", "2.6"}, "-0.12 1.90735"};
        // "-": that point's output or set value not given again since the calculation
        QTest::newRow("PWM(V) inputs left from the calculation")
            << PointCase{1, {"1", "-", "-", "2.6"}, missing.arg("PWMOutput(V1), SetPWM(V2)")};
        QTest::newRow("PWM(V) output measured at the earlier set value")
            << PointCase{1, {"10000", "0.6", "50000", "2.6", "20000", "-"}, missing.arg("PWMOutput(V1)")};
        QTest::newRow("PWM(C) set value unanswered") << PointCase{2, {"10000", "-"}, "\nThis step left the device with "
            "CM 4, CurrentPWMGain 1, CurrentPWMOffset 0: restore its earlier values where needed.", "SetCurrentPWM"};
        QTest::newRow("PWM(C)") << PointCase{2, {"10000", "8", "50000", "20"}, "-0.0625 0.813802"};
        QTest::newRow("PWM(C) set value shown as 0.0099") << PointCase{2, {"1~0.0099", "8", "50000", "20"}, ""};
        QTest::newRow("Setpoint(V)") << PointCase{3, {"1", "3100", "5", "15100"}, "-0.00152588 69.9051"};
        QTest::newRow("Setpoint(V) reading for the earlier input")
            << PointCase{3, {"1", "3100", "5", "15100", "2", "-"}, missing.arg("ReadAD_V1")};
        QTest::newRow("Setpoint(C)") << PointCase{4, {"8", "4100", "20", "16100"}, "-0.00152588 65.536"};
        QTest::newRow("Setpoint(C) keeps Setpoint(V)'s inputs") << PointCase{4, {"8", "4100", "20", "16100"},
            "-0.00152588 65.536", {}, {3, {"1", "3100", "5", "15100"}, "-0.00152588 69.9051"}};
        QTest::newRow("Setpoint(C) reading left from the calculation")
            << PointCase{4, {"8", "4100", "20", "-"}, missing.arg("ReadAD_C2")};
        QTest::newRow("Setpoint(C) sums -12345, 12345; equal inputs")
            << PointCase{4, {"8", "-1234", "8", "1234"}, equal.arg("Setpoint(C1)", "Setpoint(C2)", "8")};
        QTest::newRow("PWM(V) equal set values")
            << PointCase{1, {"20000", "0.6", "20000", "2.6"}, equal.arg("SetPWM(V1)", "SetPWM(V2)", "20000")};
        QTest::newRow("Setpoint(C) equal counts")
            << PointCase{4, {"8", "4100", "20", "4100"}, equal.arg("ReadAD_C1", "ReadAD_C2", "4100")};
        QTest::newRow("Setpoint(V) empty input")
            << PointCase{3, {"", "3100", "5", "15100"}, "Nothing written: Setpoint(V1) is empty or not a number."};
    }

    // Measures tab t's points as the engineer does; `ended` when the link failed, as the row expects.
    void measure(int t, const QSL& points, const QString& result, const QString& lost, bool& ended)
    {
        const QSL r = regs(t);
        const bool pwm = t <= 2;
        const QSL shown = {cell(t, 4, 2), cell(t, 5, 2)};
        m_dev.setSilentFor(lost.isEmpty() ? QSL() : QSL{lost});
        for (int p = 0; p < points.size() / 2; ++p) {
            const int row = 2 * (p % 2);
            const QString x = points.at(2 * p).section('~', 0, 0), y = points.at(2 * p + 1), read = pwm ? x : y;
            m_sent.clear();
            if (x != "-")
                edit(t, row, x);
            if (pwm && x != "-" && y != "-")
                QVERIFY(waitIdle()); // the raw setting disables the page until its reply
            if (pwm && y != "-")
                edit(t, row + 1, y); // a measured output is only typed in
            if (!pwm && y != "-") {
                m_dev.setReadSequence(r[2], times(9, y) << QString::number(y.toInt() + (y.toInt() < 0 ? -5 : 5)));
                click(t, {cell(t, row, 0), QStringLiteral("ReadADC")}); // this point's radio button first
            }
            if (read == "-")
                continue;
            QVERIFY(waitIdle());
            if (lost == r[2]) { // the link fails: the box names what the step left
                m_dev.setSilentFor({});
                QCOMPARE(takeBoxes().join(QString()).right(result.size()), result);
                ended = true;
                return;
            }
            QCOMPARE(takeBoxes(), QSL()); // ended by its own reply, not by "Timeout"
            QCOMPARE(cell(t, row + (pwm ? 0 : 1), 2), read);
            if (points.at(2 * p).contains('~'))
                model(t)->item(row, 2)->setText(points.at(2 * p).section('~', 1));
            const QString neutral = "CM=4, " + r[1] + "=1, " + r[0] + "=0, ";
            QCOMPARE(m_sent, QSL{neutral + (pwm ? r[2] + '=' + x : times(10, r[2]).join(QStringLiteral(", ")))});
            // The neutral gain and offset are not shown as the device's calibration.
            QCOMPARE(QSL({cell(t, 4, 2), cell(t, 5, 2)}), shown);
        }
    }

    // "Calculate" on tab t: the offset and gain of `result` written, or the box of a refusal.
    void calculate(int t, const QString& result, const QString& lost)
    {
        const QSL r = regs(t);
        m_sent.clear();
        const QSL typed = {cell(t, 4, 1), cell(t, 5, 1)};
        if (!lost.isEmpty()) { // the link fails; the inputs stay for the next Calculate
            click(t, {QStringLiteral("Calculate")});
            QVERIFY(waitIdle());
            m_dev.setSilentFor({});
            QVERIFY(takeBoxes().join(QString()).startsWith(QStringLiteral("Operation ended: EEPROMProgram")));
            m_sent.clear();
        }
        click(t, {QStringLiteral("Calculate")});
        const QSL values = result.split(' ');
        if (values.size() != 2) {
            QVERIFY(m_sent.isEmpty() && m_page->isEnabled());
            const auto boxes = m_page->findChildren<QMessageBox*>(); // a refusal opens over its page
            QCOMPARE(std::count_if(boxes.begin(), boxes.end(), [](QMessageBox* b) { return b->isVisible(); }),
                     result.isEmpty() ? 0 : 1);
            QCOMPARE(takeBoxes(), result.isEmpty() ? QSL() : QSL{result});
            QCOMPARE(QSL({cell(t, 4, 1), cell(t, 5, 1)}), typed);
            return;
        }
        QVERIFY(waitIdle());
        QCOMPARE(takeBoxes(), QSL());
        QCOMPARE(QSL({cell(t, 4, 1), cell(t, 5, 1)}), t == 3 ? typed : values); // Setpoint(V) leaves them out
        QCOMPARE(m_sent, QSL{r[0] + '=' + values[0] + ", " + r[1] + '=' + values[1] + ", EEPROMProgram=1, AppDelay=2000"});
        QVERIFY(near16(m_dev.value(r[0]), values[0]) && near16(m_dev.value(r[1]), values[1]));
        QCOMPARE(QSL({cell(t, 4, 3), cell(t, 5, 3)}), QSL({"YES", "YES"}));
    }

    void twoPointCalibration()
    {
        QFETCH(PointCase, c);
        bool ended = false;
        if (c.other.t > 0) // measured first; this row's calculation must leave its inputs given
            measure(c.other.t, c.other.points, {}, {}, ended);
        if (!QTest::currentTestFailed())
            measure(c.t, c.points, c.result, c.lost, ended);
        if (!ended && !QTest::currentTestFailed())
            calculate(c.t, c.result, c.lost);
        if (c.other.t > 0 && !QTest::currentTestFailed())
            calculate(c.other.t, c.other.result, {});
    }

    void singleCells_data()
    {
        QTest::addColumn<int>("t");
        QTest::addColumn<int>("col"); // where the offset's row is double-clicked: name, ReadOnly or Status
        for (int t = 0; t < 5; ++t)
            QTest::newRow(qPrintable(regs(t)[0])) << t << QVector<int>{0, 2, 3}.at(t % 3);
    }

    // A double-click on an Offset or Gain row reads it (in "Writable" only edits); a typed gain is written at
    // once, a non-number offset (PWM tabs: raw value) refused. None starts an operation.
    void singleCells()
    {
        QFETCH(int, t);
        QFETCH(int, col);
        const QSL r = regs(t);
        const int offset = t == 0 ? 1 : 4, gain = t == 0 ? 3 : 5;
        const bool pwm = t == 1 || t == 2;
        m_dev.setValue(r[0], QStringLiteral("0.25"));
        model(t)->item(offset, 3)->setText(QStringLiteral("YES"));
        model(t)->item(gain, 3)->setText(QStringLiteral("YES"));
        QSL marks; // "Status" as it changes: the requests mark their rows before the replies come
        QObject ctx;
        connect(model(t), &QStandardItemModel::itemChanged, &ctx, [&marks](QStandardItem* i) {
            if (i->column() == 3)
                marks << QString::number(i->row()) + i->text();
        });
        emit view(t)->doubleClicked(model(t)->index(offset, 1));
        emit view(t)->doubleClicked(model(t)->index(offset, col));
        edit(t, gain, QStringLiteral("1.25"));
        edit(t, pwm ? 0 : offset, QStringLiteral("abc"));
        QVERIFY(m_page->isEnabled());
        QCOMPARE(m_sent, QSL({r[0], r[1] + "=1.25, EEPROMProgram=1, AppDelay=1000"}));
        QCOMPARE(takeBoxes(), QSL{"Not written: " + r[pwm ? 2 : 0]
                                  + " = \"abc\" is empty, not a number or out of the register's range."});
        QTRY_COMPARE(cell(t, offset, 3) + cell(t, gain, 3), QStringLiteral("YESYES"));
        const QString o = QString::number(offset), g = QString::number(gain);
        QCOMPARE(marks.filter(o).join(' ') + ' ' + marks.filter(g).join(' '), o + "No " + o + "YES " + g + "No " + g + "YES");
        QVERIFY(near16(cell(t, offset, 2), "0.25") && near16(cell(t, gain, 2), "1.25"));
        QCOMPARE(m_dev.value(r[1]), QStringLiteral("1.25"));
    }

    // A measurement (13 frames) times out while all its frames wait behind a
    // hold of the link; a backup of the gain is queued behind them, then restored.
    void gainBackupAfterTimeout()
    {
        m_dev.setValue(QStringLiteral("SensorGain"), QStringLiteral("1"));
        QObject ctx;
        connect(&m_dev, &SimDevice::requestReceived, &ctx, [this] {
            if (pageRequests(m_dev).size() == 14) // the backup's read
                m_dev.setValue(QStringLiteral("SensorGain"), QStringLiteral("1.5"));
        });
        // Longer than the operation's 5000 ms, with room for a coarse timer.
        m_w->commands_req({makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("5600"))});
        click(0, {QStringLiteral("Ratio_Zero"), QStringLiteral("Calculate")});
        QVERIFY(!m_page->isEnabled());
        QVERIFY(waitIdle(7000));
        QCOMPARE(takeBoxes(), QSL{"Timeout\nThis step left the device with CM 4, SensorGain 1, SensorOffset 0: "
                                  "restore its earlier values where needed."});
        QVERIFY(!opTimer()->isActive());
        QCOMPARE(pageRequests(m_dev), QSL()); // the operation ended before any reply

        click(0, {QStringLiteral("Backup Gain")});
        QVERIFY(waitIdle(10000));
        // The left-over replies (SensorGain "1" among them) fed nothing, opened no box, restarted nothing.
        QCOMPARE(m_page->findChild<QLineEdit*>()->text(), QStringLiteral("1.50000000"));
        QCOMPARE(takeBoxes(), QSL());
        QVERIFY(!opTimer()->isActive());
        m_dev.setValue(QStringLiteral("SensorOffset"), QStringLiteral("0.125")); // nor hide a later offset
        emit view(0)->doubleClicked(model(0)->index(1, 0));
        QTRY_COMPARE(cell(0, 1, 2) + cell(0, 1, 3), QStringLiteral("0.12500000YES"));

        m_sent.clear();
        m_dev.setValue(QStringLiteral("SensorGain"), QStringLiteral("3"));
        click(0, {QStringLiteral("Restore Gain")});
        QVERIFY(waitIdle());
        QCOMPARE(m_sent, QSL{"SensorGain=1.50000000, EEPROMProgram=1, AppDelay=1000"});
        QCOMPARE(takeBoxes(), QSL());
        QCOMPARE(m_dev.value(QStringLiteral("SensorGain")) + ' ' + cell(0, 3, 2), QStringLiteral("1.5 1.50000000"));
    }

    void failureEndsEveryOperation_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message"); // how the manual calibration's box begins
        QTest::newRow("silent register") << "silent" << "Operation ended: CalTabValueX1";
        QTest::newRow("undecodable reply") << "corrupt" << "Operation ended: Can't decode";
        QTest::newRow("refused list") << "refused" << "Operation ended: cmd: NoSuchRegister read opertation encode fail!";
        QTest::newRow("refused calibration table") << "table" << "Operation ended: Calibration table needs";
    }

    // A calibration table, a measurement and a read all are queued in turn
    // when the link fails in the table's first frames: each page ends its own.
    void failureEndsEveryOperation()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        auto* user = topLevel<UI_UserCalV3>();
        auto* tools = topLevel<UI_ToolsV3>();
        m_w->commands_req({makeFrame(QStringLiteral("CM"), MFC_WRITE, QStringLiteral("1"))}); // the measurements set 4
        QTRY_VERIFY(user->isEnabled());
        m_dev.setSilentFor(kind == QLatin1String("silent") ? QSL{"CalTabValueX1"} : QSL());
        m_dev.setCorruptChecksum(kind == QLatin1String("corrupt"));
        user->onClicked_calibrate(false);
        click(0, {QStringLiteral("Ratio_Zero"), QStringLiteral("Calculate")});
        tools->onClicked_realAll(false);
        if (kind == QLatin1String("refused"))
            m_w->commands_req({makeFrame(QStringLiteral("NoSuchRegister"))});
        else if (kind == QLatin1String("table"))
            m_w->writeXYTable_req({1.0}, {1.0});
        // Well before the measurement's own 5000 ms.
        QVERIFY(waitUntil([&] { return m_page->isEnabled() && user->isEnabled() && tools->isEnabled(); }, 4500));
        m_dev.setSilentFor({});
        m_dev.setCorruptChecksum(false);
        QVERIFY(!opTimer()->isActive());
        QSL boxes = takeBoxes();
        boxes.sort();
        // The link dropped the measurement's neutral writes before they went out: none is named as left (the
        // first only as one the device may hold: the page cannot see what is queued ahead of its list).
        QVERIFY(boxes.size() != 3 || !boxes[1].contains(QStringLiteral("left the device")));
        if (boxes.size() == 3)
            boxes[1].truncate(message.size()); // the rest names the failure's details
        QCOMPARE(boxes, QSL({"Calibration fail...", message, "Read fail"}));
    }

    void opensWhole_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::newRow("en") << "en";
        QTest::newRow("cn") << "cn";
    }

    // At its size hint every tab shows its whole table, the widest values the device reports included.
    void opensWhole()
    {
        QFETCH(QString, lang);
        const auto restore = qScopeGuard([this, font = QApplication::font(), ini = m_dir.readIni()] {
            QApplication::setFont(font);
            m_dir.writeIni(ini);
        });
        QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9)); // as desktops give
        m_dir.writeIni({{QStringLiteral("lang"), lang}});
        UI_ManualCalV3 page;
        for (int t = 0; t < 5; ++t)
            for (const auto& [reg, value] : {qMakePair(regs(t)[0], -0.5), qMakePair(regs(t)[1], 16384.0)})
                page.mfc_ack(makeReply(reg, value));
        page.resize(page.sizeHint());
        QVERIFY(page.width() <= 1240 && page.height() <= 900);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QStringList clipped;
        if (page.minimumSizeHint().expandedTo(page.size()) != page.size())
            clipped << QStringLiteral("buttons");
        auto* tabs = page.findChild<QTabWidget*>();
        for (int t = 0; t < tabs->count(); ++t) {
            tabs->setCurrentIndex(t);
            auto* table = tabs->widget(t)->findChild<QTableView*>();
            QTest::qWait(0);
            if (table->horizontalScrollBar()->isVisible() || table->verticalScrollBar()->isVisible())
                clipped << tabs->tabText(t);
            clipped += clippedTexts(table, 4);
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(", "))));
    }
};

QTEST_MAIN(TestManualCal)
#include "tst_manualcal.moc"
