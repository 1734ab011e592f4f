#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QList>
#include <QWidget>

// Register tool: read, write and verify every register; import and export
// the register list as a spreadsheet.
class UI_ToolsV3 : public QWidget
{
    Q_OBJECT

public:
    explicit UI_ToolsV3(QWidget* parent = nullptr);

    // Every decoded reply, in the order the link delivers them.
    void mfc_ack(TervanCore::mfc_reg_t reg);
    // The link dropped this page's requests (timeout, refused list, failed
    // read-back, undecodable reply, queues emptied): end what is pending.
    void linkFailed(const QString& msg);

signals:
    void commands_req(QList<mfc_frame_t> cmds);
};
