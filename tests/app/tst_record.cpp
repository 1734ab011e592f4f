// The flow record: captions, row format and timing, saving, restarts and
// failed saves. Files are checked independently with openpyxl.
#include "flowrecord.h"
#include "tst_others_support.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace OthersTest;

namespace {
const QStringList kCaptions{QString::fromUtf8("日期时间"), QString::fromUtf8("设定流量"),
                            QString::fromUtf8("瞬时流量")};

// What openpyxl finds in the first worksheet: every row as text cells. A cell
// that is not text shows up as "<type>:value" so a test sees the difference.
struct Sheet
{
    bool ok = false;
    QString error;
    QList<QStringList> rows;
};

Sheet readSheet(const QString& path)
{
    static const char* script = R"(
import json, sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
rows = []
for r in ws.iter_rows(values_only=True):
    rows.append(["" if v is None else (v if isinstance(v, str) else "%s:%s" % (type(v).__name__, v)) for v in r])
sys.stdout.write(json.dumps(rows))
)";
    Sheet sheet;
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    if (!py.waitForFinished(60000) || py.exitCode() != 0) {
        sheet.error = QString::fromUtf8(py.readAllStandardError());
        return sheet;
    }
    const QJsonArray rows = QJsonDocument::fromJson(py.readAllStandardOutput()).array();
    for (const QJsonValue& r : rows) {
        QStringList cells;
        for (const QJsonValue& c : r.toArray())
            cells << c.toString();
        sheet.rows << cells;
    }
    sheet.ok = true;
    return sheet;
}

// A clock the test moves by hand.
struct FakeClock
{
    QDateTime now = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 8, 42));
    FlowRecord::Clock clock()
    {
        return [this] { return now; };
    }
    void advance(qint64 ms) { now = now.addMSecs(ms); }
};
} // namespace

class TestRecord : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void capturesOnlyWhenStoppedEarly();
    void rowFormat_data();
    void rowFormat();
    void rowsFollowTheInterval();
    void eachRowIsSaved();
    void secondStartClosesTheFirst();
    void stopWithoutStart();
    void failedSaveReportedOnceAndRecovered();
    void failedSaveAtStop();
    void recordFolderBlockedByFile();
    void longRecordOpens();

private:
    WorkDir m_dir;
    FakeClock m_clock;
};

void TestRecord::initTestCase() { QVERIFY(m_dir.enter(QStringLiteral("en"))); }

void TestRecord::init()
{
    QDir(QStringLiteral("out")).removeRecursively();
    QVERIFY(QDir().mkdir(QStringLiteral("out")));
    m_clock = FakeClock();
}

void TestRecord::capturesOnlyWhenStoppedEarly()
{
    FlowRecord rec;
    rec.setClock(m_clock.clock());
    QTest::ignoreMessage(QtDebugMsg, "excel path: out/a.xlsx");
    rec.start(60, "out/a.xlsx");
    QVERIFY(rec.isRecording());
    QVERIFY(!QFile::exists("out/a.xlsx")); // nothing is written at start
    m_clock.advance(59999);
    rec.step(10, 20);
    rec.stop();
    QVERIFY(!rec.isRecording());

    const Sheet s = readSheet("out/a.xlsx");
    QVERIFY2(s.ok, qPrintable(s.error));
    QCOMPARE(s.rows, QList<QStringList>{kCaptions});
}

void TestRecord::rowFormat_data()
{
    QTest::addColumn<double>("setpoint");
    QTest::addColumn<double>("flow");
    QTest::addColumn<QString>("setpointText");
    QTest::addColumn<QString>("flowText");

    QTest::newRow("6 significant digits") << 0.0 << 33.333333 << "0" << "33.3333";
    QTest::newRow("plain") << 50.0 << 12.5 << "50" << "12.5";
    QTest::newRow("tiny and negative") << 1e-7 << -0.25 << "1e-07" << "-0.25";
    QTest::newRow("rounded up") << 99.9999999 << 100.0 << "100" << "100";
}

void TestRecord::rowFormat()
{
    QFETCH(double, setpoint);
    QFETCH(double, flow);
    QFETCH(QString, setpointText);
    QFETCH(QString, flowText);

    FlowRecord rec;
    rec.setClock(m_clock.clock());
    rec.start(1, "out/f.xlsx");
    m_clock.advance(1000); // 14:07:09.042
    rec.step(setpoint, flow);
    rec.stop();

    const Sheet s = readSheet("out/f.xlsx");
    QVERIFY2(s.ok, qPrintable(s.error));
    QCOMPARE(s.rows.size(), 2);
    QCOMPARE(s.rows.at(1), (QStringList{"2024/03/05 14:07:09:042", setpointText, flowText}));
}

void TestRecord::rowsFollowTheInterval()
{
    // Interval 0.1 s, flow replies every 40 ms: a row on every third reply,
    // and never two rows closer than the interval.
    FlowRecord rec;
    rec.setClock(m_clock.clock());
    rec.start(0.1, "out/i.xlsx");
    for (int i = 0; i < 25; ++i) {
        m_clock.advance(40);
        rec.step(1, i);
    }
    rec.stop();

    const Sheet s = readSheet("out/i.xlsx");
    QVERIFY2(s.ok, qPrintable(s.error));
    QStringList times;
    for (int r = 1; r < s.rows.size(); ++r)
        times << s.rows.at(r).at(0).right(6);
    // Rows at 120, 240, ..., 960 ms after the start.
    QCOMPARE(times, (QStringList{"08:162", "08:282", "08:402", "08:522", "08:642", "08:762", "08:882", "09:002"}));
    QCOMPARE(s.rows.at(1).at(2), QStringLiteral("2"));
}

