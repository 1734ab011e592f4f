#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QGroupBox>
#include <QList>
#include <QStringList>
#include <QWidget>

// The operator's page ("NormalInformation"): setpoint, valve, control mode,
// live flow plots, the setpoint schedule and the flow records.
class UI_NormalV3 : public QWidget
{
    Q_OBJECT

public:
    explicit UI_NormalV3(bool compact, QWidget* parent = nullptr);
    ~UI_NormalV3() override;

    QStringList readList();
    void mfc_ack(TervanCore::mfc_reg_t reg);
    void resetReadouts(QStringList cmds);
    bool isDynamicCurve();
    void showScheduleWindow(int x, int y);

    // Top-level schedule window; public so the main window can follow it when moved.
    QGroupBox* m_scheduleWindow = nullptr;

signals:
    void commands_req(QList<mfc_frame_t> cmds);
    void schedule_show_req();
    // A record save failed (isSet) or works again; the main window shows it as a warning.
    void error_record_req(bool isSet, QString msg);

public slots:
    void saveRecord_req(bool isStart, double saveTime, QString path);

private:
    QStringList m_regList;
};
