#include "ui_manualcalv3.h"

UI_ManualCalV3::UI_ManualCalV3(QWidget* parent)
    : QWidget(parent)
{
}

void UI_ManualCalV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    Q_UNUSED(reg);
}

void UI_ManualCalV3::onQueueEmpty()
{
}

void UI_ManualCalV3::linkFailed(const QString& msg)
{
    Q_UNUSED(msg);
}
