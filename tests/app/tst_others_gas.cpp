// Others page: gas settings behind their confirmation boxes, the range update,
// the register grid, the accumulator and the read list.
#include "tst_others_support.h"
#include "ui_othersv3.h"
#include "ui_test.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

using namespace OthersTest;

namespace {
const QString kCommit = QStringLiteral("EEPROMProgram|1|1|fg; AppDelay|2|1000|fg");

QString writeAndCommit(const QString& name, const QString& value)
{
    return QStringLiteral("%1|1|%2|fg; ").arg(name, value) + kCommit;
}

QString readOf(const QString& name) { return name + QStringLiteral("|0||fg"); }
} // namespace

class TestOthersGas : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void confirmation_data();
    void confirmation();
    void conversionWrite_data();
    void conversionWrite();
    void rangeUpdate_data();
    void rangeUpdate();
    void replyValues();

    void gridLayout_data();
    void gridLayout();
    void gridReplyFillsWithoutWriting();
    void gridTypedEditWritesOnce();

    void accumulator();
    void readList();
    void captionsFitTheWindow_data();
    void captionsFitTheWindow();

private:
    WorkDir m_dir;
};

void TestOthersGas::initTestCase()
{
    qRegisterMetaType<QList<mfc_frame_t>>();
    QVERIFY(m_dir.enter(QStringLiteral("en")));
}

void TestOthersGas::init() { WorkDir::setLanguage(QStringLiteral("en")); }

void TestOthersGas::confirmation_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("button");    // object name of the "Set" button
    QTest::addColumn<QString>("spin");      // object name of the value control
    QTest::addColumn<double>("value");      // put into the control before "Set"
    QTest::addColumn<bool>("sure");
    QTest::addColumn<QString>("text");      // the box's text
    QTest::addColumn<QString>("request");   // the one request sent

    const QString fullEn = QStringLiteral("Be sure to change fullrange?");
    QTest::newRow("fullrange sure") << "en" << "targetRangeSet" << "targetRange" << 1000.0 << true
                                    << fullEn << writeAndCommit("TargetGasFullScaleRange", "1000");
    QTest::newRow("fullrange cancel") << "en" << "targetRangeSet" << "targetRange" << 1000.0 << false
                                      << fullEn << readOf("TargetGasFullScaleRange");
    QTest::newRow("fullrange cn") << "cn" << "targetRangeSet" << "targetRange" << 2000.0 << true
                                  << QStringLiteral("请确认需要修改气体满量程?")
                                  << writeAndCommit("TargetGasFullScaleRange", "2000");
    QTest::newRow("transform cancel") << "en" << "factorSet" << "factor" << 1.2 << false
                                      << "Change gas transtor also change fullrange?"
                                      << readOf("TargetGas2CalibrationGas");
    QTest::newRow("transform cancel cn") << "cn" << "factorSet" << "factor" << 1.2 << false
                                         << QStringLiteral("修改气体转换系数同时会修改气体满量程?")
                                         << readOf("TargetGas2CalibrationGas");
    QTest::newRow("softstart sure") << "en" << "softStartSet" << "softStart" << 12.5 << true
                                    << "Sure to change softstart?" << writeAndCommit("SoftstartRate", "12.5");
    QTest::newRow("softstart cancel") << "en" << "softStartSet" << "softStart" << 12.5 << false
                                      << "Sure to change softstart?" << readOf("SoftstartRate");
    QTest::newRow("softstart cn") << "cn" << "softStartSet" << "softStart" << 100.0 << true
                                  << QStringLiteral("确认更改软起动数值？") << writeAndCommit("SoftstartRate", "100");
    QTest::newRow("delay sure, clamped") << "en" << "delaySet" << "delay" << 30000.0 << true
                                         << "Sure to change delay?" << writeAndCommit("Delay", "25549");
    QTest::newRow("delay cancel") << "en" << "delaySet" << "delay" << 10.0 << false
                                  << "Sure to change delay?" << readOf("Delay");
    QTest::newRow("delay cn") << "cn" << "delaySet" << "delay" << 0.0 << true
                              << QStringLiteral("确认更改延迟时间？") << writeAndCommit("Delay", "0");
    QTest::newRow("shutoff sure") << "en" << "shutoffLevelSet" << "shutoffLevel" << 99.99 << true
                                  << "Sure to change shutoff level?" << writeAndCommit("ShutoffLevel", "99.99");
    QTest::newRow("shutoff cancel") << "en" << "shutoffLevelSet" << "shutoffLevel" << 1.5 << false
                                    << "Sure to change shutoff level?" << readOf("ShutoffLevel");
    QTest::newRow("shutoff cn") << "cn" << "shutoffLevelSet" << "shutoffLevel" << 0.25 << true
                                << QStringLiteral("确认更改关闭比率？") << writeAndCommit("ShutoffLevel", "0.25");
}