void TestRecord::eachRowIsSaved()
{
    FlowRecord rec;
    rec.setClock(m_clock.clock());
    rec.start(1, "out/s.xlsx");
    m_clock.advance(1000);
    rec.step(5, 6);
    Sheet s = readSheet("out/s.xlsx");
    QVERIFY2(s.ok, qPrintable(s.error));
    QCOMPARE(s.rows.size(), 2);
    m_clock.advance(1000);
    rec.step(7, 8);
    s = readSheet("out/s.xlsx");
    QCOMPARE(s.rows.size(), 3);
    QCOMPARE(s.rows.at(2).mid(1), (QStringList{"7", "8"}));
}

void TestRecord::secondStartClosesTheFirst()
{
    FlowRecord rec;
    rec.setClock(m_clock.clock());
    rec.start(1, "out/one.xlsx");
    m_clock.advance(1000);
    rec.step(1, 2);
    rec.start(2, "out/two.xlsx");
    m_clock.advance(1000);
    rec.step(3, 4); // the new interval counts from the second start
    m_clock.advance(1000);
    rec.step(5, 6);
    rec.stop();

    Sheet one = readSheet("out/one.xlsx");
    QVERIFY2(one.ok, qPrintable(one.error));
    QCOMPARE(one.rows.size(), 2);
    QCOMPARE(one.rows.at(1).mid(1), (QStringList{"1", "2"}));
    Sheet two = readSheet("out/two.xlsx");
    QVERIFY2(two.ok, qPrintable(two.error));
    QCOMPARE(two.rows.size(), 2);
    QCOMPARE(two.rows.at(1).mid(1), (QStringList{"5", "6"}));
}

void TestRecord::stopWithoutStart()
{
    FlowRecord rec;
    QSignalSpy spy(&rec, &FlowRecord::saveError);
    rec.stop();
    rec.step(1, 2);
    rec.start(1, "out/x.xlsx");
    rec.stop();
    rec.stop();
    QCOMPARE(QDir("out").entryList(QDir::Files), QStringList{"x.xlsx"});
    QCOMPARE(spy.count(), 0);
}

void TestRecord::failedSaveReportedOnceAndRecovered()
{
    // A folder of the record's name stands in the way until it is removed.
    QVERIFY(QDir().mkpath("out/busy.xlsx"));
    FlowRecord rec;
    rec.setClock(m_clock.clock());
    QSignalSpy spy(&rec, &FlowRecord::saveError);
    rec.start(1, "out/busy.xlsx");
    for (int i = 1; i <= 3; ++i) {
        m_clock.advance(1000);
        rec.step(i, i * 10);
    }
    QCOMPARE(spy.count(), 1);
    QVERIFY(spy.at(0).at(0).toBool());
    QVERIFY(spy.at(0).at(1).toString().contains("out/busy.xlsx"));

    QVERIFY(QDir("out/busy.xlsx").removeRecursively());
    m_clock.advance(1000);
    rec.step(4, 40);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
    QCOMPARE(spy.at(1).at(1).toString(), QString());

    // Nothing was lost while the file could not be written.
    const Sheet s = readSheet("out/busy.xlsx");
    QVERIFY2(s.ok, qPrintable(s.error));
    QCOMPARE(s.rows.size(), 5);
    for (int i = 1; i <= 4; ++i)
        QCOMPARE(s.rows.at(i).mid(1), (QStringList{QString::number(i), QString::number(i * 10)}));
    rec.stop();
    QCOMPARE(spy.count(), 2);
}

void TestRecord::failedSaveAtStop()
{
    FlowRecord rec;
    QSignalSpy spy(&rec, &FlowRecord::saveError);
    rec.start(60, "out/"); // an empty name names the folder itself
    rec.stop();
    QCOMPARE(spy.count(), 1);
    QVERIFY(spy.at(0).at(0).toBool());
}

void TestRecord::recordFolderBlockedByFile()
{
    QFile blocker("out/record");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FlowRecord rec;
    rec.setClock(m_clock.clock());
    QSignalSpy spy(&rec, &FlowRecord::saveError);
    rec.start(1, "out/record/A1_240305_140708.xlsx");
    m_clock.advance(1000);
    rec.step(1, 1);
    m_clock.advance(1000);
    rec.step(1, 1);
    QCOMPARE(spy.count(), 1);
    QVERIFY(spy.at(0).at(0).toBool());
    QVERIFY(QFileInfo("out/record").isFile());
}

void TestRecord::longRecordOpens()
{
    const int rows = 4000;
    FlowRecord rec;
    rec.setClock(m_clock.clock());
    QSignalSpy spy(&rec, &FlowRecord::saveError);
    rec.start(0.1, "out/long.xlsx");
    for (int i = 0; i < rows; ++i) {
        m_clock.advance(100);
        rec.step(50, i / 7.0);
    }
    rec.stop();
    QCOMPARE(spy.count(), 0);

    const Sheet s = readSheet("out/long.xlsx");
    QVERIFY2(s.ok, qPrintable(s.error));
    QCOMPARE(s.rows.size(), rows + 1);
    QCOMPARE(s.rows.at(0), kCaptions);
    for (int i : {0, 1, 1234, rows - 1}) {
        const QDateTime at = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 8, 42)).addMSecs(100LL * (i + 1));
        QCOMPARE(s.rows.at(i + 1), (QStringList{at.toString("yyyy/MM/dd hh:mm:ss:zzz"), "50",
                                                QString::number(i / 7.0, 'g', 6)}));
    }
}

QTEST_MAIN(TestRecord)
#include "tst_record.moc"
