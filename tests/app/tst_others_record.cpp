// Others page: the record switch, interval and file name, and what happens
// when the record folder cannot be made.
#include "tst_others_support.h"
#include "ui_othersv3.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QtTest>

using namespace OthersTest;

namespace {
struct SaveRequest
{
    bool isStart;
    double saveTime;
    QString path;
};

SaveRequest saveRequest(const QSignalSpy& spy, int i)
{
    const QList<QVariant>& a = spy.at(i);
    return {a.at(0).toBool(), a.at(1).toDouble(), a.at(2).toString()};
}

// Proposed names look like SERIAL_yyMMdd_hhmmss.xlsx and carry a time close to now.
void verifyProposedName(const QString& name, const QString& serial, const QDateTime& before)
{
    const QRegularExpression re(QStringLiteral("^%1_(\\d{6}_\\d{6})\\.xlsx$").arg(QRegularExpression::escape(serial)));
    const QRegularExpressionMatch m = re.match(name);
    QVERIFY2(m.hasMatch(), qPrintable(name));
    QDateTime at = QDateTime::fromString(m.captured(1), QStringLiteral("yyMMdd_hhmmss"));
    at = at.addYears(100 * ((before.date().year() - at.date().year() + 50) / 100)); // two-digit year
    const QDateTime from = before.addMSecs(-before.time().msec()); // the name keeps whole seconds
    QVERIFY2(at >= from && at <= QDateTime::currentDateTime(), qPrintable(name));
}
} // namespace

class TestOthersRecord : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void nameProposedFromSerial();
    void startAndStop();
    void emptyNameStillStarts();
    void typedNameUsedAsItStands();
    void intervalRange();
    void blockedByFile();

private:
    void removeRecordEntry();
    WorkDir m_dir;
};

void TestOthersRecord::initTestCase() { QVERIFY(m_dir.enter(QStringLiteral("en"))); }

void TestOthersRecord::init() { removeRecordEntry(); }

void TestOthersRecord::removeRecordEntry()
{
    const QFileInfo info(QStringLiteral("record"));
    if (info.isDir())
        QDir(QStringLiteral("record")).removeRecursively();
    else if (info.exists())
        QFile::remove(QStringLiteral("record"));
}

void TestOthersRecord::nameProposedFromSerial()
{
    UI_OthersV3 page(nullptr);
    auto* edit = page.findChild<QLineEdit*>("saveFileName");
    QVERIFY(edit->text().isEmpty());
    QVERIFY(!QFileInfo::exists("record")); // nothing made before the serial number is known

    const QDateTime before = QDateTime::currentDateTime();
    page.mfc_ack(makeReply("MFCSerialNumber", "A1"));
    QVERIFY(QFileInfo("record").isDir());
    verifyProposedName(edit->text(), "A1", before);

    // An existing folder is used as it is.
    QFile marker("record/keep.txt");
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.close();
    page.mfc_ack(makeReply("MFCSerialNumber", "SN-0042"));
    verifyProposedName(edit->text(), "SN-0042", before);
    QVERIFY(QFileInfo::exists("record/keep.txt"));

    // The serial number comes from the device and never names another folder.
    page.mfc_ack(makeReply("MFCSerialNumber", "../up\\x\tz"));
    verifyProposedName(edit->text(), ".._up_x_z", before);
}

void TestOthersRecord::startAndStop()
{
    UI_OthersV3 page(nullptr);
    page.mfc_ack(makeReply("MFCSerialNumber", "A1"));
    auto* edit = page.findChild<QLineEdit*>("saveFileName");
    auto* box = page.findChild<QGroupBox*>("saveBox");
    auto* active = page.findChild<QCheckBox*>("saveActive");
    page.findChild<QDoubleSpinBox*>("saveInterval")->setValue(0.5);
    const QString name = edit->text();

    QSignalSpy spy(&page, &UI_OthersV3::saveRecord_req);
    active->click();
    QCOMPARE(spy.count(), 1);
    SaveRequest r = saveRequest(spy, 0);
    QVERIFY(r.isStart);
    QCOMPARE(r.saveTime, 0.5);
    QCOMPARE(r.path, "record/" + name);
    QVERIFY(!box->isEnabled());

    // The running record keeps its name; the serial number is kept for the next one.
    page.mfc_ack(makeReply("MFCSerialNumber", "B2"));
    QCOMPARE(edit->text(), name);

    const QDateTime before = QDateTime::currentDateTime();
    active->click();
    QCOMPARE(spy.count(), 2);
    r = saveRequest(spy, 1);
    QVERIFY(!r.isStart);
    QCOMPARE(r.saveTime, 0.5);
    QCOMPARE(r.path, "record/" + name);
    QVERIFY(box->isEnabled());
    verifyProposedName(edit->text(), "B2", before);
}

