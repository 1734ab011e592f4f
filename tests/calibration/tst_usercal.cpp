// The user calibration page alone, fed replies as the main window feeds them,
// and in the program against the simulated device.
#include "caltestutil.h"
#include "filesizelimit.h"
#include "languagedictionary.h"
#include "ui_usercalv3.h"

#include <optional>

using apptest::WorkDir;
using namespace caltest;
using QSL = QStringList;

namespace {

// A serial with both separators: its points file is named without them.
const QString SERIAL = QStringLiteral("A/\\1");
const QString POINTS_FILE = QStringLiteral("data/A__1.ini");

QString pointsTable(UI_UserCalV3& page)
{
    auto* model = page.findChild<QTableView*>("pointsView")->model();
    QSL rows;
    for (int r = 0; r < model->rowCount(); ++r)
        rows << model->index(r, 0).data().toString() + '/' + model->index(r, 1).data().toString();
    return rows.join(' ');
}

// "count|x0/y0 x1/y1 ..." as an INI reader sees the file.
QString fileContents(const QString& path = POINTS_FILE)
{
    QSettings s(path, QSettings::IniFormat);
    QSL points;
    for (int i = 0; s.contains(QStringLiteral("X%1").arg(i)); ++i)
        points << s.value(QStringLiteral("X%1").arg(i)).toString() + '/' + s.value(QStringLiteral("Y%1").arg(i)).toString();
    return s.value("count").toString() + '|' + points.join(' ');
}

void writePointsFile(const QByteArray& text)
{
    QDir().mkdir("data");
    QFile f(POINTS_FILE);
    if (!text.isNull())
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("[General]\n" + text) > 0);
}

// data/ on a small tmpfs of its own, holding the points file as it was, filled to the last page; unmounted when it goes.
struct FullDisk
{
    QString problem; // why there is none
    bool mounted = false;
    FullDisk()
    {
        QFile points(POINTS_FILE);
        const QByteArray kept = points.open(QIODevice::ReadOnly) ? points.readAll() : QByteArray();
        const bool existed = points.exists();
        points.close();
        QProcess mount;
        mount.start("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", QDir("data").absolutePath()});
        if (!mount.waitForFinished() || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0) {
            problem = "cannot mount a tmpfs on data/: " + mount.errorString() + ' ' + mount.readAllStandardError();
            return;
        }
        mounted = true;
        QFile fill("data/fill");
        if ((existed && !(points.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && points.write(kept) == kept.size()))
            || !fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            problem = "cannot set up the full disk";
        while (problem.isEmpty() && fill.write(QByteArray(1024, 'x')) == 1024) {
        }
    }
    ~FullDisk()
    {
        if (mounted)
            QProcess::execute("umount", {QDir("data").absolutePath()});
    }
};

const QString SIX_5000 = "0/0 3.5/175 35/1750 60/3000 80/4000 100/5000";
const QString SIX_FILE = "6|0/0 0.035/0.035 0.35/0.35 0.6/0.6 0.8/0.8 1/1";

} // namespace

// A points file (null: none); the table shown; the file after (empty: as it was).
// The disk under data/: room enough, full, or with room for part of the file only.
enum Disk { Room, Full, CutShort };
struct LoadCase { QByteArray file; QString table, fileAfter; Disk disk = Room; QString box; };
// tervancal.ini's lang and yx_rate_max; the points checked; the error (empty: they pass).
struct CheckCase { QString lang, maxSlope; QList<QPointF> points; QString error; };
// A points file (null: the default set) at full scale 10000; a single point at `percent` (empty: full range);
// the full scale reported later; the box (empty: the fitted table is sent), then the points table and file.
// With `recover`, the replies the recover gets instead of the whole sequence, and only its box (empty: none).
// With `replies`, those the sent table gets, then the box. The serial reported later; "row:text" typed in a Y cell;
// tervancal.ini's lang and yx_rate_min.
struct RunCase { QByteArray file; QString percent; int range; QString message, table, saved; QSL recover, replies;
                 QString serial = SERIAL, typed = {}, lang = {}, minSlope = {}; bool fullDisk = false; };
Q_DECLARE_METATYPE(LoadCase)
Q_DECLARE_METATYPE(CheckCase)
Q_DECLARE_METATYPE(RunCase)

class TestUserCal : public QObject
{
    Q_OBJECT

