#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QList>
#include <QMap>
#include <QMetaObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class LanguageDictionary;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QSpinBox;
class QStandardItem;
class QStandardItemModel;
class QTableView;
class QTimer;

// The "Others" page: gas settings, register grid, accumulator, alarms, user
// flow limits and record control. It never talks to the transport itself:
// requests leave through commands_req, replies come in through mfc_ack.
//
// Widgets that tests drive carry object names (see the create* functions).
class UI_OthersV3 : public QWidget
{
    Q_OBJECT

public:
    explicit UI_OthersV3(QWidget* parent = nullptr);
    ~UI_OthersV3() override;

    QStringList readList();
    void mfc_ack(TervanCore::mfc_reg_t reg);

    // Upper bound of every computed target-gas range, sccm.
    static constexpr int FLOW_RANGE_CAP = 55000;

signals:
    void commands_req(QList<mfc_frame_t> cmds);
    void error_limit_req(bool isSet, QString msg);
    void error_alarmWarning_req(bool isSet, QString msg);
    void saveRecord_req(bool isStart, double saveTime, QString path);

public slots:
    void onClicked_actived(bool v);
    void onClicked_clearAlarm(bool v);
    void poll_status();
    void onClicked_setAlarm(bool v);
    void onClicked_readAccumulation(bool v);
    void onClicked_eraseAccumulation(bool v);
    void onClicked_activeLimitation(bool v);
    void onClicked_activeSave(bool v);
    void onClicked_fullrange(bool v);
    void onClicked_transform(bool v);
    void onClicked_softStart(bool v);
    void onClicked_delay(bool v);
    void onClicked_shutoffLevel(bool v);
    void itemChanged(QStandardItem* item);

private:
    // Construction (one function per group, in building order).
    void createStatusGroup();
    void createSettingGroup();
    void createLimitGroup();
    void createAccumulationGroup();
    void createSaveGroup();
    void createGasGroups();
    void createRegisterTable();
    void createLayout();
    void compactGroups();
    void makeConnections();

    // Every frame the page sends is built by one of these two.
    void requestWriteAndProgram(const QString& name, const QString& value);
    void requestRead(const QString& name, bool background);

    // Gas settings.
    int askConfirmation(const QString& text);
    QString languageText(const QString& en, const QString& cn) const;
    void updateGasRanges();

    // Register grid and accumulator.
    void fillGridCell(const QString& name, const QString& text);

    // Alarms and warnings.
    void showAlarmStatus(quint16 word);
    void showAlarmEnable(quint16 mask);

    // User flow limits.
    void checkLimits();
    void raiseLimit(int action, bool low);
    void writeValveCommand(int cmd);

    // Record control.
    QString recordFileName();
    bool makeRecordDir() const;
    void showRecordDirError();
    void setSerialNumber(const QString& serial);

    LanguageDictionary* m_lang = nullptr;
    QStringList m_regList;
    QTimer* m_pollTimer = nullptr;
    QString m_serialNumber;
    bool m_limitRaised = false;
    QMap<QString, int> m_nameToRow;
    QMap<int, QString> m_rowToName;
    QStringList m_tableNames;
    double m_flow = 0.0;
    int m_valveCommand = VALVE_NORMAL; // the limits are checked from the first flow reading on
    quint16 m_calGasRange = 65535;     // 65535: no calibration-gas range known yet
    double m_gasFactor = -2.0;         // -2.0: no conversion factor known yet

    // Status and Setting groups.
    QGroupBox* m_statusGroup = nullptr;
    QList<QCheckBox*> m_statusBoxes; // in the order of the status table
    QCheckBox* m_statusActive = nullptr;
    QPushButton* m_clearAlarm = nullptr;
    QGroupBox* m_settingGroup = nullptr;
    QList<QCheckBox*> m_settingBoxes; // in the order of the mask table
    QPushButton* m_setAlarm = nullptr;

    // Limitation group.
    QGroupBox* m_limitGroup = nullptr;
    QCheckBox* m_limitActive = nullptr;
    QGroupBox* m_limitBox = nullptr;
    QSpinBox* m_highLimit = nullptr;
    QSpinBox* m_lowLimit = nullptr;
    QComboBox* m_highAction = nullptr;
    QComboBox* m_lowAction = nullptr;

    // Accumulation group.
    QGroupBox* m_accGroup = nullptr;
    QLineEdit* m_accumulation = nullptr;
    QPushButton* m_readAcc = nullptr;
    QPushButton* m_eraseAcc = nullptr;

    // Save group.
    QGroupBox* m_saveGroup = nullptr;
    QCheckBox* m_saveActive = nullptr;
    QGroupBox* m_saveBox = nullptr;
    QDoubleSpinBox* m_saveInterval = nullptr;
    QLineEdit* m_fileName = nullptr;
    QPointer<QMessageBox> m_dirErrorBox;

    // Gas-setting groups.
    QList<QGroupBox*> m_gasGroups;
    QSpinBox* m_targetRange = nullptr;
    QLabel* m_targetRangeLabel = nullptr;
    QPushButton* m_targetRangeSet = nullptr;
    QDoubleSpinBox* m_factor = nullptr;
    QLabel* m_factorLabel = nullptr;
    QPushButton* m_factorSet = nullptr;
    QDoubleSpinBox* m_softStart = nullptr;
    QPushButton* m_softStartSet = nullptr;
    QSpinBox* m_delay = nullptr;
    QPushButton* m_delaySet = nullptr;
    QDoubleSpinBox* m_shutoffLevel = nullptr;
    QPushButton* m_shutoffLevelSet = nullptr;

    // Register grid.
    QStandardItemModel* m_tableModel = nullptr;
    QTableView* m_tableView = nullptr;
    QMetaObject::Connection m_itemChangedConnection;
};