void TestOthersRecord::emptyNameStillStarts()
{
    UI_OthersV3 page(nullptr);
    QSignalSpy spy(&page, &UI_OthersV3::saveRecord_req);
    page.findChild<QCheckBox*>("saveActive")->click();
    QCOMPARE(spy.count(), 1);
    const SaveRequest r = saveRequest(spy, 0);
    QVERIFY(r.isStart);
    QCOMPARE(r.saveTime, 60.0);
    QCOMPARE(r.path, QStringLiteral("record/"));
}

void TestOthersRecord::typedNameUsedAsItStands()
{
    UI_OthersV3 page(nullptr);
    page.mfc_ack(makeReply("MFCSerialNumber", "A1"));
    auto* edit = page.findChild<QLineEdit*>("saveFileName");
    edit->setText("my_run");
    QSignalSpy spy(&page, &UI_OthersV3::saveRecord_req);
    auto* active = page.findChild<QCheckBox*>("saveActive");
    active->click();
    QCOMPARE(saveRequest(spy, 0).path, QStringLiteral("record/my_run"));
    active->click();
    QCOMPARE(saveRequest(spy, 1).path, QStringLiteral("record/my_run"));
    QVERIFY(edit->text().startsWith("A1_"));
}

void TestOthersRecord::intervalRange()
{
    UI_OthersV3 page(nullptr);
    auto* spin = page.findChild<QDoubleSpinBox*>("saveInterval");
    QCOMPARE(spin->minimum(), 0.1);
    QCOMPARE(spin->maximum(), 300.0);
    QCOMPARE(spin->value(), 60.0);
    spin->setValue(1000);
    QCOMPARE(spin->value(), 300.0);
    spin->setValue(0.01);
    QCOMPARE(spin->value(), 0.1);
}

void TestOthersRecord::blockedByFile()
{
    QFile blocker("record");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder");
    blocker.close();

    UI_OthersV3 page(nullptr);
    auto* edit = page.findChild<QLineEdit*>("saveFileName");
    auto* active = page.findChild<QCheckBox*>("saveActive");
    QSignalSpy spy(&page, &UI_OthersV3::saveRecord_req);

    // The program says so and goes on; the name stays as it was.
    page.mfc_ack(makeReply("MFCSerialNumber", "A1"));
    QMessageBox* box = visibleMessageBox();
    QVERIFY(box);
    QCOMPARE(box->text(), QString::fromUtf8("无法创建目录：record！"));
    QVERIFY(edit->text().isEmpty());

    // Further attempts do not pile up boxes.
    page.mfc_ack(makeReply("MFCSerialNumber", "A1"));
    int boxes = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        boxes += qobject_cast<QMessageBox*>(w) && w->isVisible() ? 1 : 0;
    QCOMPARE(boxes, 1);

    // Recording stays off.
    active->click();
    QVERIFY(!active->isChecked());
    QCOMPARE(spy.count(), 0);
    QVERIFY(QFileInfo("record").isFile());

    box->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(!visibleMessageBox());

    // With the file gone the folder is made and names come again.
    QVERIFY(QFile::remove("record"));
    page.mfc_ack(makeReply("MFCSerialNumber", "A1"));
    QVERIFY(!visibleMessageBox());
    QVERIFY(QFileInfo("record").isDir());
    QVERIFY(edit->text().startsWith("A1_"));
    active->click();
    QCOMPARE(spy.count(), 1);
    QVERIFY(saveRequest(spy, 0).isStart);
}

QTEST_MAIN(TestOthersRecord)
#include "tst_others_record.moc"
