#include "ui_othersv3.h"

#include "languagedictionary.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <cstring>

namespace {
constexpr int POLL_INTERVAL_MS = 5000;
constexpr int COMMIT_DELAY_MS = 1000;
constexpr int PAGE_MARGIN = 4;
constexpr int GROUP_SIDE_MARGIN = 4;
constexpr int GROUP_END_MARGIN = 2;
constexpr int GROUP_SPACING = 4;
constexpr int GROUP_ROW_SPACING = 2;
constexpr int COLUMN_SPACING = 4;

// Text of a TEXT reply: the value bytes up to the first zero byte (the area
// need not carry one when the text fills it).
QString replyText(const TervanCore::mfc_reg_t& reg)
{
    const int n = int(strnlen(reg.value.text, sizeof(reg.value.text)));
    return QString::fromUtf8(reg.value.text, n);
}
} // namespace

UI_OthersV3::UI_OthersV3(QWidget* parent)
    : QWidget(parent)
    , m_lang(new LanguageDictionary)
{
    m_regList = QStringList{
        QStringLiteral("TargetGasFullScaleRange"),
        QStringLiteral("CalibrationGasFullScaleRange"),
        QStringLiteral("TargetGas2CalibrationGas"),
        QStringLiteral("SoftstartRate"),
        QStringLiteral("ShutoffLevel"),
        QStringLiteral("Delay"),
        QStringLiteral("ReadAlarms"),
        QStringLiteral("EnableDisalbeAlarms"),
        QStringLiteral("ReadControlledFlowAccumulator"),
        QStringLiteral("ReadFlow"),
        QStringLiteral("MFCSerialNumber"),
        QStringLiteral("ZeroConstant"),
        QStringLiteral("TargetNullValue"),
        QStringLiteral("ValveCommandMode"),
        QStringLiteral("ValveCommand"),
        QStringLiteral("ReadValveVoltage"),
        QStringLiteral("ReadTemperature"),
    };

    m_pollTimer = new QTimer(this);
    m_pollTimer->setObjectName(QStringLiteral("pollTimer"));
    m_pollTimer->setInterval(POLL_INTERVAL_MS);

    createStatusGroup();
    createSettingGroup();
    createLimitGroup();
    createAccumulationGroup();
    createSaveGroup();
    createGasGroups();
    createRegisterTable();
    createLayout();
    makeConnections();
}

UI_OthersV3::~UI_OthersV3()
{
    delete m_lang;
    if (m_dirErrorBox)
        delete m_dirErrorBox.data();
    delete m_tableModel;
}

QStringList UI_OthersV3::readList() { return m_regList; }

void UI_OthersV3::createLayout()
{
    // The groups keep their order column by column. The register grid needs
    // more width than a column of the fixed window gives, so it spans the
    // last two columns below their groups: all ten names and values show.
    auto* left = new QVBoxLayout;
    left->setSpacing(COLUMN_SPACING);
    left->addWidget(m_statusGroup);
    left->addWidget(m_settingGroup);
    left->addWidget(m_limitGroup);
    left->addStretch();

    auto* middle = new QVBoxLayout;
    middle->setSpacing(COLUMN_SPACING);
    middle->addWidget(m_accGroup);
    middle->addWidget(m_saveGroup);
    middle->addWidget(m_gasGroups.first());
    middle->addStretch();

    auto* right = new QVBoxLayout;
    right->setSpacing(COLUMN_SPACING);
    for (int i = 1; i < m_gasGroups.size(); ++i)
        right->addWidget(m_gasGroups.at(i));
    right->addStretch();

    auto* area = new QGridLayout;
    area->setSpacing(COLUMN_SPACING);
    area->addLayout(middle, 0, 0);
    area->addLayout(right, 0, 1);
    area->addWidget(m_tableView, 1, 0, 1, 2);
    area->setColumnStretch(0, 1); // the record's file name wants the width

    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(PAGE_MARGIN, PAGE_MARGIN, PAGE_MARGIN, PAGE_MARGIN);
    columns->addLayout(left);
    columns->addLayout(area, 1);
    compactGroups();
}

