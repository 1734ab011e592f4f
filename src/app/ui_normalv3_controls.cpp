// The control panel of the normal page: valve, control mode, valve PWM,
// setpoint in five units, readouts with their bars, and the quick setpoints.
#include "ui_normalv3.h"

#include "languagedictionary.h"
#include "radioarrows.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

// The setpoint box's range in percent of full scale; other units scale it.
constexpr double SETPOINT_MAX_PERCENT = 120;

const char* unitLabel(int unit)
{
    switch (unit) {
    case UI_NormalV3::UNIT_SCCM:
        return "sccm";
    case UI_NormalV3::UNIT_SLM:
        return "slm";
    case UI_NormalV3::UNIT_MV:
        return "mV";
    case UI_NormalV3::UNIT_V:
        return "V";
    default:
        return "% of F.S.";
    }
}

QLineEdit* makeReadout()
{
    auto* edit = new QLineEdit;
    edit->setReadOnly(true);
    edit->setFont(QFont(QStringLiteral("Courier New"), 18));
    edit->setStyleSheet(QStringLiteral(
        "QLineEdit { background: rgb(0, 255, 255); selection-background-color: rgb(233, 99, 0); }"));
    edit->setFixedHeight(35);
    return edit;
}

QProgressBar* makeBar(const QString& chunkColour)
{
    auto* bar = new QProgressBar;
    bar->setOrientation(Qt::Vertical);
    bar->setRange(0, 10000);
    bar->setTextVisible(false);
    bar->setStyleSheet(QStringLiteral("QProgressBar::chunk {background-color: %1;}").arg(chunkColour));
    return bar;
}

int barValue(double p)
{
    if (p > 100)
        return 10000;
    if (p < 0)
        return 0;
    return int(p * 100);
}

} // namespace

QWidget* UI_NormalV3::buildControlPanel()
{
    auto* panel = new QGroupBox;
    panel->setObjectName(QStringLiteral("controlPanel"));
    auto* row = new QHBoxLayout(panel);
    row->addWidget(buildValveColumn(), 3);
    row->addWidget(buildBars(), 1);
    row->addWidget(buildSetpointColumn(), 5);
    return panel;
}

