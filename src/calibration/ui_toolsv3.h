#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QList>
#include <QMap>
#include <QModelIndex>
#include <QStringList>
#include <QWidget>

class AutoScrollTableView;
class LanguageDictionary;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStandardItem;
class QStandardItemModel;

// Register tool: read, write and verify every register; import and export
// the register list as a spreadsheet. It never talks to the transport itself:
// requests leave through commands_req, replies come in through mfc_ack, and
// every dropped request through linkFailed.
//
// Widgets that tests drive carry object names (see the build* functions).
class UI_ToolsV3 : public QWidget
{
    Q_OBJECT

public:
    enum tool_state_t {
        TOOL_IDLE = 0,         // nothing running; replies only update cells
        TOOL_READ_ALL = 1,     // read all: waiting for the read replies
        TOOL_WRITE_ALL = 2,    // write all: waiting for the write replies
        TOOL_VERIFY = 3,       // write all: waiting for the read-back replies
        TOOL_IMPORT = 4,       // an import is filling the table; replies are ignored
        TOOL_IMPORT_WRITE = 5, // the imported values are being written
    };

    explicit UI_ToolsV3(QWidget* parent = nullptr);
    ~UI_ToolsV3() override;

    // Room for all six columns side by side and VISIBLE_ROWS rows of the table.
    static constexpr int VISIBLE_ROWS = 20;
    QSize sizeHint() const override;

    // Every decoded reply, in the order the link delivers them.
    void mfc_ack(TervanCore::mfc_reg_t reg);
    // The link dropped this page's requests (timeout, refused list, failed
    // read-back, undecodable reply, queues emptied): end what is pending.
    void linkFailed(const QString& msg);

signals:
    void commands_req(QList<mfc_frame_t> cmds);

public slots:
    void itemChanged(QStandardItem* item);
    void doubleClicked_table(QModelIndex index);
    void valueChanged_regIndex(int index);
    void onClicked_realAll(bool v);
    void onClicked_writeAll(bool v);
    void onClicked_exportRegs(bool v);
    void onClicked_importRegs(bool v);
    void onClicked_writeSingle(bool v);

private:
    // One checked row of an import file.
    struct ImportRow
    {
        QString name;
        QString value;
    };

    void requestRead(QString name);
    void requestWrite(QString name, QString value);
    void requestAllFromMap();
    void showMessage(const QString& text);
    void connectItemChanged();
    void disconnectItemChanged();

    // Construction.
    void buildUi();
    void buildTableGroup();
    void buildRegisterOperatorGroup();
    void buildFileGroup();
    void makeConnections();

    // Operations (ui_toolsv3_ops.cpp).
    void startOperation(int state, const QList<mfc_frame_t>& frames);
    void finishOperation(const QString& message);
    QString refusedWrite() const;
    void countReply(const TervanCore::mfc_reg_t& reg);
    void verifyReply(const TervanCore::mfc_reg_t& reg);
    bool compareWritten(const TervanCore::mfc_reg_t& reg);
    void resetCounters(int total);
    QString valueText(int row) const;
    void setValueCell(int row, const QString& text);

    // Register list files (ui_toolsv3_file.cpp).
    void importFile(const QString& path);
    bool checkImportRows(const QString& path, QList<ImportRow>& rows, QString& message) const;
    void applyImport(const QList<ImportRow>& rows);

    LanguageDictionary* m_lang = nullptr;
    QGroupBox* m_tableGroup = nullptr;
    QStandardItemModel* m_model = nullptr;
    AutoScrollTableView* m_table = nullptr;
    QSpinBox* m_indexSpin = nullptr;
    QGroupBox* m_operatorGroup = nullptr;
    QLineEdit* m_totalEdit = nullptr;
    QLineEdit* m_completedEdit = nullptr;
    QLineEdit* m_checkedEdit = nullptr;
    QPushButton* m_writeAllButton = nullptr;
    QPushButton* m_readAllButton = nullptr;
    QPushButton* m_writeSingleButton = nullptr;
    QGroupBox* m_saveGroup = nullptr;
    QPushButton* m_exportButton = nullptr;
    QLineEdit* m_fileNameEdit = nullptr;
    QPushButton* m_importButton = nullptr;
    QStringList m_cmdList;
    QMap<QString, int> m_rowOf;
    QStringList m_noReadList;
    QStringList m_noReadAllList;
    QStringList m_readOnlyList;
    QStringList m_noCheckList;
    int m_state = TOOL_IDLE;
    QStringList m_pending;
    QMap<QString, QString> m_written;
    int m_completed = 0;
    int m_checked = 0;
    // Read-backs (or import write replies) that differ from what was written,
    // shown together when the operation ends.
    QStringList m_mismatches;
    // The writes an import collects while it fills the table, sent as one list.
    QList<mfc_frame_t> m_importWrites;
    // The list being handed to the link: a refusal arrives while it is set.
    QList<mfc_frame_t> m_sending;
};