void TestOthersGas::confirmation()
{
    QFETCH(QString, lang);
    QFETCH(QString, button);
    QFETCH(QString, spin);
    QFETCH(double, value);
    QFETCH(bool, sure);
    QFETCH(QString, text);
    QFETCH(QString, request);

    WorkDir::setLanguage(lang);
    UI_OthersV3 page(nullptr);
    QSignalSpy spy(&page, &UI_OthersV3::commands_req);

    QWidget* control = page.findChild<QWidget*>(spin);
    QVERIFY(control);
    if (auto* s = qobject_cast<QSpinBox*>(control))
        s->setValue(int(value));
    else
        qobject_cast<QDoubleSpinBox*>(control)->setValue(value);

    const QString sureText = lang == "cn" ? QStringLiteral("确认") : QStringLiteral("Sure");
    const QString cancelText = lang == "cn" ? QStringLiteral("取消") : QStringLiteral("Cancel");
    BoxAnswer answer(sure ? sureText : cancelText);
    page.findChild<QPushButton*>(button)->click();

    QVERIFY(answer.answered);
    QCOMPARE(answer.text, text);
    QCOMPARE(answer.buttons, (QStringList{sureText, cancelText}));
    QCOMPARE(requestsText(spy), QStringList{request});
    QVERIFY(noneChecked(spy));
}

void TestOthersGas::conversionWrite_data()
{
    QTest::addColumn<int>("calRange");  // -1: no calibration-gas range reply
    QTest::addColumn<double>("factor");
    QTest::addColumn<QString>("factorText");
    QTest::addColumn<QString>("range");

    QTest::newRow("1.3 x 1000") << 1000 << 1.3 << "1.3" << "1300";
    QTest::newRow("no range yet: 1.3 x 65535 capped") << -1 << 1.3 << "1.3" << "55000";
    QTest::newRow("no range yet: half rounds up") << -1 << 0.5 << "0.5" << "32768";
    QTest::newRow("1.1 x 50000 at the cap") << 50000 << 1.1 << "1.1" << "55000";
    QTest::newRow("spin bound 1.1 for 50000") << 50000 << 1.3 << "1.1" << "55000";
    QTest::newRow("0.35 x 999") << 999 << 0.35 << "0.35" << "350";
}

void TestOthersGas::conversionWrite()
{
    QFETCH(int, calRange);
    QFETCH(double, factor);
    QFETCH(QString, factorText);
    QFETCH(QString, range);

    UI_OthersV3 page(nullptr);
    if (calRange >= 0)
        page.mfc_ack(makeReply("CalibrationGasFullScaleRange", calRange));
    page.findChild<QDoubleSpinBox*>("factor")->setValue(factor);

    QSignalSpy spy(&page, &UI_OthersV3::commands_req);
    BoxAnswer answer(QStringLiteral("Sure"));
    page.findChild<QPushButton*>("factorSet")->click();

    QVERIFY(answer.answered);
    QCOMPARE(answer.text, QStringLiteral("Change gas transtor also change fullrange?"));
    QCOMPARE(requestsText(spy), (QStringList{writeAndCommit("TargetGas2CalibrationGas", factorText),
                                             writeAndCommit("TargetGasFullScaleRange", range)}));
}

