// Alarms and warnings of the others page: the device's status word shown as
// check boxes and as one status-line message, its enable mask, and clearing.
#include "ui_othersv3.h"

#include "languagedictionary.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>

namespace {
struct StatusBit
{
    quint16 bit;
    const char* box;
    const char* message; // nullptr: the bit has a box but no message
};

// In message order: the status line lists the set bits in this order.
const StatusBit kStatusBits[] = {
    {0x0100, "TempHihgAlarm", "TempHihgAlarm"},
    {0x0001, "TempHighWarn", "TempHighWarn"},
    {0x0200, "TempLowAlarm", "TempLowAlarm"},
    {0x0002, "TempLowWarn", "TempLowWarn"},
    {0x0400, "CoilShorted", "ValveCoilShortedAlarm"},
    {0x0800, "CoilOpened", "ValveCoildOpenedAlarm"},
    {0x1000, "SensorNegShiftAlarm", "SensorNegDriftAlarm"},
    {0x0010, "SensorNegShiftWarn", "SensorNegDriftWarning"},
    {0x2000, "SensorPosShiftAlarm", "SensorPosDriftAlarm"},
    {0x0020, "SensorPosShiftWarn", "SensorPosDriftWarning"},
    {0x4000, "E2PROM_Alarm", nullptr},
};

// Where each status box sits: alarms on the left, warnings on the right.
const struct
{
    int row;
    int column;
} kStatusPlace[] = {
    {0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {3, 0}, {4, 0}, {2, 1}, {5, 0}, {3, 1}, {6, 0},
};

struct MaskBit
{
    quint16 bit;
    const char* box;
    int row;
    int column;
};

const MaskBit kMaskBits[] = {
    {0x0200, "TempAlarm", 0, 0},
    {0x0002, "TempWarn", 0, 1},
    {0x0400, "CoilAlarm", 1, 0},
    {0x0800, "SensorShiftAlarm", 2, 0},
    {0x0008, "SensorShiftWarn", 1, 1},
    {0x0100, "E2PROM_Alarm", 3, 0},
};
} // namespace

void UI_OthersV3::createStatusGroup()
{
    m_statusGroup = new QGroupBox(m_lang->translate(QStringLiteral("Status")));
    auto* grid = new QGridLayout(m_statusGroup);
    int i = 0;
    for (const StatusBit& s : kStatusBits) {
        auto* box = new QCheckBox(m_lang->translate(QLatin1String(s.box)));
        box->setObjectName(QStringLiteral("status_") + QLatin1String(s.box));
        box->setEnabled(false); // display only
        grid->addWidget(box, kStatusPlace[i].row, kStatusPlace[i].column);
        m_statusBoxes << box;
        ++i;
    }
    m_statusActive = new QCheckBox(m_lang->translate(QStringLiteral("Active")));
    m_statusActive->setObjectName(QStringLiteral("statusActive"));
    m_clearAlarm = new QPushButton(m_lang->translate(QStringLiteral("Clear")));
    m_clearAlarm->setObjectName(QStringLiteral("clearAlarm"));
    grid->addWidget(m_statusActive, 7, 0);
    grid->addWidget(m_clearAlarm, 7, 1);
}

void UI_OthersV3::createSettingGroup()
{
    m_settingGroup = new QGroupBox(m_lang->translate(QStringLiteral("Setting")));
    auto* grid = new QGridLayout(m_settingGroup);
    for (const MaskBit& m : kMaskBits) {
        auto* box = new QCheckBox(m_lang->translate(QLatin1String(m.box)));
        box->setObjectName(QStringLiteral("setting_") + QLatin1String(m.box));
        grid->addWidget(box, m.row, m.column);
        m_settingBoxes << box;
    }
    m_setAlarm = new QPushButton(m_lang->translate(QStringLiteral("Set")));
    m_setAlarm->setObjectName(QStringLiteral("setAlarm"));
    grid->addWidget(m_setAlarm, 3, 1);
}

void UI_OthersV3::onClicked_actived(bool v)
{
    if (v)
        m_pollTimer->start();
    else
        m_pollTimer->stop();
}

void UI_OthersV3::onClicked_clearAlarm(bool)
{
    requestWriteAndProgram(QStringLiteral("ClearAlarms"), QStringLiteral("1"));
}

void UI_OthersV3::poll_status()
{
    m_pollTimer->start();
    // Behind everything else: the poll must not delay what the user asked for.
    requestRead(QStringLiteral("ReadAlarms"), true);
}

void UI_OthersV3::onClicked_setAlarm(bool)
{
    quint16 mask = 0;
    int i = 0;
    for (const MaskBit& m : kMaskBits) {
        if (m_settingBoxes.at(i++)->isChecked())
            mask |= m.bit;
    }
    requestWriteAndProgram(QStringLiteral("EnableDisalbeAlarms"), QString::number(mask));
}

void UI_OthersV3::showAlarmStatus(quint16 word)
{
    int i = 0;
    for (const StatusBit& s : kStatusBits)
        m_statusBoxes.at(i++)->setChecked((word & s.bit) != 0);

    if (word == 0) {
        emit error_alarmWarning_req(false, QString());
        return;
    }
    QString msg;
    for (const StatusBit& s : kStatusBits) {
        if (!(word & s.bit) || !s.message)
            continue;
        if (!msg.isEmpty())
            msg += QLatin1Char(' ');
        msg += m_lang->translate(QLatin1String(s.message));
    }
    emit error_alarmWarning_req(true, msg);
}

void UI_OthersV3::showAlarmEnable(quint16 mask)
{
    int i = 0;
    for (const MaskBit& m : kMaskBits)
        m_settingBoxes.at(i++)->setChecked((mask & m.bit) != 0);
}