// The English captions are long and the main window's size is fixed: inside
// the groups, narrow margins and gaps leave the room to the captions.
void UI_OthersV3::compactGroups()
{
    for (QLayout* l : findChildren<QLayout*>()) {
        if (!qobject_cast<QGroupBox*>(l->parentWidget()))
            continue;
        if (qobject_cast<QGroupBox*>(l->parent())) {
            // The record's file name needs every pixel of its column.
            const int side = l->parentWidget() == m_saveBox ? 0 : GROUP_SIDE_MARGIN;
            l->setContentsMargins(side, GROUP_END_MARGIN, side, GROUP_END_MARGIN);
        }
        if (auto* grid = qobject_cast<QGridLayout*>(l)) {
            grid->setHorizontalSpacing(GROUP_SPACING);
            grid->setVerticalSpacing(GROUP_ROW_SPACING);
        } else if (auto* box = qobject_cast<QBoxLayout*>(l)) {
            box->setSpacing(GROUP_SPACING);
        }
    }
}

void UI_OthersV3::makeConnections()
{
    connect(m_statusActive, &QCheckBox::clicked, this, &UI_OthersV3::onClicked_actived);
    connect(m_clearAlarm, &QPushButton::clicked, this, &UI_OthersV3::onClicked_clearAlarm);
    connect(m_pollTimer, &QTimer::timeout, this, &UI_OthersV3::poll_status);
    connect(m_setAlarm, &QPushButton::clicked, this, &UI_OthersV3::onClicked_setAlarm);
    connect(m_limitActive, &QCheckBox::clicked, this, &UI_OthersV3::onClicked_activeLimitation);
    connect(m_readAcc, &QPushButton::clicked, this, &UI_OthersV3::onClicked_readAccumulation);
    connect(m_eraseAcc, &QPushButton::clicked, this, &UI_OthersV3::onClicked_eraseAccumulation);
    connect(m_saveActive, &QCheckBox::clicked, this, &UI_OthersV3::onClicked_activeSave);
    connect(m_targetRangeSet, &QPushButton::clicked, this, &UI_OthersV3::onClicked_fullrange);
    connect(m_factorSet, &QPushButton::clicked, this, &UI_OthersV3::onClicked_transform);
    connect(m_softStartSet, &QPushButton::clicked, this, &UI_OthersV3::onClicked_softStart);
    connect(m_delaySet, &QPushButton::clicked, this, &UI_OthersV3::onClicked_delay);
    connect(m_shutoffLevelSet, &QPushButton::clicked, this, &UI_OthersV3::onClicked_shutoffLevel);
    // The grid's itemChanged is connected by the first reply that fills a cell.
}

void UI_OthersV3::requestWriteAndProgram(const QString& name, const QString& value)
{
    emit commands_req(QList<mfc_frame_t>{makeFrame(name, MFC_WRITE, value)} + commitFrames(COMMIT_DELAY_MS));
}

void UI_OthersV3::requestRead(const QString& name, bool background)
{
    emit commands_req({makeFrame(name, MFC_READ, QString(), false, background)});
}

void UI_OthersV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    const QString& cmd = reg.cmd;

    if (m_nameToRow.value(cmd, -1) != -1)
        fillGridCell(cmd, reg.output);

    if (cmd == QLatin1String("TargetGasFullScaleRange")) {
        m_targetRange->setValue(reg.value.u16);
    } else if (cmd == QLatin1String("CalibrationGasFullScaleRange")) {
        m_calGasRange = reg.value.u16;
        updateGasRanges();
    } else if (cmd == QLatin1String("TargetGas2CalibrationGas")) {
        m_gasFactor = reg.value.f64;
        m_factor->setValue(m_gasFactor);
        updateGasRanges();
    } else if (cmd == QLatin1String("SoftstartRate")) {
        m_softStart->setValue(reg.value.f64);
    } else if (cmd == QLatin1String("ShutoffLevel")) {
        m_shutoffLevel->setValue(reg.value.f64);
    } else if (cmd == QLatin1String("Delay")) {
        m_delay->setValue(reg.value.u16);
    } else if (cmd == QLatin1String("ReadAlarms")) {
        // The start-up read arrives with polling off and changes nothing.
        if (m_statusActive->isChecked())
            showAlarmStatus(reg.value.u16);
    } else if (cmd == QLatin1String("EnableDisalbeAlarms")) {
        showAlarmEnable(reg.value.u16);
    } else if (cmd == QLatin1String("ReadControlledFlowAccumulator")) {
        m_accumulation->setText(QString::number(reg.output.toDouble(), 'f', 2));
    } else if (cmd == QLatin1String("ReadFlow")) {
        m_flow = reg.value.f64;
        checkLimits();
    } else if (cmd == QLatin1String("MFCSerialNumber")) {
        setSerialNumber(replyText(reg));
    } else if (cmd == QLatin1String("ValveCommand")) {
        m_valveCommand = reg.value.u8;
    } else if (cmd == QLatin1String("ControlFlowAccumulatorMode")) {
        m_accumulation->setText(QStringLiteral("0"));
    }
}
