#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QList>
#include <QWidget>

// Manual calibration page: sensor offset and gain, PWM and setpoint gains
// and offsets from two-point measurements.
class UI_ManualCalV3 : public QWidget
{
    Q_OBJECT

public:
    explicit UI_ManualCalV3(QWidget* parent = nullptr);

    // Every decoded reply, in the order the link delivers them.
    void mfc_ack(TervanCore::mfc_reg_t reg);
    // The link reports empty queues.
    void onQueueEmpty();
    // The link dropped this page's requests (timeout, refused list, failed
    // read-back, undecodable reply, queues emptied): end what is pending.
    void linkFailed(const QString& msg);

signals:
    void commands_req(QList<mfc_frame_t> cmds);
};
