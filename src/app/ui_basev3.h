#pragma once

#include "tervancore.h"

#include <QStringList>
#include <QWidget>

class QLineEdit;
class QPushButton;

// The strip below the main window's tabs: program-wide buttons (restart,
// language) and the device address and gas data as read-only fields.
class UI_BaseV3 : public QWidget
{
    Q_OBJECT

public:
    explicit UI_BaseV3(bool showDeviceButtons, QWidget* parent = nullptr);
    ~UI_BaseV3() override;

    QStringList readList();
    void mfc_ack(TervanCore::mfc_reg_t reg);

signals:
    void onClicked_appRestart(bool v);
    void onClicked_writeEEPROM(bool v);
    void onClicked_changedLang(bool v);
    void onClicked_resetMFC(bool v);

private:
    void buildUi();

    bool m_showDeviceButtons;
    QPushButton* m_langButton = nullptr;
    QPushButton* m_resetAppButton = nullptr;
    QPushButton* m_writeEepromButton = nullptr;
    QPushButton* m_resetMfcButton = nullptr;
    QLineEdit* m_addressEdit = nullptr;
    QLineEdit* m_calGasEdit = nullptr;
    QLineEdit* m_gasRangeEdit = nullptr;
    QLineEdit* m_unitEdit = nullptr;
    QLineEdit* m_targetGasEdit = nullptr;
    QStringList m_regList;
};
