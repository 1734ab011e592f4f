#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QList>
#include <QMainWindow>
#include <QMargins>
#include <QRect>
#include <QStringList>


class LanguageDictionary;
class Logger;
class QAction;
class QProgressBar;
class QTabWidget;
class UI_BaseV3;
class UI_DrvV3;
class UI_ManualCalV3;
class UI_NormalV3;
class UI_OthersV3;
class UI_ProductV3;
class UI_ToolsV3;
class UI_UserCalV3;

// The program's main window: builds every page, finds the device, routes the
// pages' requests to the serial link and every reply back to the visible
// pages, and shows communication errors and device warnings on the status line.
class UI_Test : public QMainWindow
{
    Q_OBJECT

public:
    // Searches the serial ports the system lists.
    explicit UI_Test(QWidget* parent = nullptr);
    // Searches exactly `ports`, in this order; lets tests use ports that the
    // system does not list (pseudo-terminals). The program itself never does.
    explicit UI_Test(const QStringList& ports, QWidget* parent = nullptr);
    ~UI_Test() override;

    // Where an engineering window goes, as the client rectangle to give it,
    // whole within `available` with its decorations (`frame`): beside
    // `mainFrame` (right, else left) when it fits there, else over it. It
    // leaves in view at least 100 px of the title bar of each of `openFrames`
    // (listed bottom first) wherever the area allows, moving down and aside
    // from them as desktop cascades do, and gives up some of its size `hint`,
    // down to `minimum`, only when that is the only way to do so. Of the
    // places left it prefers one off `mainFrame`, then one that covers less
    // of the title bars, then less of the main window, then the one nearest
    // its first choice. A window already open at `current` (its frame) stays
    // there when that place is whole within `available` and keeps the title
    // bars in view as well as any would; else it goes as a new one would, but
    // with where it stands as its first choice.
    static QRect engineeringGeometry(const QRect& available, const QRect& mainFrame, const QList<QRect>& openFrames,
                                     const QSize& hint, const QSize& minimum, const QMargins& frame,
                                     const QRect& current = QRect());

public slots:
    void onClicked_appRestart(bool v);
    void onClicked_writeEEPROM(bool v);
    void onClicked_changedLang(bool v);
    void onClicked_resetMFC(bool v);
    void search_result(bool ok, QString portName, int bps);
    void mfc_nack(QStringList cmds);
    void mfc_ack(TervanCore::mfc_reg_t reg);
    void mfc_empty();
    void commands_req(QList<mfc_frame_t> cmds);
    void recoverXYTable_req();
    void writeXYTable_req(QList<double> xTable, QList<double> yTable);
    void error_limit_req(bool isSet, QString msg);
    void error_alarmWarning_req(bool isSet, QString msg);
    void error_record_req(bool isSet, QString msg);
    void schedule_show_req();
    void changedAddr_req();
    // The link reported an undecodable reply or a failed read-back.
    void mfc_error(QString msg);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    enum : quint32 {
        ERROR_COMM = 0x1,
        WARN_LIMIT = 0x2,
        WARN_ALARM = 0x4,
        WARN_RECORD = 0x8,
        WARN_SEARCH = 0x10, // several devices answered the port search
    };

    void init(const QStringList& ports);
    void buildUi();
    void buildMenu();
    void makeConnections();
    void showEngineeringPage(QWidget* page, const QString& title);
    void placeEngineeringPage(QWidget* page, bool open);
    QMargins engineeringMargins(const QWidget* page);
    void connectHal();
    void searchPorts(const QStringList& ports);
    void readStartupRegisters();
    void sendFrames(const QList<mfc_frame_t>& frames);
    void showError(const QString& msg);
    void clearError();
    void updateStatusBar();
    void closeDevice();
    void stepActivity();

    LanguageDictionary* m_lang = nullptr;
    QWidget* m_central = nullptr;
    QTabWidget* m_tabs = nullptr;
    UI_BaseV3* m_base = nullptr;
    UI_DrvV3* m_drv = nullptr;
    UI_ProductV3* m_product = nullptr;
    UI_NormalV3* m_normal = nullptr;
    UI_OthersV3* m_others = nullptr;
    // The engineering pages: built without parent, never placed in the tabs;
    // each opens in a window of its own from the menu.
    UI_UserCalV3* m_userCal = nullptr;
    UI_ToolsV3* m_tools = nullptr;
    UI_ManualCalV3* m_manualCal = nullptr;
    QList<QAction*> m_pageActions;
    // The engineering pages in the order they were last brought up, from the
    // menu or by the user: the later one lies over the earlier.
    QList<QWidget*> m_pageOrder;
    // The decorations the window manager gave an engineering window, once one
    // has been shown: all of them are resizable and get the same, which may
    // differ from the fixed-size main window's.
    QMargins m_pageMargins;
    bool m_pageMarginsKnown = false;
    // Pages shown with decorations guessed before the window manager framed them.
    QList<QWidget*> m_pagesToCheck;
    QProgressBar* m_activity = nullptr;
    Logger* m_logger = nullptr;
    QStringList m_startupRegs;
    quint32 m_errorFlags = 0;
    quint32 m_warnFlags = 0;
    QString m_errorMsg;
    QString m_limitMsg;
    QString m_alarmMsg;
    QString m_recordMsg;
    QString m_searchMsg;
};
