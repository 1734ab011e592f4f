// User flow limits of the others page: every flow reading is compared with a
// high and a low limit; leaving the band raises a status-line message and may
// force the valve open or closed.
#include "ui_othersv3.h"

#include "languagedictionary.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
enum LimitAction {
    ACTION_ALARM = 0,
    ACTION_FULL_OPEN = 1,
    ACTION_FULL_CLOSE = 2,
};
} // namespace

void UI_OthersV3::createLimitGroup()
{
    m_limitGroup = new QGroupBox(m_lang->translate(QStringLiteral("Limitation")));
    m_limitActive = new QCheckBox(m_lang->translate(QStringLiteral("Active")));
    m_limitActive->setObjectName(QStringLiteral("limitActive"));

    const QStringList actions{m_lang->translate(QStringLiteral("Alarm")),
                              m_lang->translate(QStringLiteral("Full Open")),
                              m_lang->translate(QStringLiteral("Full Close"))};
    auto makeLimit = [](const char* name) {
        auto* spin = new QSpinBox;
        spin->setObjectName(QLatin1String(name));
        spin->setRange(0, 120);
        spin->setValue(0);
        return spin;
    };
    auto makeAction = [&](const char* name) {
        auto* combo = new QComboBox;
        combo->setObjectName(QLatin1String(name));
        combo->addItems(actions);
        return combo;
    };
    m_highLimit = makeLimit("highLimit");
    m_highAction = makeAction("highAction");
    m_lowLimit = makeLimit("lowLimit");
    m_lowAction = makeAction("lowAction");

    m_limitBox = new QGroupBox;
    m_limitBox->setObjectName(QStringLiteral("limitBox"));
    auto* rows = new QGridLayout(m_limitBox);
    rows->addWidget(m_highLimit, 0, 0);
    rows->addWidget(new QLabel(m_lang->translate(QStringLiteral("HighLimit(%)"))), 0, 1);
    rows->addWidget(m_highAction, 0, 2);
    rows->addWidget(m_lowLimit, 1, 0);
    rows->addWidget(new QLabel(m_lang->translate(QStringLiteral("LowLimit(%)"))), 1, 1);
    rows->addWidget(m_lowAction, 1, 2);
    rows->setColumnStretch(2, 1);

    auto* box = new QVBoxLayout(m_limitGroup);
    box->addWidget(m_limitActive);
    box->addWidget(m_limitBox);
}

void UI_OthersV3::onClicked_activeLimitation(bool v)
{
    // Limits and actions stay fixed while they are being checked.
    m_limitBox->setEnabled(!v);
}

void UI_OthersV3::checkLimits()
{
    // A forced valve is the user's (or an earlier limit's) choice: leave it and the message alone.
    if (m_valveCommand != VALVE_NORMAL)
        return;

    if (m_limitActive->isChecked()) {
        const double high = m_highLimit->value();
        const double low = m_lowLimit->value();
        if (m_flow > high) {
            qDebug().nospace() << m_flow << " > " << high;
            raiseLimit(m_highAction->currentIndex(), false);
            return;
        }
        if (low > m_flow) {
            qDebug().nospace() << m_flow << " < " << low;
            raiseLimit(m_lowAction->currentIndex(), true);
            return;
        }
    }

    if (m_limitRaised) {
        m_limitRaised = false;
        emit error_limit_req(false, QString());
    }
}

void UI_OthersV3::raiseLimit(int action, bool low)
{
    m_limitRaised = true;
    const QString msg = m_lang->translate(low ? QStringLiteral("UserDefTempLowLimit")
                                              : QStringLiteral("UserDefFlowpHighLimit"));
    if (action == ACTION_FULL_OPEN)
        writeValveCommand(VALVE_FULL_OPEN);
    else if (action == ACTION_FULL_CLOSE)
        writeValveCommand(VALVE_FULL_CLOSE);
    emit error_limit_req(true, msg);
}

void UI_OthersV3::writeValveCommand(int cmd)
{
    emit commands_req({makeFrame(QStringLiteral("ValveCommand"), MFC_WRITE, QString::number(cmd))});
}
