#include "ui_toolsv3.h"

UI_ToolsV3::UI_ToolsV3(QWidget* parent)
    : QWidget(parent)
{
}

void UI_ToolsV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    Q_UNUSED(reg);
}

void UI_ToolsV3::linkFailed(const QString& msg)
{
    Q_UNUSED(msg);
}
