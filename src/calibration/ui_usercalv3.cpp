// UI_UserCalV3: construction, layout, mode confirmation and the setpoint buttons.
#include "ui_usercalv3.h"

#include "languagedictionary.h"
#include "leastsquarescurvefitting.h"
#include "radioarrows.h"
#include "tableroom.h"

#include <QDebug>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString DATA_DIR = QStringLiteral("data");

// A bound that is missing, not a number or not finite keeps its default.
double settingsNumber(const QSettings& settings, const QString& key, double fallback)
{
    bool ok = false;
    const double v = settings.value(key).toString().toDouble(&ok);
    return ok && std::isfinite(v) ? v : fallback;
}

// A table view that asks for room for all its columns beside a vertical scroll
// bar and for `rows` rows.
class ColumnsTableView : public QTableView
{
public:
    explicit ColumnsTableView(int rows) : m_rows(rows) {}

    QSize sizeHint() const override { return tableRoom(this, m_rows, true); }
    // On a screen too small for the whole window the columns scroll rather than the window leaving it.
    QSize minimumSizeHint() const override
    {
        return {QTableView::minimumSizeHint().width(), tableRoom(this, 3, true).height()};
    }

private:
    int m_rows;
};

// A table view over `model`, filling `group`, tall enough for the most points a run takes.
QTableView* addTableView(QGroupBox* group, QStandardItemModel* model, const QString& name)
{
    auto* view = new ColumnsTableView(16);
    view->setObjectName(name);
    view->setModel(model);
    auto* box = new QVBoxLayout(group);
    box->addWidget(view);
    return view;
}

} // namespace

UI_UserCalV3::UI_UserCalV3(QWidget* parent)
    : QWidget(parent)
{
    readSlopeBounds();
    const QFileInfo data(DATA_DIR);
    if (!data.exists())
        QDir().mkdir(DATA_DIR);

    m_lang = new LanguageDictionary();
    m_fit = new LeastSquaresCurveFitting();
    m_fit->setSlopeBounds(m_yxRateMin, m_yxRateMax);

    for (int i = 1; i <= CAL_REGS_NUMBER; ++i) {
        const QString x = QStringLiteral("CalTabValueX%1").arg(i);
        const QString y = QStringLiteral("CalTabValueY%1").arg(i);
        m_readList << x << y;
        m_calXRow.insert(x, i);
        m_calYRow.insert(y, i);
    }
    m_readList << QStringLiteral("TargetGasFullScaleRange") << QStringLiteral("MFCSerialNumber")
               << QStringLiteral("ReadFlow") << QStringLiteral("ReadActiveSetpoint");

    buildUi();
    makeConnections();
    setEnabled(false);
}

UI_UserCalV3::~UI_UserCalV3()
{
    // An open mode question must not answer into a page being torn down.
    if (m_confirmBox) {
        m_confirmBox->disconnect(this);
        delete m_confirmBox;
    }
    delete m_fit;
    delete m_lang;
}

void UI_UserCalV3::readSlopeBounds()
{
    const QSettings settings(LanguageDictionary::settingsFileName(), QSettings::IniFormat);
    m_yxRateMin = settingsNumber(settings, QStringLiteral("yx_rate_min"), 0.25);
    m_yxRateMax = settingsNumber(settings, QStringLiteral("yx_rate_max"), 4.0);
    qDebug().noquote().nospace() << "yxRateMin: " << m_yxRateMin << ", yxRateMax: " << m_yxRateMax;
}

QStringList UI_UserCalV3::readList() const
{
    return m_readList;
}

