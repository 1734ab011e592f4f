// The flow record: captions, row format and timing, a save after every row,
// failed saves, and records that outgrow their file. Files are read back with openpyxl.
#include "../xlsx/openpyxlsheet.h"
#include "flowrecord.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <numeric>

class TestRecord : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rowFormat_data();
    void rowFormat();
    void rowsFollowTheInterval();
    void failedSaveReportedOnceNothingLost_data();
    void failedSaveReportedOnceNothingLost();
    void continuesInNewFiles_data();
    void continuesInNewFiles();

private:
    QString file(const QString& name) const { return m_dir->filePath(name); }
    // One plot step ms after the last, and the row it would write.
    QStringList tick(qint64 ms, double setpoint, double flow)
    {
        m_now = m_now.addMSecs(ms);
        m_rec->step(setpoint, flow);
        return {m_now.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss:zzz")), QString::number(setpoint),
                QString::number(flow)};
    }
    // The data rows of a record file; its captions are checked first.
    static QList<QStringList> dataRows(const QString& path)
    {
        const QStringList captions{QStringLiteral("日期时间"), QStringLiteral("设定流量"), QStringLiteral("瞬时流量")};
        const OpenpyxlSheet sheet = readWithOpenpyxl(path);
        if (!sheet.error.isEmpty() || sheet.rows.value(0) != captions)
            return {{QStringLiteral("bad file"), path, sheet.error}};
        return sheet.rows.mid(1);
    }

    std::unique_ptr<FlowRecord> m_rec;
    std::unique_ptr<QSignalSpy> m_errors;
    std::unique_ptr<QTemporaryDir> m_dir;
    QDateTime m_now;
};

void TestRecord::init()
{
    m_now = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 8, 42));
    m_rec = std::make_unique<FlowRecord>(); // the last test's record goes while its folder is there
    m_rec->setClock([this] { return m_now; });
    m_errors = std::make_unique<QSignalSpy>(m_rec.get(), &FlowRecord::saveError);
    m_dir = std::make_unique<QTemporaryDir>();
}

void TestRecord::rowFormat_data()
{
    QTest::addColumn<double>("setpoint");
    QTest::addColumn<double>("flow");
    QTest::addColumn<int>("afterMs");
    QTest::addColumn<QStringList>("row"); // empty: captions only
    const QString at = QStringLiteral("2024/03/05 14:07:09:042");
    QTest::newRow("6 significant digits") << 0.0 << 33.333333 << 1000 << QStringList{at, "0", "33.3333"};
    QTest::newRow("tiny and negative") << 1e-7 << -0.25 << 1000 << QStringList{at, "1e-07", "-0.25"};
    QTest::newRow("rounded up") << 99.9999999 << 100.0 << 1000 << QStringList{at, "100", "100"};
    QTest::newRow("stopped before the first interval") << 1.0 << 2.0 << 999 << QStringList{};
}

void TestRecord::rowFormat()
{
    QFETCH(double, setpoint);
    QFETCH(double, flow);
    QFETCH(int, afterMs);
    QFETCH(QStringList, row);
    m_rec->stop(); // without a record: nothing
    m_rec->step(1, 2);
    const QString path = file(QStringLiteral("f.xlsx"));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("excel path: ") + path));
    m_rec->start(1, path);
    QVERIFY(m_rec->isRecording());
    QVERIFY(!QFile::exists(path)); // nothing is written at start
    tick(afterMs, setpoint, flow);
    m_rec->stop();
    m_rec->stop();
    QVERIFY(!m_rec->isRecording());
    QCOMPARE(dataRows(path), row.isEmpty() ? QList<QStringList>{} : QList<QStringList>{row});
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("f.xlsx")});
    QCOMPARE(m_errors->count(), 0);
}

void TestRecord::rowsFollowTheInterval()
{
    // Interval 0.1 s, flow replies every 40 ms: a row on every third reply,
    // never two closer than the interval, each saved as it comes.
    const QString path = file(QStringLiteral("i.xlsx"));
    m_rec->start(0.1, path);
    QList<QStringList> expected;
    for (int i = 1; i <= 25; ++i) {
        const QStringList row = tick(40, 1, i);
        if (i % 3 == 0)
            expected << row;
        if (i == 6)
            QCOMPARE(dataRows(path), expected);
    }
    m_rec->stop();
    QCOMPARE(dataRows(path), expected);
}

