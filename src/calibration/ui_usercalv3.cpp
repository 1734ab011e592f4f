#include "ui_usercalv3.h"

UI_UserCalV3::UI_UserCalV3(QWidget* parent)
    : QWidget(parent)
{
    setEnabled(false);
}

QStringList UI_UserCalV3::readList() const
{
    return {};
}

void UI_UserCalV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    Q_UNUSED(reg);
}

void UI_UserCalV3::mfc_nack(QStringList cmds)
{
    Q_UNUSED(cmds);
}

void UI_UserCalV3::linkFailed(const QString& msg)
{
    Q_UNUSED(msg);
}

void UI_UserCalV3::setControlMode(int cm)
{
    Q_UNUSED(cm);
}