QWidget* UI_NormalV3::buildValveColumn()
{
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* top = new QHBoxLayout;
    auto* valveGroup = new QGroupBox(m_lang->translate("Valve Ctrl"));
    auto* valveLayout = new QVBoxLayout(valveGroup);
    m_valveOpen = new QRadioButton(m_lang->translate("Full Open"));
    m_valveClose = new QRadioButton(m_lang->translate("Full Close"));
    m_valveNormal = new QRadioButton(m_lang->translate("Normal"));
    m_valveOpen->setObjectName(QStringLiteral("valveFullOpen"));
    m_valveClose->setObjectName(QStringLiteral("valveFullClose"));
    m_valveNormal->setObjectName(QStringLiteral("valveNormal"));
    for (QRadioButton* r : { m_valveOpen, m_valveClose, m_valveNormal })
        valveLayout->addWidget(r);
    connect(m_valveOpen, &QRadioButton::clicked, this, &UI_NormalV3::onClicked_valveFullOpen);
    connect(m_valveClose, &QRadioButton::clicked, this, &UI_NormalV3::onClicked_valveFullClose);
    connect(m_valveNormal, &QRadioButton::clicked, this, &UI_NormalV3::onClicked_valveNormal);
    moveFocusOnArrows({ m_valveOpen, m_valveClose, m_valveNormal });

    auto* modeGroup = new QGroupBox(m_lang->translate("Ctrl Mode"));
    auto* modeLayout = new QVBoxLayout(modeGroup);
    m_cmDigital = new QRadioButton(m_lang->translate("Digital"));
    m_cmVoltage = new QRadioButton(m_lang->translate("Voltage"));
    m_cmCurrent = new QRadioButton(m_lang->translate("Current"));
    m_cmDirect = new QRadioButton(m_lang->translate("Valve PWM"));
    m_cmDigital->setObjectName(QStringLiteral("cmDigital"));
    m_cmVoltage->setObjectName(QStringLiteral("cmVoltage"));
    m_cmCurrent->setObjectName(QStringLiteral("cmCurrent"));
    m_cmDirect->setObjectName(QStringLiteral("cmDirect"));
    for (QRadioButton* r : { m_cmDigital, m_cmVoltage, m_cmCurrent, m_cmDirect })
        modeLayout->addWidget(r);
    connect(m_cmDigital, &QRadioButton::clicked, this, &UI_NormalV3::onClicked_CM_Digital);
    connect(m_cmVoltage, &QRadioButton::clicked, this, &UI_NormalV3::onClicked_CM_Voltage);
    connect(m_cmCurrent, &QRadioButton::clicked, this, &UI_NormalV3::onClicked_CM_Current);
    connect(m_cmDirect, &QRadioButton::clicked, this, &UI_NormalV3::onClicked_CM_Dirctect);
    moveFocusOnArrows({ m_cmDigital, m_cmVoltage, m_cmCurrent, m_cmDirect });
    top->addWidget(valveGroup);
    top->addWidget(modeGroup);
    layout->addLayout(top);

    m_pwmGroup = new QGroupBox(m_lang->translate("Valve PWM"));
    m_pwmGroup->setObjectName(QStringLiteral("pwmGroup"));
    auto* pwmLayout = new QVBoxLayout(m_pwmGroup);
    auto* pwmRow1 = new QHBoxLayout;
    auto* setPwm = new QPushButton(m_lang->translate("Set"));
    setPwm->setObjectName(QStringLiteral("pwmSet"));
    m_pwmBox = new QSpinBox;
    m_pwmBox->setObjectName(QStringLiteral("pwmBox"));
    m_pwmBox->setRange(0, VALVE_PWM_MAX);
    m_pwmBox->setValue(0);
    pwmRow1->addWidget(setPwm);
    pwmRow1->addWidget(m_pwmBox);
    pwmRow1->addWidget(new QLabel(QStringLiteral("[%1,%2]").arg(QStringLiteral("0")).arg(VALVE_PWM_MAX)));
    auto* pwmRow2 = new QHBoxLayout;
    auto* pwmMax = new QPushButton(m_lang->translate("=MAX"));
    auto* pwmMin = new QPushButton(m_lang->translate("=0"));
    pwmMax->setObjectName(QStringLiteral("pwmMax"));
    pwmMin->setObjectName(QStringLiteral("pwmMin"));
    pwmRow2->addWidget(pwmMax);
    pwmRow2->addWidget(pwmMin);
    pwmRow2->addStretch();
    pwmLayout->addLayout(pwmRow1);
    pwmLayout->addLayout(pwmRow2);
    connect(setPwm, &QPushButton::clicked, this, &UI_NormalV3::onClicked_DirctectVal);
    connect(pwmMax, &QPushButton::clicked, this, &UI_NormalV3::onClicked_DirctectMax);
    connect(pwmMin, &QPushButton::clicked, this, &UI_NormalV3::onClicked_DirctectMin);
    layout->addWidget(m_pwmGroup);
    return column;
}

QWidget* UI_NormalV3::buildBars()
{
    auto* bars = new QWidget;
    auto* layout = new QHBoxLayout(bars);
    layout->setContentsMargins(0, 0, 0, 0);
    m_spBar = makeBar(QStringLiteral("red"));
    m_flowBar = makeBar(QStringLiteral("blue"));
    m_spBar->setObjectName(QStringLiteral("setpointBar"));
    m_flowBar->setObjectName(QStringLiteral("flowBar"));
    const QList<QPair<QProgressBar*, QString>> pairs{ { m_spBar, QStringLiteral("SP.") },
                                                     { m_flowBar, QStringLiteral("RO.") } };
    for (const auto& pair : pairs) {
        auto* column = new QVBoxLayout;
        column->addWidget(pair.first, 1, Qt::AlignHCenter);
        column->addWidget(new QLabel(pair.second), 0, Qt::AlignHCenter);
        layout->addLayout(column);
    }
    return bars;
}