void TestOthersGas::rangeUpdate_data()
{
    QTest::addColumn<QStringList>("replies"); // "name=value"
    QTest::addColumn<int>("targetMin");
    QTest::addColumn<int>("targetMax");
    QTest::addColumn<QString>("targetLabel");
    QTest::addColumn<double>("factorMax");
    QTest::addColumn<QString>("factorLabel");
    QTest::addColumn<double>("factorValue");

    QTest::newRow("nothing yet") << QStringList{} << 100 << 51000 << "SCCM" << 2.0 << "[0.3,2]" << 0.3;
    QTest::newRow("factor before any range") << QStringList{"TargetGas2CalibrationGas=1.0"} << 100 << 51000
                                             << "SCCM" << 0.84 << "[0.3,0.84]" << 0.84;
    QTest::newRow("range before any factor") << QStringList{"CalibrationGasFullScaleRange=1000"} << 100
                                             << 51000 << "SCCM" << 2.0 << "[0.3,2.00]" << 0.3;
    QTest::newRow("range 0") << QStringList{"TargetGas2CalibrationGas=1.0", "CalibrationGasFullScaleRange=0"}
                             << 0 << 0 << "[0,0]sccm" << 2.0 << "[0.3,2.00]" << 0.84;
    QTest::newRow("1.5 x 1000") << QStringList{"CalibrationGasFullScaleRange=1000", "TargetGas2CalibrationGas=1.5"}
                                << 450 << 1650 << "[450,1650]sccm" << 2.0 << "[0.3,2.00]" << 1.5;
    QTest::newRow("capped at 55000") << QStringList{"CalibrationGasFullScaleRange=50000", "TargetGas2CalibrationGas=1.0"}
                                     << 15000 << 55000 << "[15000,55000]sccm" << 1.1 << "[0.3,1.10]" << 1.0;
    QTest::newRow("halves away from zero") << QStringList{"CalibrationGasFullScaleRange=5", "TargetGas2CalibrationGas=1.0"}
                                           << 2 << 6 << "[2,6]sccm" << 2.0 << "[0.3,2.00]" << 1.0;
}

void TestOthersGas::rangeUpdate()
{
    QFETCH(QStringList, replies);
    QFETCH(int, targetMin);
    QFETCH(int, targetMax);
    QFETCH(QString, targetLabel);
    QFETCH(double, factorMax);
    QFETCH(QString, factorLabel);
    QFETCH(double, factorValue);

    UI_OthersV3 page(nullptr);
    QSignalSpy spy(&page, &UI_OthersV3::commands_req);
    for (const QString& r : replies)
        page.mfc_ack(makeReply(r.section('=', 0, 0), r.section('=', 1)));

    auto* target = page.findChild<QSpinBox*>("targetRange");
    auto* factor = page.findChild<QDoubleSpinBox*>("factor");
    QCOMPARE(target->minimum(), targetMin);
    QCOMPARE(target->maximum(), targetMax);
    QCOMPARE(page.findChild<QLabel*>("targetRangeLabel")->text(), targetLabel);
    QCOMPARE(factor->minimum(), 0.3);
    QCOMPARE(factor->maximum(), factorMax);
    QCOMPARE(page.findChild<QLabel*>("factorLabel")->text(), factorLabel);
    QCOMPARE(factor->value(), factorValue);
    QCOMPARE(spy.count(), 0); // replies never send anything
}

void TestOthersGas::replyValues()
{
    UI_OthersV3 page(nullptr);
    page.mfc_ack(makeReply("TargetGasFullScaleRange", 5000));
    page.mfc_ack(makeReply("SoftstartRate", 12.25));
    page.mfc_ack(makeReply("ShutoffLevel", 2.5));
    page.mfc_ack(makeReply("Delay", 1200));
    QCOMPARE(page.findChild<QSpinBox*>("targetRange")->value(), 5000);
    QCOMPARE(page.findChild<QDoubleSpinBox*>("softStart")->value(), 12.25);
    QCOMPARE(page.findChild<QDoubleSpinBox*>("shutoffLevel")->value(), 2.5);
    QCOMPARE(page.findChild<QSpinBox*>("delay")->value(), 1200);
}

