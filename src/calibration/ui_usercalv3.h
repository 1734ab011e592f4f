#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QList>
#include <QStringList>
#include <QWidget>

// User calibration page: measured points against a reference meter, fitted
// into the device's 32-point calibration table.
class UI_UserCalV3 : public QWidget
{
    Q_OBJECT

public:
    explicit UI_UserCalV3(QWidget* parent = nullptr);

    // Names the page wants read once after the device is found.
    QStringList readList() const;
    // Every decoded reply, in the order the link delivers them.
    void mfc_ack(TervanCore::mfc_reg_t reg);
    // A request timed out after all its sends.
    void mfc_nack(QStringList cmds);
    // The link dropped this page's requests (timeout, refused list, failed
    // read-back, undecodable reply, queues emptied): end what is pending.
    void linkFailed(const QString& msg);
    // The device reported control mode `cm` (register CM).
    void setControlMode(int cm);

signals:
    void recoverXYTable_req();
    void writeXYTable_req(QList<double> xTable, QList<double> yTable);
    void commands_req(QList<mfc_frame_t> cmds);
};