void TestRecord::failedSaveReportedOnceNothingLost_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("message");
    QTest::newRow("en") << "en" << "Record not saved: ";
    QTest::newRow("cn") << "cn" << QString::fromUtf8("记录未保存: ");
}

void TestRecord::failedSaveReportedOnceNothingLost()
{
    QFETCH(QString, lang);
    QFETCH(QString, message);
    // The status line shows the problem in the language of tervancal.ini,
    // which the program keeps in its working directory.
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    QSettings(QStringLiteral("tervancal.ini"), QSettings::IniFormat).setValue(QStringLiteral("lang"), lang);
    const QString path = file(QStringLiteral("busy.xlsx"));
    QVERIFY(QDir().mkdir(path)); // a folder of the file's name, until removed
    m_rec->start(1, path);
    QList<QStringList> expected;
    for (int i = 1; i <= 3; ++i)
        expected << tick(1000, i, i * 10);
    QCOMPARE(m_errors->count(), 1);
    QCOMPARE(m_errors->at(0).at(0), QVariant(true));
    QVERIFY(m_errors->at(0).at(1).toString().startsWith(message + path));
    QVERIFY(QDir().rmdir(path));
    expected << tick(1000, 4, 40);
    m_rec->stop();
    QCOMPARE(m_errors->count(), 2);
    QCOMPARE(m_errors->at(1), (QList<QVariant>{false, QString()}));
    QCOMPARE(dataRows(path), expected);
    QDir::setCurrent(oldDir);
}

void TestRecord::continuesInNewFiles_data()
{
    QTest::addColumn<int>("rowLimit"); // captions included; 0: the sheet's
    QTest::addColumn<QString>("event");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("sheet full") << 4 << "" << QStringList{"r.xlsx", "r_2.xlsx", "r_3.xlsx", "r_4.xlsx"}
                                << QList<int>{3, 3, 3, 1};
    QTest::newRow("numbered name taken") << 4 << "taken" << QStringList{"r.xlsx", "r_3.xlsx", "r_4.xlsx", "r_2.xlsx"}
                                         << QList<int>{3, 3, 1};
    QTest::newRow("file replaced by another program") << 0 << "replaced" << QStringList{"r.xlsx", "r_2.xlsx"}
                                                      << QList<int>{4, 3};
}

void TestRecord::continuesInNewFiles()
{
    QFETCH(int, rowLimit);
    QFETCH(QString, event);
    QFETCH(QStringList, files);
    QFETCH(QList<int>, rows);
    const QString path = file(QStringLiteral("r.xlsx"));
    QFile taken(file(QStringLiteral("r_2.xlsx")));
    if (event == QLatin1String("taken"))
        QVERIFY(taken.open(QIODevice::WriteOnly) && taken.write("keep") == 4);
    taken.close();
    if (rowLimit)
        m_rec->setRowLimit(rowLimit);
    m_rec->start(1, path);
    QList<QStringList> expected;
    while (expected.size() < std::accumulate(rows.begin(), rows.end(), 0)) {
        expected << tick(1000, expected.size(), expected.size() * 0.5);
        if (expected.size() == 4 && event == QLatin1String("replaced")) { // a copy takes its place
            QVERIFY(QFile::copy(path, path + QStringLiteral(".copy")) && QFile::remove(path));
            QVERIFY(QFile::rename(path + QStringLiteral(".copy"), path));
        }
    }
    m_rec->stop();
    QCOMPARE(m_errors->count(), 0);
    // Every row once, in order; each file with the captions and its share.
    QList<QStringList> found;
    for (int f = 0; f < rows.size(); ++f) {
        found += dataRows(file(files.at(f)));
        QCOMPARE(found.size(), std::accumulate(rows.begin(), rows.begin() + f + 1, 0));
    }
    QCOMPARE(found, expected);
    files.sort();
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), files);
    QVERIFY(taken.open(QIODevice::ReadOnly));
    QVERIFY(event != QLatin1String("taken") || taken.readAll() == "keep");
}

QTEST_MAIN(TestRecord)
#include "tst_record.moc"
