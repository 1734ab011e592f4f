// UI_Test: the device side of the main window (port search hand-over, request
// routing, reply fan-out, status line, fixed sequences, restart).
#include "ui_test.h"

#include "languagedictionary.h"
#include "tervanhalv3.h"
#include "ui_basev3.h"
#include "ui_drvv3.h"
#include "ui_manualcalv3.h"
#include "ui_normalv3.h"
#include "ui_othersv3.h"
#include "ui_productv3.h"
#include "ui_toolsv3.h"
#include "ui_usercalv3.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>

namespace {

// Survives a restart of the window inside the process, like the link's tick count.
int s_activity = 0;

} // namespace

void UI_Test::searchPorts(const QStringList& ports)
{
    if (ports.isEmpty()) {
        showError(m_lang->translate(QStringLiteral("No valid COM!")));
        return;
    }
    QString err;
    if (!m_drv->searchDevice(ports, {9600, 19200, 38400}, err)) {
        showError(m_lang->translate(QStringLiteral("Open fail!")));
        return;
    }
    m_tabs->setEnabled(true);
}

void UI_Test::search_result(bool ok, QString portName, int bps)
{
    if (!ok) {
        showError(m_lang->translate(QStringLiteral("NO MFC device!")));
        return;
    }
    qDebug().noquote().nospace() << "Found " << portName << " " << bps;
    const QList<int> others = m_drv->otherAddresses();
    if (!others.isEmpty()) {
        // The engineer must know which of the controllers on the line he operates.
        QStringList list;
        for (int a : others)
            list << QString::number(a);
        m_searchMsg = m_lang->translate(QStringLiteral("Several devices answered; using address %1 (also answered: %2)."))
                          .arg(m_drv->hal()->core()->address())
                          .arg(list.join(QStringLiteral(", ")));
        m_warnFlags |= WARN_SEARCH;
        updateStatusBar();
    }
    for (QAction* action : qAsConst(m_pageActions))
        action->setEnabled(true);
    connectHal();
    readStartupRegisters();
}

void UI_Test::connectHal()
{
    TervanHALV3* hal = m_drv->hal();
    connect(hal, &TervanHALV3::timeout, this, &UI_Test::mfc_nack);
    connect(hal, &TervanHALV3::ack, this, &UI_Test::mfc_ack);
    connect(hal, &TervanHALV3::empty, this, &UI_Test::mfc_empty);
    connect(hal, &TervanHALV3::error, this, &UI_Test::mfc_error);
}

void UI_Test::readStartupRegisters()
{
    m_startupRegs = m_base->readList();
    const QList<QStringList> lists = {m_product->readList(), m_normal->readList(), m_others->readList(),
                                      m_userCal->readList()};
    for (const QStringList& names : lists) {
        for (const QString& name : names) {
            if (!m_startupRegs.contains(name))
                m_startupRegs << name;
        }
    }
    m_drv->hal()->setRetry(5);

    QList<mfc_frame_t> frames;
    frames << makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("2000"));
    for (const QString& name : qAsConst(m_startupRegs))
        frames << makeFrame(name, MFC_READ);
    sendFrames(frames);
}

void UI_Test::sendFrames(const QList<mfc_frame_t>& frames)
{
    QString err;
    if (!m_drv->hal()->request(frames, err))
        showError(err);
}

void UI_Test::commands_req(QList<mfc_frame_t> cmds)
{
    for (const mfc_frame_t& f : qAsConst(cmds))
        qDebug().noquote().nospace() << "send: " << f.cmd << ", input: " << f.input;
    sendFrames(cmds);
}

void UI_Test::mfc_ack(TervanCore::mfc_reg_t reg)
{
    if (m_errorFlags & ERROR_COMM)
        clearError();
    if (reg.cmd == QLatin1String("CM"))
        m_userCal->setControlMode(reg.value.u8);
    if (reg.cmd == QLatin1String("MACAddress"))
        m_drv->hal()->setAddress(reg.value.u8);

    m_base->mfc_ack(reg);
    m_drv->mfc_ack(reg);
    m_product->mfc_ack(reg);
    m_normal->mfc_ack(reg);
    m_others->mfc_ack(reg);
    // The engineering pages get every reply, shown or not, after the device pages.
    m_userCal->mfc_ack(reg);
    m_tools->mfc_ack(reg);
    m_manualCal->mfc_ack(reg);
    stepActivity();
}

void UI_Test::mfc_nack(QStringList cmds)
{
    const QString text = cmds.join(QStringLiteral("\r\n"));
    qDebug().noquote().nospace() << "Command :\r\n " << text;
    showError(text);
    m_normal->resetReadouts(cmds);
    m_userCal->mfc_nack(cmds);
}

void UI_Test::mfc_error(QString msg)
{
    // The link has already dropped its queues; the pages learn of it here.
    showError(msg);
}

void UI_Test::mfc_empty()
{
    m_manualCal->onQueueEmpty();
    qDebug() << "MFC is empty";
}

void UI_Test::stepActivity()
{
    s_activity += 1;
    m_activity->setValue(s_activity);
    if (s_activity > 100)
        s_activity = 0;
}

