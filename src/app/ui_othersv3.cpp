#include "ui_othersv3.h"

// Scaffold so the main window can be wired; the page itself is built separately.
UI_OthersV3::UI_OthersV3(QWidget* parent)
    : QWidget(parent)
{
}

UI_OthersV3::~UI_OthersV3() = default;

QStringList UI_OthersV3::readList() { return m_regList; }

void UI_OthersV3::mfc_ack(TervanCore::mfc_reg_t) {}