void TestOthersGas::gridLayout_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("editable");

    QTest::newRow("Delay") << 0 << "Delay(ms)" << true;
    QTest::newRow("TargetGasFullScaleRange") << 1 << "TargetGasFullScaleRange(sccm)" << true;
    QTest::newRow("ZeroConstant") << 2 << "ZeroConstant" << false;
    QTest::newRow("TargetNullValue") << 3 << "TargetNullValue" << true;
    QTest::newRow("ReadValveVoltage") << 4 << "ReadValveVoltage(V)" << false;
    QTest::newRow("ShutoffLevel") << 5 << "ShutoffLevel(%)" << true;
    QTest::newRow("SoftstartRate") << 6 << "SoftstartRate(%)" << true;
    QTest::newRow("ReadTemperature") << 7 << QString::fromUtf8("ReadTemperature(°C)") << false;
    QTest::newRow("TargetGas2CalibrationGas") << 8 << "ConversionFactor" << true;
    QTest::newRow("ValveCommandMode") << 9 << "ValveCommandMode" << true;
}

void TestOthersGas::gridLayout()
{
    QFETCH(int, row);
    QFETCH(QString, caption);
    QFETCH(bool, editable);

    UI_OthersV3 page(nullptr);
    auto* view = page.findChild<QTableView*>("registerTable");
    QVERIFY(view);
    auto* model = qobject_cast<QStandardItemModel*>(view->model());
    QCOMPARE(model->rowCount(), 10);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));
    QCOMPARE(model->item(row, 0)->text(), caption);
    QVERIFY(!model->item(row, 0)->isEditable());
    QCOMPARE(model->item(row, 1)->isEditable(), editable);
    QCOMPARE(view->columnWidth(0), int(view->horizontalHeader()->defaultSectionSize() * 1.5));
}

void TestOthersGas::gridReplyFillsWithoutWriting()
{
    UI_OthersV3 page(nullptr);
    auto* model = qobject_cast<QStandardItemModel*>(page.findChild<QTableView*>("registerTable")->model());
    QSignalSpy spy(&page, &UI_OthersV3::commands_req);

    // Before any reply has filled a cell, an edit goes nowhere.
    model->item(0, 1)->setText(QStringLiteral("10"));
    QCOMPARE(spy.count(), 0);

    page.mfc_ack(makeReply("Delay", 500));
    page.mfc_ack(makeReply("ReadTemperature", 2048));
    page.mfc_ack(makeReply("TargetNullValue", -0.25));
    page.mfc_ack(makeReply("ReadFlow", 12.5)); // not in the grid
    QCOMPARE(model->item(0, 1)->text(), QStringLiteral("500"));
    QCOMPARE(model->item(7, 1)->text(), QStringLiteral("2048"));
    QCOMPARE(model->item(3, 1)->text(), QStringLiteral("-0.25000000"));
    QCOMPARE(spy.count(), 0);

    // Many fills leave exactly one connection: one edit, one write.
    model->item(9, 1)->setText(QStringLiteral("1"));
    QCOMPARE(requestsText(spy), QStringList{writeAndCommit("ValveCommandMode", "1")});
}

void TestOthersGas::gridTypedEditWritesOnce()
{
    UI_OthersV3 page(nullptr);
    page.resize(900, 700);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.mfc_ack(makeReply("Delay", 500));
    page.mfc_ack(makeReply("Delay", 500));

    auto* view = page.findChild<QTableView*>("registerTable");
    QSignalSpy spy(&page, &UI_OthersV3::commands_req);
    const QModelIndex idx = view->model()->index(0, 1);
    view->setCurrentIndex(idx);
    view->edit(idx);
    auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(idx));
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("750"));
    QTest::keyClick(editor, Qt::Key_Return); // the delegate commits on the next event-loop turn

    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(requestsText(spy), QStringList{writeAndCommit("Delay", "750")});
    QVERIFY(noneChecked(spy));

    // A read-only cell opens no editor.
    const QModelIndex ro = view->model()->index(2, 1);
    view->setCurrentIndex(ro);
    view->edit(ro);
    QVERIFY(!view->indexWidget(ro));
}