void UI_Test::showError(const QString& msg)
{
    qDebug().noquote().nospace() << "Error: " << msg;
    m_drv->hal()->reset();
    m_errorFlags |= ERROR_COMM;
    m_errorMsg = msg;
    updateStatusBar();
    // Every request queued or in flight is gone: no engineering page may keep
    // waiting for its replies. The status line is settled first, since a page
    // may show a box of its own.
    m_drv->linkFailed(msg);
    m_userCal->linkFailed(msg);
    m_tools->linkFailed(msg);
    m_manualCal->linkFailed(msg);
}

void UI_Test::clearError()
{
    m_errorFlags &= ~quint32(ERROR_COMM);
    m_errorMsg.clear();
    updateStatusBar();
}

void UI_Test::error_limit_req(bool isSet, QString msg)
{
    if (isSet) {
        m_warnFlags |= WARN_LIMIT;
        m_limitMsg = msg;
    } else {
        m_warnFlags &= ~quint32(WARN_LIMIT);
        m_limitMsg.clear();
    }
    updateStatusBar();
}

void UI_Test::error_alarmWarning_req(bool isSet, QString msg)
{
    if (isSet) {
        m_warnFlags |= WARN_ALARM;
        m_alarmMsg = msg;
    } else {
        m_warnFlags &= ~quint32(WARN_ALARM);
        m_alarmMsg.clear();
    }
    updateStatusBar();
}

void UI_Test::error_record_req(bool isSet, QString msg)
{
    if (isSet) {
        m_warnFlags |= WARN_RECORD;
        m_recordMsg = msg;
    } else {
        m_warnFlags &= ~quint32(WARN_RECORD);
        m_recordMsg.clear();
    }
    updateStatusBar();
}

void UI_Test::updateStatusBar()
{
    QString msg;
    QString style;
    if (m_errorFlags != 0) {
        msg = m_errorMsg;
        style = QStringLiteral("background-color: rgb(255, 0, 0);");
    } else if (m_warnFlags != 0) {
        auto append = [&msg](const QString& part) {
            if (!msg.isEmpty())
                msg += QLatin1Char(' ');
            msg += part;
        };
        if (m_warnFlags & WARN_LIMIT)
            msg = m_limitMsg;
        if (m_warnFlags & WARN_ALARM)
            append(m_alarmMsg);
        if (m_warnFlags & WARN_RECORD)
            append(m_recordMsg);
        if (m_warnFlags & WARN_SEARCH)
            append(m_searchMsg);
        style = QStringLiteral("background-color: rgb(255, 255, 0);");
    } else {
        style = QStringLiteral("background-color: rgb(255, 255, 255);");
    }
    statusBar()->setStyleSheet(style);
    statusBar()->showMessage(msg);
}

void UI_Test::onClicked_writeEEPROM(bool v)
{
    Q_UNUSED(v);
    sendFrames(commitFrames(2000));
}

void UI_Test::onClicked_resetMFC(bool v)
{
    Q_UNUSED(v);
    sendFrames({makeFrame(QStringLiteral("Reset"), MFC_WRITE, QStringLiteral("1")),
                makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("3000")),
                makeFrame(QStringLiteral("CM"), MFC_READ)});
}

void UI_Test::recoverXYTable_req()
{
    QString err;
    if (!m_drv->hal()->recoverCalTable(err))
        showError(err);
}

void UI_Test::writeXYTable_req(QList<double> xTable, QList<double> yTable)
{
    // A short or long table would write past (or leave unset) device table
    // entries; refuse it before anything is sent.
    if (xTable.size() != CAL_REGS_NUMBER || yTable.size() != CAL_REGS_NUMBER) {
        showError(m_lang->translate(QStringLiteral("Calibration table needs %1 X and %1 Y values, got %2 and %3."))
                      .arg(CAL_REGS_NUMBER)
                      .arg(xTable.size())
                      .arg(yTable.size()));
        return;
    }
    double x[CAL_REGS_NUMBER];
    double y[CAL_REGS_NUMBER];
    for (int i = 0; i < CAL_REGS_NUMBER; ++i) {
        x[i] = xTable.at(i);
        y[i] = yTable.at(i);
    }
    QString err;
    if (!m_drv->hal()->writeCalTable(x, y, err))
        showError(err);
}

void UI_Test::changedAddr_req()
{
    m_drv->hal()->refreshAddress();
    m_drv->writeAddress();
}

void UI_Test::closeDevice()
{
    TervanHALV3* hal = m_drv->hal();
    hal->reset();
    hal->stopTick();
    if (hal->isOpen())
        hal->closePort();
}

void UI_Test::onClicked_changedLang(bool v)
{
    Q_UNUSED(v);
    QSettings settings(LanguageDictionary::settingsFileName(), QSettings::IniFormat);
    const QString old = settings.value(QStringLiteral("lang"), QStringLiteral("en")).toString();
    // Only `lang` changes; the slope bounds kept in the same file stay.
    settings.setValue(QStringLiteral("lang"),
                      old == QLatin1String("en") ? QStringLiteral("cn") : QStringLiteral("en"));
    settings.sync();
    closeDevice();
    QCoreApplication::exit(RESTART_EXIT_CODE);
}

void UI_Test::onClicked_appRestart(bool v)
{
    Q_UNUSED(v);
    closeDevice();
    QCoreApplication::exit(RESTART_EXIT_CODE);
}