QWidget* UI_NormalV3::buildSetpointColumn()
{
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    // Top row: active setpoint readout and the digital setpoint box.
    auto* top = new QHBoxLayout;
    auto* activeGroup = new QGroupBox(m_lang->translate("Active SetPoint"));
    auto* activeLayout = new QHBoxLayout(activeGroup);
    m_activeEdit = makeReadout();
    m_activeEdit->setObjectName(QStringLiteral("activeSetpointEdit"));
    QPalette palette = m_activeEdit->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::darkBlue);
    m_activeEdit->setPalette(palette);
    m_activeUnit = new QLabel(QString::fromLatin1(unitLabel(UNIT_FS)));
    m_activeUnit->setObjectName(QStringLiteral("activeSetpointUnit"));
    activeLayout->addWidget(m_activeEdit, 6);
    activeLayout->addWidget(m_activeUnit, 3);

    m_setpointGroup = new QGroupBox(m_lang->translate("Digital SetPoint"));
    m_setpointGroup->setObjectName(QStringLiteral("setpointGroup"));
    auto* setpointLayout = new QVBoxLayout(m_setpointGroup);
    auto* boxRow = new QHBoxLayout;
    m_setpointBox = new QDoubleSpinBox;
    m_setpointBox->setObjectName(QStringLiteral("setpointBox"));
    m_setpointBox->setRange(0, SETPOINT_MAX_PERCENT);
    m_setpointBox->setDecimals(2);
    m_setpointBox->setValue(0);
    m_setpointUnit = new QLabel(QString::fromLatin1(unitLabel(UNIT_FS)));
    m_setpointUnit->setObjectName(QStringLiteral("setpointUnit"));
    boxRow->addWidget(m_setpointBox);
    boxRow->addWidget(m_setpointUnit);
    auto* setButton = new QPushButton(m_lang->translate("Set"));
    setButton->setObjectName(QStringLiteral("setpointSet"));
    connect(setButton, &QPushButton::clicked, this, &UI_NormalV3::onClicked_setpoint);
    setpointLayout->addLayout(boxRow);
    setpointLayout->addWidget(setButton);
    top->addWidget(activeGroup, 6);
    top->addWidget(m_setpointGroup, 4);
    layout->addLayout(top);

    // Bottom row: flow readout and the function buttons, beside the unit choice.
    auto* bottom = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* flowGroup = new QGroupBox(m_lang->translate("Instance Flow"));
    auto* flowLayout = new QHBoxLayout(flowGroup);
    m_flowEdit = makeReadout();
    m_flowEdit->setObjectName(QStringLiteral("flowEdit"));
    m_flowUnit = new QLabel(QString::fromLatin1(unitLabel(UNIT_FS)));
    m_flowUnit->setObjectName(QStringLiteral("flowUnit"));
    flowLayout->addWidget(m_flowEdit, 6);
    flowLayout->addWidget(m_flowUnit, 3);
    auto* functionGroup = new QGroupBox(m_lang->translate("Function Zone"));
    auto* grid = new QGridLayout(functionGroup);
    auto* scheduleButton = new QPushButton(m_lang->translate("Set by Time"));
    auto* zeroButton = new QPushButton(m_lang->translate("Zero"));
    auto* helperButton = new QPushButton(m_lang->translate("Helper"));
    scheduleButton->setObjectName(QStringLiteral("scheduleButton"));
    zeroButton->setObjectName(QStringLiteral("zeroButton"));
    helperButton->setObjectName(QStringLiteral("helperButton"));
    grid->addWidget(scheduleButton, 0, 0);
    grid->addWidget(zeroButton, 1, 0);
    grid->addWidget(helperButton, 1, 1);
    connect(scheduleButton, &QPushButton::clicked, this, &UI_NormalV3::onClicked_schedule);
    connect(zeroButton, &QPushButton::clicked, this, &UI_NormalV3::onClicked_zero);
    connect(helperButton, &QPushButton::clicked, this, &UI_NormalV3::onClicked_helper);
    left->addWidget(flowGroup);
    left->addWidget(functionGroup);

    auto* unitGroup = new QGroupBox(m_lang->translate("Unit "));
    auto* unitLayout = new QVBoxLayout(unitGroup);
    using Slot = void (UI_NormalV3::*)(bool);
    const Slot unitSlots[] = { &UI_NormalV3::onClicked_UnitFS, &UI_NormalV3::onClicked_UnitSccm,
                               &UI_NormalV3::onClicked_UnitSLM, &UI_NormalV3::onClicked_UnitMV,
                               &UI_NormalV3::onClicked_UnitV };
    for (int unit = UNIT_FS; unit <= UNIT_V; ++unit) {
        auto* radio = new QRadioButton(QString::fromLatin1(unitLabel(unit)));
        radio->setObjectName(QStringLiteral("unit%1").arg(unit));
        radio->setChecked(unit == UNIT_FS);
        unitLayout->addWidget(radio);
        connect(radio, &QRadioButton::clicked, this, unitSlots[unit]);
    }
    bottom->addLayout(left, 6);
    bottom->addWidget(unitGroup, 4);
    layout->addLayout(bottom);
    return column;
}