void UI_UserCalV3::buildUi()
{
    m_modeGroup = new QGroupBox(m_lang->translate(QStringLiteral("Calibration Mode")));
    m_fullRangeRadio = new QRadioButton(m_lang->translate(QStringLiteral("FullRangeCalibration")));
    m_fullRangeRadio->setObjectName(QStringLiteral("fullRangeRadio"));
    m_singlePointRadio = new QRadioButton(m_lang->translate(QStringLiteral("SinglePointCalibration")));
    m_singlePointRadio->setObjectName(QStringLiteral("singlePointRadio"));
    auto* modeRow = new QHBoxLayout(m_modeGroup);
    modeRow->addWidget(m_fullRangeRadio);
    modeRow->addWidget(m_singlePointRadio);

    m_startButton = new QPushButton(m_lang->translate(QStringLiteral("1.Start Calibration")));
    m_startButton->setObjectName(QStringLiteral("startButton"));
    m_startButton->setEnabled(false);

    m_setpointEdit = new QLineEdit;
    m_setpointEdit->setObjectName(QStringLiteral("setpointEdit"));
    m_setpointEdit->setEnabled(false);
    m_flowEdit = new QLineEdit;
    m_flowEdit->setObjectName(QStringLiteral("flowEdit"));
    m_flowEdit->setEnabled(false);
    auto* readouts = new QGridLayout;
    readouts->addWidget(new QLabel(QStringLiteral("SP.")), 0, 0);
    readouts->addWidget(m_setpointEdit, 0, 1);
    readouts->addWidget(new QLabel(QStringLiteral("RO.")), 1, 0);
    readouts->addWidget(m_flowEdit, 1, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(m_modeGroup, 2);
    top->addWidget(m_startButton, 1);
    top->addLayout(readouts, 1);
    top->addStretch(1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(buildCalGroup());
    bottom->addWidget(buildPointsGroup());
    bottom->addWidget(buildSingleGroup());

    auto* page = new QVBoxLayout(this);
    page->addLayout(top);
    page->addLayout(bottom);
}

QGroupBox* UI_UserCalV3::buildCalGroup()
{
    m_calGroup = new QGroupBox(m_lang->translate(QStringLiteral("Calibration registers")));
    m_calModel = new QStandardItemModel(CAL_REGS_NUMBER + 1, 2, this);
    m_calModel->setHorizontalHeaderLabels({QStringLiteral("X(%)"), QStringLiteral("Y(%)")});
    QStringList rows;
    for (int r = 0; r <= CAL_REGS_NUMBER; ++r) {
        rows << QString::number(r);
        for (int c = 0; c < 2; ++c) {
            auto* item = new QStandardItem(QStringLiteral("0"));
            item->setEditable(false);
            m_calModel->setItem(r, c, item);
        }
    }
    m_calModel->setVerticalHeaderLabels(rows);
    m_calView = addTableView(m_calGroup, m_calModel, QStringLiteral("calView"));
    return m_calGroup;
}

QGroupBox* UI_UserCalV3::buildPointsGroup()
{
    m_pointsGroup = new QGroupBox(m_lang->translate(QStringLiteral("Standard meter value")));
    m_pointsGroup->setEnabled(false);
    m_pointsModel = new QStandardItemModel(0, 2, this);
    m_pointsModel->setHorizontalHeaderLabels({QStringLiteral("X(%)"), QStringLiteral("Y(sccm)")});
    m_pointsView = addTableView(m_pointsGroup, m_pointsModel, QStringLiteral("pointsView"));
    m_pointsView->setAlternatingRowColors(true);
    // No '}' after the rule: Qt refuses a sheet with one, alternate colour and all.
    m_pointsView->setStyleSheet(QStringLiteral("alternate-background-color: rgb(141, 163, 215);"));
    // Room for two-digit row numbers before the rows come, as the registers table has.
    m_pointsView->verticalHeader()->setMinimumWidth(m_calView->verticalHeader()->sizeHint().width());
    return m_pointsGroup;
}

QGroupBox* UI_UserCalV3::buildSingleGroup()
{
    m_singleGroup = new QGroupBox(m_lang->translate(QStringLiteral("Single point calibration")));
    m_singleGroup->setEnabled(false);
    auto* column = new QVBoxLayout(m_singleGroup);
    for (int k = 1; k <= 10; ++k) {
        auto* radio = new QRadioButton(QStringLiteral("%1%").arg(k * 10));
        m_percentRadios << radio;
        column->addWidget(radio);
    }
    m_sccmSpin = new QDoubleSpinBox;
    m_sccmSpin->setObjectName(QStringLiteral("sccmSpin"));
    m_sccmSpin->setDecimals(4);
    m_sccmSpin->setRange(0, 65535);
    auto* spinRow = new QHBoxLayout;
    spinRow->addWidget(m_sccmSpin);
    spinRow->addWidget(new QLabel(QStringLiteral("sccm")));
    column->addLayout(spinRow);
    return m_singleGroup;
}

void UI_UserCalV3::makeConnections()
{
    connect(m_fullRangeRadio, &QRadioButton::clicked, this, &UI_UserCalV3::onClicked_fullRangeCal);
    connect(m_singlePointRadio, &QRadioButton::clicked, this, &UI_UserCalV3::onClicked_singlePointCal);
    connect(m_pointsView, &QTableView::clicked, this, &UI_UserCalV3::doubleClicked_stadnardX);
    connect(m_startButton, &QPushButton::clicked, this, &UI_UserCalV3::onClicked_calibrate);
    using Slot = void (UI_UserCalV3::*)(bool);
    const Slot handlers[] = {&UI_UserCalV3::onClicked_sp10, &UI_UserCalV3::onClicked_sp20, &UI_UserCalV3::onClicked_sp30,
                          &UI_UserCalV3::onClicked_sp40, &UI_UserCalV3::onClicked_sp50, &UI_UserCalV3::onClicked_sp60,
                          &UI_UserCalV3::onClicked_sp70, &UI_UserCalV3::onClicked_sp80, &UI_UserCalV3::onClicked_sp90,
                          &UI_UserCalV3::onClicked_sp100};
    QList<QAbstractButton*> percents;
    for (int k = 0; k < m_percentRadios.size(); ++k) {
        connect(m_percentRadios.at(k), &QRadioButton::clicked, this, handlers[k]);
        percents << m_percentRadios.at(k);
    }
    moveFocusOnArrows(percents);
}

void UI_UserCalV3::onClicked_fullRangeCal(bool v)
{
    Q_UNUSED(v);
    confirmMode(m_fullRangeRadio);
}

void UI_UserCalV3::onClicked_singlePointCal(bool v)
{
    Q_UNUSED(v);
    confirmMode(m_singlePointRadio);
}

// Asked without a nested event loop: replies keep arriving while the user
// reads, and the answer is applied when the box closes.
void UI_UserCalV3::confirmMode(QRadioButton* radio)
{
    if (m_confirmBox)
        return;
    const QString text = m_lang->language() == QLatin1String("cn")
        ? QStringLiteral("标定之前会Recover MFC标定寄存器，请确认！")
        : QStringLiteral("Calibration will recover some MFC registers. Be careful!");
    auto* box = new QMessageBox(QMessageBox::Information, QString(), text, QMessageBox::NoButton, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* sure = box->addButton(m_lang->translate(QStringLiteral("Sure")), QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(m_lang->translate(QStringLiteral("Cancel")), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    connect(box, &QMessageBox::finished, this,
            [this, box, sure, radio]() {
                m_confirmBox = nullptr; // closed; deleted later
                applyMode(radio, box->clickedButton() == sure);
            });
    m_confirmBox = box;
    box->open();
}

void UI_UserCalV3::applyMode(QRadioButton* radio, bool sure)
{
    const bool fullRange = radio == m_fullRangeRadio;
    // The page may have become unusable while the question was open (another
    // control mode, a running operation): then the answer counts as Cancel.
    if (!sure || m_op != OP_NONE || !isEnabled()) {
        radio->setCheckable(false);
        qDebug().noquote() << (fullRange ? "Cancel fullrange calibration." : "Cancel single calibration.");
        return;
    }
    radio->setCheckable(true);
    radio->setChecked(true);
    m_modeGroup->setEnabled(false);
    if (fullRange) {
        m_pointsGroup->setEnabled(true);
        m_startButton->setEnabled(true);
        startRecover();
        qDebug().noquote() << "fullrange calibration.";
    } else {
        m_singleGroup->setEnabled(true);
        m_sccmSpin->setValue(m_tarGasRange * 0.1);
        qDebug().noquote() << "single calibration.";
        startRecover();
    }
}

void UI_UserCalV3::onClicked_sp10(bool v) { Q_UNUSED(v); setpointPercent(10); }
void UI_UserCalV3::onClicked_sp20(bool v) { Q_UNUSED(v); setpointPercent(20); }
void UI_UserCalV3::onClicked_sp30(bool v) { Q_UNUSED(v); setpointPercent(30); }
void UI_UserCalV3::onClicked_sp40(bool v) { Q_UNUSED(v); setpointPercent(40); }
void UI_UserCalV3::onClicked_sp50(bool v) { Q_UNUSED(v); setpointPercent(50); }
void UI_UserCalV3::onClicked_sp60(bool v) { Q_UNUSED(v); setpointPercent(60); }
void UI_UserCalV3::onClicked_sp70(bool v) { Q_UNUSED(v); setpointPercent(70); }
void UI_UserCalV3::onClicked_sp80(bool v) { Q_UNUSED(v); setpointPercent(80); }
void UI_UserCalV3::onClicked_sp90(bool v) { Q_UNUSED(v); setpointPercent(90); }
void UI_UserCalV3::onClicked_sp100(bool v) { Q_UNUSED(v); setpointPercent(100); }

void UI_UserCalV3::setpointPercent(int percent)
{
    m_sccmSpin->setValue(m_tarGasRange * percent / 100.0);
    requestWrite(QStringLiteral("DigitalSetpoint"), QString::number(percent));
}

void UI_UserCalV3::doubleClicked_stadnardX(QModelIndex index)
{
    const QStandardItem* x = m_pointsModel->item(index.row(), 0);
    if (x)
        requestWrite(QStringLiteral("DigitalSetpoint"), x->text());
}

void UI_UserCalV3::requestWrite(const QString& name, const QString& value)
{
    // In single-point mode the calibration can start once a setpoint was sent.
    if (m_singlePointRadio->isChecked() && name == QLatin1String("DigitalSetpoint") && !m_startButton->isEnabled())
        m_startButton->setEnabled(true);
    emit commands_req({makeFrame(name, MFC_WRITE, value)});
}
