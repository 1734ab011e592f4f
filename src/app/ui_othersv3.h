#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QList>
#include <QStringList>
#include <QWidget>

// The "Others" page: gas settings, register grid, accumulator, alarms, user
// flow limits and record control.
class UI_OthersV3 : public QWidget
{
    Q_OBJECT

public:
    explicit UI_OthersV3(QWidget* parent = nullptr);
    ~UI_OthersV3() override;

    QStringList readList();
    void mfc_ack(TervanCore::mfc_reg_t reg);

signals:
    void commands_req(QList<mfc_frame_t> cmds);
    void error_limit_req(bool isSet, QString msg);
    void error_alarmWarning_req(bool isSet, QString msg);
    void saveRecord_req(bool isStart, double saveTime, QString path);

private:
    QStringList m_regList;
};