    WorkDir m_dir;
    SimDevice m_dev;
    std::unique_ptr<UI_Test> m_w;
    UI_UserCalV3* m_page = nullptr;

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QList<double>>();
    }

    void loading_data()
    {
        QTest::addColumn<LoadCase>("c");
        QTest::newRow("no file: six") << LoadCase{{}, SIX_5000, SIX_FILE};
        QTest::newRow("three points") << LoadCase{"count=3\nX0=0\nY0=0\nX1=0.5\nY1=0.52\nX2=1\nY2=1.01\n", "0/0 50/2600 100/5050", ""};
        QTest::newRow("count 0") << LoadCase{"count=0\nX0=0.5\nY0=0.5\n", SIX_5000, SIX_FILE};
        QByteArray seventeen = "count=17\n";
        for (int i = 0; i < 17; ++i)
            seventeen += QStringLiteral("X%1=%2\nY%1=%2\n").arg(i).arg(i / 16.0).toLatin1();
        QTest::newRow("17 points: kept") << LoadCase{seventeen, SIX_5000, ""};
        QTest::newRow("Y1 not a number: kept") << LoadCase{"count=2\nX0=0\nY0=0\nX1=0.5\nY1=abc\n", SIX_5000, ""};
        const QString failed = "Cannot save the calibration points to data/A__1.ini: ";
        QTest::newRow("count 0, disk full: kept") << LoadCase{"count=0\n", SIX_5000, "", Full, failed + "No space left on device"};
        QTest::newRow("count 0, write cut short: kept") << LoadCase{"count=0\n", SIX_5000, "", CutShort, failed + "File too large"};
    }

    // Loaded once, when the serial and a known full scale have come: not at 65535
    // (none reported yet) nor 0, but at 5000; a later full scale or serial changes nothing.
    void loading()
    {
        QFETCH(LoadCase, c);
        WorkDir dir;
        writePointsFile(c.file);
        const QString before = fileContents();
        std::optional<FullDisk> full;
        if (c.disk == Full && !full.emplace().problem.isEmpty())
            QSKIP(qPrintable(full->problem));
        // Room for the file's first line only.
        std::optional<FileSizeLimit> limit;
        if (c.disk == CutShort)
            QVERIFY(limit.emplace(12).ok);
        UI_UserCalV3 page;
        page.setControlMode(CM_DIGITAL);
        page.mfc_ack(makeReply("MFCSerialNumber", SERIAL));
        for (int range : {65535, 0, 5000, 10000}) {
            page.mfc_ack(makeReply("TargetGasFullScaleRange", range));
            QCOMPARE(page.isEnabled(), range < 65535 && range > 0);
        }
        page.mfc_ack(makeReply("MFCSerialNumber", "B2"));
        QCOMPARE(pointsTable(page), c.table);
        QCOMPARE(fileContents(), c.fileAfter.isEmpty() ? before : c.fileAfter);
        QCOMPARE(takeBoxes(), c.box.isEmpty() ? QSL() : QSL{c.box});
    }

    void checks_data()
    {
        QTest::addColumn<CheckCase>("c");
        const QList<QPointF> small{{0.35, 0.35}, {0.6, 0.4}};
        const QList<QPointF> sameX{{0.35, 0.35}, {0.35, 0.4}};
        const QList<QPointF> big{{0, 0}, {0.25, 1.0}, {0.5, 2.1}};
        QTest::newRow("en small") << CheckCase{"en", "", small, "Slope too small：(X=0.35, Y=0.35), (X=0.6, Y=0.4)"};
        QTest::newRow("cn small") << CheckCase{"cn", "", small, "Y/X斜率过小：(X=0.35, Y=0.35), (X=0.6, Y=0.4)"};
        QTest::newRow("cn monotonic") << CheckCase{"cn", "", sameX, "不符合单调递增原则：(X=0.35, Y=0.35), (X=0.35, Y=0.4)"};
        QTest::newRow("cn big, second pair") << CheckCase{"cn", "", big, "Y/X斜率过大：(X=0.25, Y=1), (X=0.5, Y=2.1)"};
        QTest::newRow("slope 4 passes") << CheckCase{"en", "", big.mid(0, 2), ""};
        QTest::newRow("slope 0.25 passes") << CheckCase{"en", "", {{0, 0}, {0.5, 0.125}}, ""};
        QTest::newRow("bound from ini") << CheckCase{"en", "3", big.mid(0, 2), "Slope too big：(X=0, Y=0), (X=0.25, Y=1)"};
    }

    void checks()
    {
        QFETCH(CheckCase, c);
        WorkDir dir;
        dir.writeIni({{"lang", c.lang}, {"yx_rate_max", c.maxSlope}});
        UI_UserCalV3 page;
        QString err;
        QCOMPARE(page.calibration_points_check(c.points, err), c.error.isEmpty());
        QCOMPARE(err, c.error);
    }

    void calibrate_data()
    {
        QTest::addColumn<RunCase>("c");
        QTest::newRow("replace at 50%") << RunCase{{}, "50%", 10000, "", "0/0 7/700 15/1500 25/2500 50/5100 75/7500 100/10000",
                                                   "7|0/0 0.07/0.07 0.15/0.15 0.25/0.25 0.5/0.51 0.75/0.75 1/1"};
        QTest::newRow("insert at 40%") << RunCase{{}, "40%", 10000, "", "0/0 7/700 15/1500 25/2500 50/5000 75/7500 100/10000",
                                                  "8|0/0 0.07/0.07 0.15/0.15 0.25/0.25 0.4/0.41 0.5/0.5 0.75/0.75 1/1"};
        QByteArray sixteen = "count=16\n";
        for (int i = 0; i < 16; ++i)
            sixteen += QStringLiteral("X%1=%2\nY%1=%2\n").arg(i).arg(i * 0.06 + (i > 6 ? 0.05 : 0)).toLatin1();
        QTest::newRow("17 points") << RunCase{sixteen, "40%", 10000, "Calibration needs 2 to 16 points, got 17."};
        const QByteArray three = "count=3\nX0=0\nY0=0\nX1=0.5\nY1=0.5\nX2=1\nY2=1\n";
        QTest::newRow("full scale 0") << RunCase{three, "", 0, "Full scale of the device is unknown (0 sccm); calibration refused."};
        QTest::newRow("one point") << RunCase{"count=1\nX0=0\nY0=0\n", "", 10000, "Calibration needs 2 to 16 points, got 1."};
        // No table within the bounds comes nearer than 0.722 % of full scale to all of (7, 7), (10, 13.5), (15, 15).
        const QByteArray bent = "count=8\nX0=0\nY0=0\nX1=0.07\nY1=0.07\nX2=0.1\nY2=0.135\nX3=0.15\nY3=0.15\nX4=0.25\nY4=0.25\n"
                                "X5=0.5\nY5=0.5\nX6=0.75\nY6=0.75\nX7=1\nY7=1\n";
        QTest::newRow("no table meets a point") << RunCase{bent, "", 10000, "Calibration fail: with slopes 0.25 to 4, no table "
                                                           "meets the point (10 %, 13.5 %); the nearest misses it by 0.722 % of full scale."};
        QTest::newRow("no table meets a point, cn") << RunCase{bent, "", 10000, "标定失败：斜率限制为0.25到4时，没有校准表能满足点(10 %, 13.5 %)；"
                                                               "最接近的校准表偏差为满量程的0.722 %。", "", "", {}, {}, SERIAL, {}, "cn"};
        // The best table misses (10 %, 13.1 %) by 0.5273 %: shown rounded up.
        QTest::newRow("miss rounded up") << RunCase{QByteArray(bent).replace("Y2=0.135", "Y2=0.131"), "", 10000, "Calibration fail: with "
                                                    "slopes 0.25 to 4, no table meets the point (10 %, 13.1 %); the nearest misses it by 0.528 % of full scale."};
        // Rising at least 1.8 to the last node at 1.2, every table ends above the registers' 2.
        QTest::newRow("no table keeps the bounds") << RunCase{"count=3\nX0=0\nY0=0\nX1=0.5\nY1=0.9\nX2=1\nY2=1.8\n", "", 10000,
                                                             "Calibration fail: the device can hold no table with slopes 1.8 to 4; "
                                                             "change yx_rate_min and yx_rate_max in tervancal.ini.", "", "", {}, {},
                                                             SERIAL, {}, {}, "1.8"};
        QTest::newRow("not increasing") << RunCase{QByteArray(three).replace("Y2=1", "Y2=0.5"), "", 10000,
                                                   "Doesn't match the principle of monotonous increment：(X=0.5, Y=0.5), (X=1, Y=0.5)"};
        QTest::newRow("setpoint below 0 %") << RunCase{QByteArray(three).replace("X0=0", "X0=-0.05"), "", 10000, "Calibration fail: the point "
                                                       "(-5 %, 0 %) has a setpoint below 0 %; correct it in the points file data/A__1.ini."};
        QTest::newRow("not a number") << RunCase{three, "", 10000, "Row 2 of the points table is not a number: 5e", "", "", {}, {},
                                                 SERIAL, "1:5e"};
        QTest::newRow("no serial: not saved") << RunCase{three, "", 10000, "No serial number: the points have no file.", "", "",
                                                         {}, {}, ""};
        QTest::newRow("no serial, cn") << RunCase{three, "", 10000, "没有序列号：标定点无法保存到文件。", "", "", {}, {}, "", {}, "cn"};
        QTest::newRow("disk full: not saved, not sent") << RunCase{three, "", 10000, "Cannot save the calibration points to "
                                                                  "data/A__1.ini: No space left on device", "", "", {}, {},
                                                                  SERIAL, {}, {}, {}, true};
        QTest::newRow("calibration finished") << RunCase{three, "", 10000, "Calibration finished.", "", "", {},
                                                         {"table", "EEPROMProgram", "CM"}};
        QTest::newRow("calibration: read back below") << RunCase{three, "", 10000, "Calibration fail...", "", "", {},
                                                                 {"table -0.02", "EEPROMProgram"}};
        const auto recover = [](const QString& box, const QSL& replies) {
            return RunCase{{}, "", 0, box, "", "", replies};
        };
        QTest::newRow("recover: no restart answer") << recover("", {"table", "EEPROMProgram"});
        QTest::newRow("recover: read back above") << recover("Recover fai...", {"table 0.02", "EEPROMProgram"});
        QTest::newRow("recover: timeout") << recover("Recover fai...", {"nack CalTabValueY7"});
        QTest::newRow("recover: earlier replies") << recover("", {"EEPROMProgram", "CM"});
    }

    void calibrate()
    {
        QFETCH(RunCase, c);
        WorkDir dir;
        dir.writeIni({{"lang", c.lang}, {"yx_rate_min", c.minSlope}});
        const LanguageDictionary lang;
        writePointsFile(c.file);
        const QString before = fileContents();
        std::optional<FullDisk> full;
        if (c.fullDisk && !full.emplace().problem.isEmpty())
            QSKIP(qPrintable(full->problem));
        UI_UserCalV3 page;
        page.mfc_ack(makeReply("TargetGasFullScaleRange", 10000));
        page.mfc_ack(makeReply("MFCSerialNumber", SERIAL));
        page.setControlMode(CM_DIGITAL);
        QSL sent;
        recordLists(&page, this, sent);
        QSignalSpy recover(&page, &UI_UserCalV3::recoverXYTable_req);
        QSignalSpy written(&page, &UI_UserCalV3::writeXYTable_req);
        auto* start = page.findChild<QPushButton*>("startButton");
        auto* spin = page.findChild<QDoubleSpinBox*>("sccmSpin");
        // Confirmed, not cancelled, the mode recovers the table as the device answers it.
        const char* mode = c.percent.isEmpty() ? "fullRangeRadio" : "singlePointRadio";
        auto* radio = page.findChild<QRadioButton*>(mode);
        radio->click();
        QCOMPARE(takeBoxes(lang.translate("Cancel")).size(), 1);
        QVERIFY(!radio->isChecked() && recover.isEmpty());
        radio->click();
        takeBoxes(lang.translate("Sure"));
        QVERIFY(recover.size() == 1 && !page.isEnabled());
        // The device's answers to a table write: "table dy" reads Y back dy off.
        const auto answer = [&page](const QSL& replies, const QList<double>& xs, const QList<double>& ys) {
            for (const QString& e : replies) {
                QCOMPARE(takeBoxes(), QSL());
                if (e.startsWith("nack"))
                    page.mfc_nack(e.split(' ').mid(1));
                else if (!e.startsWith("table"))
                    page.mfc_ack(makeReply(e, 1));
                for (int i = 1; e.startsWith("table") && i <= 32; ++i) {
                    page.mfc_ack(makeReply(QStringLiteral("CalTabValueX%1").arg(i), xs.at(i - 1)));
                    page.mfc_ack(makeReply(QStringLiteral("CalTabValueY%1").arg(i), ys.at(i - 1) + e.section(' ', 1).toDouble()));
                }
            }
        };
        QList<double> linear;
        for (int i = 1; i <= 32; ++i)
            linear << i * 0.0375;
        answer(c.recover.isEmpty() ? QSL{"table", "EEPROMProgram", "CM"} : c.recover, linear, linear);
        if (!c.recover.isEmpty()) {
            QCOMPARE(takeBoxes(), c.message.isEmpty() ? QSL() : QSL{c.message});
            QCOMPARE(page.isEnabled(), !c.message.isEmpty());
            return;
        }
        QCOMPARE(takeBoxes(), QSL{lang.translate("Recover finished.")});
        if (!c.percent.isEmpty()) {
            QVERIFY(!start->isEnabled()); // until a setpoint is chosen
            page.show(); // chosen by a real click; an arrow key after it chooses nothing
            QApplication::setActiveWindow(&page);
            QVERIFY(QTest::qWaitForWindowActive(&page));
            for (QRadioButton* r : page.findChildren<QRadioButton*>())
                if (r->text() == c.percent) {
                    QTest::mouseClick(r, Qt::LeftButton, {}, QPoint(8, r->height() / 2)); // on its circle
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
                    QVERIFY(r->isChecked());
                }
            QCOMPARE(sent, QSL{"DigitalSetpoint=" + c.percent.chopped(1)});
            QCOMPARE(spin->value(), c.percent.chopped(1).toInt() * 100.0);
            spin->setValue(spin->value() + 100);
        }
        page.mfc_ack(makeReply("TargetGasFullScaleRange", c.range));
        page.mfc_ack(makeReply("MFCSerialNumber", c.serial));
        if (!c.typed.isEmpty())
            page.findChild<QTableView*>("pointsView")->model()->setData(
                page.findChild<QTableView*>("pointsView")->model()->index(c.typed.section(':', 0, 0).toInt(), 1), c.typed.section(':', 1));
        start->click();
        const bool sentTable = c.message.isEmpty() || !c.replies.isEmpty();
        // A refusal opens over the page.
        const auto boxes = page.findChildren<QMessageBox*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(std::count_if(boxes.begin(), boxes.end(), [](QMessageBox* b) { return b->isVisible(); }), sentTable ? 0 : 1);
        QCOMPARE(takeBoxes(), sentTable ? QSL() : QSL{c.message});
        QCOMPARE(page.isEnabled() && start->isEnabled(), !sentTable);
        QCOMPARE(written.size(), sentTable ? 1 : 0);
        if (!c.table.isEmpty())
            QCOMPARE(pointsTable(page), c.table);
        if (!sentTable || !c.saved.isEmpty())
            QCOMPARE(fileContents(), sentTable ? c.saved : before);
        if (!c.replies.isEmpty()) {
            answer(c.replies, written.at(0).at(0).value<QList<double>>(), written.at(0).at(1).value<QList<double>>());
            QCOMPARE(takeBoxes(), QSL{c.message});
        }
    }

    // At its size hint, in both languages at a desktop's 9 pt: every group and caption
    // whole, both tables' columns and 16 rows in view, columns wide enough for their widest texts.
    void readsAtItsSize()
    {
        const auto restoreFont = qScopeGuard([old = QApplication::font()] { QApplication::setFont(old); });
        QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
        for (const QString& lang : QSL{"en", "cn"}) {
            WorkDir dir;
            dir.writeIni({{"lang", lang}});
            QByteArray file = "count=16\n";
            for (int i = 0; i < 16; ++i)
                file += QStringLiteral("X%1=%2\nY%1=%3\n").arg(i).arg(i / 15.0, 0, 'g', 6).arg(i / 15.0 * 1.1, 0, 'g', 10).toLatin1();
            writePointsFile(file);
            UI_UserCalV3 page;
            page.mfc_ack(makeReply("TargetGasFullScaleRange", 55000));
            page.mfc_ack(makeReply("MFCSerialNumber", SERIAL));
            page.mfc_ack(makeReply("CalTabValueY1", 0.0366667));
            page.resize(page.sizeHint());
            page.show();
            QVERIFY(QTest::qWaitForWindowExposed(&page));
            QSL clipped;
            const QSize need = page.minimumSizeHint();
            if (page.width() > 1240 || page.height() > 900 || need.width() > page.width() || need.height() > page.height())
                clipped << QStringLiteral("page %1 x %2 needs %3 x %4").arg(page.width()).arg(page.height()).arg(need.width()).arg(need.height());
            for (QTableView* table : page.findChildren<QTableView*>()) {
                if (table->horizontalScrollBar()->isVisible() || table->horizontalHeader()->length() > table->viewport()->width()
                    || table->rowViewportPosition(15) + table->rowHeight(15) > table->viewport()->height())
                    clipped << table->objectName();
                clipped += clippedTexts(table, 2);
            }
            QVERIFY2(clipped.isEmpty(), qPrintable(lang + ": " + clipped.join(", ")));
        }
    }

    void programRun_data()
    {
        // Empty percent: full range, the readings typed in the points table; else one reading.
        QTest::addColumn<QString>("percent");
        QTest::addColumn<QSL>("readings");
        QTest::newRow("full range") << QString() << QSL{"0", "11", "108", "185", "245", "300"};
        QTest::newRow("single point 50%") << "50%" << QSL{"153"};
    }

    // In the program: the start-up reads fill the table, CM enables the page, a run
    // recovers and calibrates the device, whose table then reads the reference meter's
    // values at their setpoints; then a run whose list the link refuses ends inside the request.
    void programRun()
    {
        QFETCH(QString, percent);
        QFETCH(QSL, readings);
        QFile::remove(pointsFilePath("SN12345"));
        m_w.reset();  // one calibration per window
        QVERIFY(startOn(m_dev, m_w, m_page));
        QCOMPARE(m_page->findChild<QTableView*>("calView")->model()->index(32, 0).data().toString(), "120"); // X32: 1.2
        for (const char* cm : {"2", "1"}) {
            m_dev.setValue("CM", cm);
            m_w->commands_req({makeFrame("CM")});
            QTRY_COMPARE(m_page->isEnabled(), cm == QByteArray("1"));
        }
        m_page->findChild<QRadioButton*>(percent.isEmpty() ? "fullRangeRadio" : "singlePointRadio")->click();
        takeBoxes("Sure");
        QVERIFY(!m_page->isEnabled());
        QCOMPARE(waitBoxes(20000), QSL{"Recover finished."});
        QCOMPARE(m_dev.value("CalTabValueY5"), QStringLiteral("0.1875"));

        // Full scale 300 sccm: the six-point set; the reference meter reads a little high.
        auto* points = m_page->findChild<QTableView*>("pointsView")->model();
        QList<QPointF> measured;  // setpoint, reading; fractions of full scale
        for (int r = 1; percent.isEmpty() && r < readings.size(); ++r) {
            points->setData(points->index(r, 1), readings.at(r));
            measured << QPointF(points->index(r, 0).data().toDouble() / 100, readings.at(r).toDouble() / 300);
        }
        for (QRadioButton* r : m_page->findChildren<QRadioButton*>())
            if (!percent.isEmpty() && r->text() == percent) {
                r->click();
                m_page->findChild<QDoubleSpinBox*>("sccmSpin")->setValue(readings.at(0).toDouble());
                measured << QPointF(percent.chopped(1).toDouble() / 100, readings.at(0).toDouble() / 300);
            }
        m_page->findChild<QPushButton*>("startButton")->click();
        QCOMPARE(waitBoxes(30000), QSL{"Calibration finished."});
        QVERIFY(m_page->isEnabled());
        // The fitted table, as the page shows it, is in the device's registers.
        auto* cal = m_page->findChild<QTableView*>("calView")->model();
        QList<double> x{0}, y{0};
        for (int i = 1; i <= 32; ++i) {
            x << m_dev.value(QStringLiteral("CalTabValueX%1").arg(i)).toDouble();
            y << m_dev.value(QStringLiteral("CalTabValueY%1").arg(i)).toDouble();
            QVERIFY(qAbs(x[i] - cal->index(i, 0).data().toDouble() / 100) < 1e-4 && qAbs(y[i] - cal->index(i, 1).data().toDouble() / 100) < 1e-4);
        }
        // Read as the device does, in straight lines between its nodes: the reference readings.
        for (const QPointF& p : measured) {
            int i = 1;
            while (i < 32 && x[i] < p.x())
                ++i;
            const double read = y[i - 1] + (y[i] - y[i - 1]) * (p.x() - x[i - 1]) / (x[i] - x[i - 1]);
            QVERIFY2(qAbs(read - p.y()) <= 0.001, qPrintable(QStringLiteral("%1: %2").arg(p.x()).arg(read)));
        }

        // The start button stays disabled now: this run starts through its slot, behind a backlog
        // that makes the link refuse its list. Its state was settled before the request left.
        QString err;
        QVERIFY(m_w->findChild<UI_DrvV3*>()->hal()->request(
            QVector<mfc_frame_t>(TervanHALV3::DIRECT_QUEUE_LIMIT + 2, makeFrame("ReadFlow")).toList(), err));
        m_page->onClicked_calibrate(false);
        QCOMPARE(takeBoxes(), QSL{"Calibration fail..."});
        QVERIFY(m_page->isEnabled());
    }
};

QTEST_MAIN(TestUserCal)
#include "tst_usercal.moc"
