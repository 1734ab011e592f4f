#include "ui_normalv3.h"

// Scaffold so the main window can be wired; the page itself is built separately.
UI_NormalV3::UI_NormalV3(bool, QWidget* parent)
    : QWidget(parent)
{
    m_scheduleWindow = new QGroupBox();
    m_scheduleWindow->hide();
}

UI_NormalV3::~UI_NormalV3() { delete m_scheduleWindow; }

QStringList UI_NormalV3::readList() { return m_regList; }

void UI_NormalV3::mfc_ack(TervanCore::mfc_reg_t) {}

void UI_NormalV3::resetReadouts(QStringList) {}

bool UI_NormalV3::isDynamicCurve() { return false; }

void UI_NormalV3::showScheduleWindow(int x, int y)
{
    m_scheduleWindow->move(x, y);
    m_scheduleWindow->show();
}

void UI_NormalV3::saveRecord_req(bool, double, QString) {}