QWidget* UI_NormalV3::buildQuickSetpoints()
{
    m_quickGroup = new QGroupBox;
    m_quickGroup->setObjectName(QStringLiteral("quickGroup"));
    auto* row = new QHBoxLayout(m_quickGroup);
    using Slot = void (UI_NormalV3::*)(bool);
    const QList<QPair<int, Slot>> buttons{
        { 0, &UI_NormalV3::onClicked_sp0 },     { 2, &UI_NormalV3::onClicked_sp2 },
        { 5, &UI_NormalV3::onClicked_sp5 },     { 10, &UI_NormalV3::onClicked_sp10 },
        { 25, &UI_NormalV3::onClicked_sp25 },   { 50, &UI_NormalV3::onClicked_sp50 },
        { 75, &UI_NormalV3::onClicked_sp75 },   { 100, &UI_NormalV3::onClicked_sp100 },
        { 120, &UI_NormalV3::onClicked_sp120 },
    };
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QStringLiteral("%1%").arg(b.first));
        button->setObjectName(QStringLiteral("sp%1").arg(b.first));
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, b.second);
    }
    return m_quickGroup;
}

double UI_NormalV3::fromPercent(double p) const
{
    const double fs = m_fullScale;
    switch (m_unit) {
    case UNIT_FS:
        return p;
    case UNIT_SCCM:
        return p * fs / 100;
    case UNIT_SLM:
        return p * fs / 100000;
    case UNIT_MV:
        return p * 50;
    case UNIT_V:
        return p * 0.05;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

double UI_NormalV3::toPercent(double v) const
{
    // m_fullScale is never 0: a reply of 0 is not taken (see mfc_ack).
    const double fs = m_fullScale;
    switch (m_unit) {
    case UNIT_SCCM:
        return v * 100 / fs;
    case UNIT_SLM:
        return v * 100000 / fs;
    case UNIT_MV:
        return v * 100 / 5000;
    case UNIT_V:
        return v * 100 / 5;
    default:
        return v;
    }
}

void UI_NormalV3::applyUnit()
{
    const QString label = QString::fromLatin1(unitLabel(m_unit));
    m_activeUnit->setText(label);
    m_setpointUnit->setText(label);
    m_flowUnit->setText(label);

    const double fs = m_fullScale;
    double max = SETPOINT_MAX_PERCENT;
    switch (m_unit) {
    case UNIT_FS:
        max = SETPOINT_MAX_PERCENT;
        break;
    case UNIT_SCCM:
        max = fs * SETPOINT_MAX_PERCENT / 100;
        break;
    case UNIT_SLM:
        max = fs * SETPOINT_MAX_PERCENT / 100 / 1000;
        break;
    case UNIT_MV:
        max = 5000;
        break;
    case UNIT_V:
        max = 5;
        break;
    }
    m_setpointBox->setRange(0, max);

    m_activeEdit->setText(QString::number(fromPercent(m_activeSetpoint), 'f', 2));
    m_setpointBox->setValue(fromPercent(m_digitalSetpoint));
    m_flowEdit->setText(QString::number(fromPercent(m_flow), 'f', 2));
}

void UI_NormalV3::setUnit(flow_unit_t unit)
{
    m_unit = unit;
    applyUnit();
}

void UI_NormalV3::onClicked_UnitFS(bool) { setUnit(UNIT_FS); }
void UI_NormalV3::onClicked_UnitSccm(bool) { setUnit(UNIT_SCCM); }
void UI_NormalV3::onClicked_UnitSLM(bool) { setUnit(UNIT_SLM); }
void UI_NormalV3::onClicked_UnitMV(bool) { setUnit(UNIT_MV); }
void UI_NormalV3::onClicked_UnitV(bool) { setUnit(UNIT_V); }

void UI_NormalV3::showActiveSetpoint(double p)
{
    m_activeSetpoint = p;
    m_activeEdit->setText(QString::number(fromPercent(p), 'f', 2));
    m_spBar->setValue(barValue(p));
}

void UI_NormalV3::showFlow(double p)
{
    m_flow = p;
    m_flowEdit->setText(QString::number(fromPercent(p), 'f', 2));
    m_flowBar->setValue(barValue(p));
}

void UI_NormalV3::showControlMode(int cm)
{
    QRadioButton* radio = nullptr;
    switch (cm) {
    case CM_DIGITAL:
        radio = m_cmDigital;
        break;
    case CM_VOLTAGE:
        radio = m_cmVoltage;
        break;
    case CM_CURRENT:
        radio = m_cmCurrent;
        break;
    case CM_DIRECT:
        radio = m_cmDirect;
        break;
    default:
        break;
    }
    if (radio)
        radio->setChecked(true);
    m_setpointGroup->setEnabled(cm == CM_DIGITAL);
    m_quickGroup->setEnabled(cm == CM_DIGITAL);
    m_pwmGroup->setEnabled(cm == CM_DIRECT);
}

void UI_NormalV3::onClicked_DirctectVal(bool)
{
    requestWrite(QStringLiteral("SetValveDrive"), QString::number(m_pwmBox->value()));
}

void UI_NormalV3::onClicked_DirctectMax(bool)
{
    m_pwmBox->setValue(VALVE_PWM_MAX);
    requestWrite(QStringLiteral("SetValveDrive"), QString::number(VALVE_PWM_MAX));
}

void UI_NormalV3::onClicked_DirctectMin(bool)
{
    m_pwmBox->setValue(0);
    requestWrite(QStringLiteral("SetValveDrive"), QStringLiteral("0"));
}

void UI_NormalV3::onClicked_setpoint(bool)
{
    // The box shows two decimals, so in "slm" its maximum may be rounded up
    // (full scale 15: 0.018 shows as 0.02, which is 133 %): never beyond 120 %.
    writeSetpoint(std::min(toPercent(m_setpointBox->value()), SETPOINT_MAX_PERCENT));
}

void UI_NormalV3::applySetpointPercent(double p)
{
    m_digitalSetpoint = p;
    m_setpointBox->setValue(fromPercent(p));
    writeSetpoint(p);
}

void UI_NormalV3::onClicked_sp0(bool) { applySetpointPercent(0); }
void UI_NormalV3::onClicked_sp2(bool) { applySetpointPercent(2); }
void UI_NormalV3::onClicked_sp5(bool) { applySetpointPercent(5); }
void UI_NormalV3::onClicked_sp10(bool) { applySetpointPercent(10); }
void UI_NormalV3::onClicked_sp25(bool) { applySetpointPercent(25); }
void UI_NormalV3::onClicked_sp50(bool) { applySetpointPercent(50); }
void UI_NormalV3::onClicked_sp75(bool) { applySetpointPercent(75); }
void UI_NormalV3::onClicked_sp100(bool) { applySetpointPercent(100); }
void UI_NormalV3::onClicked_sp120(bool) { applySetpointPercent(120); }