void TestOthersGas::accumulator()
{
    UI_OthersV3 page(nullptr);
    auto* edit = page.findChild<QLineEdit*>("accumulation");
    QVERIFY(edit->isReadOnly());

    page.mfc_ack(makeReply("ReadControlledFlowAccumulator", 1234.5678));
    QCOMPARE(edit->text(), QStringLiteral("1234.57"));
    page.mfc_ack(makeReply("ControlFlowAccumulatorMode", 3));
    QCOMPARE(edit->text(), QStringLiteral("0"));
    page.mfc_ack(makeReply("ReadControlledFlowAccumulator", 0.004));
    QCOMPARE(edit->text(), QStringLiteral("0.00"));

    QSignalSpy spy(&page, &UI_OthersV3::commands_req);
    page.findChild<QPushButton*>("readAccumulation")->click();
    page.findChild<QPushButton*>("eraseAccumulation")->click();
    QCOMPARE(requestsText(spy), (QStringList{readOf("ReadControlledFlowAccumulator"),
                                             writeAndCommit("ControlFlowAccumulatorMode", "0")}));
}

void TestOthersGas::readList()
{
    UI_OthersV3 page(nullptr);
    QCOMPARE(page.readList(),
             (QStringList{"TargetGasFullScaleRange", "CalibrationGasFullScaleRange", "TargetGas2CalibrationGas",
                          "SoftstartRate", "ShutoffLevel", "Delay", "ReadAlarms", "EnableDisalbeAlarms",
                          "ReadControlledFlowAccumulator", "ReadFlow", "MFCSerialNumber", "ZeroConstant",
                          "TargetNullValue", "ValveCommandMode", "ValveCommand", "ReadValveVoltage",
                          "ReadTemperature"}));
}

void TestOthersGas::captionsFitTheWindow_data()
{
    QTest::addColumn<QString>("lang");
    QTest::newRow("en") << "en";
    QTest::newRow("cn") << "cn";
}

// Inside the main window's fixed size every caption, box and button of the
// page gets at least the width it needs (a word-wrapped label the height).
void TestOthersGas::captionsFitTheWindow()
{
    QFETCH(QString, lang);
    WorkDir::setLanguage(lang);
    // The offscreen platform picks a 12 pt font; desktops give 9 pt, as xcb does here.
    const QFont appFont = QApplication::font();
    QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
    struct RestoreFont
    {
        QFont font;
        ~RestoreFont() { QApplication::setFont(font); }
    } restore{appFont};
    UI_Test w(QStringList{});
    auto* page = w.findChild<UI_OthersV3*>();
    auto* tabs = w.findChild<QTabWidget*>();
    QVERIFY(page && tabs);
    tabs->setEnabled(true);
    tabs->setCurrentWidget(page);
    // The widest range texts the page shows once the device has answered.
    page->mfc_ack(makeReply("CalibrationGasFullScaleRange", 50000));
    page->mfc_ack(makeReply("TargetGas2CalibrationGas", 1.0));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QVERIFY2(page->minimumSizeHint().width() <= page->width(),
             qPrintable(QStringLiteral("%1 > %2").arg(page->minimumSizeHint().width()).arg(page->width())));
    auto* table = page->findChild<QTableView*>("registerTable");
    QStringList clipped;
    for (QWidget* c : page->findChildren<QWidget*>()) {
        if (!c->isVisibleTo(page) || table->isAncestorOf(c))
            continue;
        QString text;
        if (auto* l = qobject_cast<QLabel*>(c))
            text = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(c))
            text = b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(c))
            text = g->title();
        else if (qobject_cast<QAbstractSpinBox*>(c) || qobject_cast<QComboBox*>(c))
            text = c->objectName();
        else
            continue;
        const auto* label = qobject_cast<QLabel*>(c);
        bool fits;
        if (label && label->wordWrap()) {
            fits = c->height() >= label->heightForWidth(c->width());
        } else {
            // An explicit minimum width stands for the widget's own minimum, as in layouts.
            const int need = c->minimumWidth() > 0 ? c->minimumWidth() : c->minimumSizeHint().width();
            fits = c->width() >= need;
        }
        if (!fits)
            clipped << QStringLiteral("%1 (%2 px)").arg(text).arg(c->width());
    }
    QCOMPARE(clipped, QStringList{});
}

QTEST_MAIN(TestOthersGas)
#include "tst_others_gas.moc"
