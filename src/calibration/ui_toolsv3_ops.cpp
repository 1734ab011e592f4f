// UI_ToolsV3: read all, write all with read-back verification, reply handling
// and the end of every operation, successful or not.
#include "ui_toolsv3.h"

#include "languagedictionary.h"
#include "replyparser.h"
#include "safefilename.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QStandardItemModel>

namespace {

const QString MAC_ADDRESS = QStringLiteral("MACAddress");

QString fileNameFor(const QString& serial)
{
    return safeFileBase(serial) + QStringLiteral(".xlsx");
}

// The device needs this hold after programming its EEPROM.
constexpr int COMMIT_DELAY_MS = 2000;

} // namespace

void UI_ToolsV3::resetCounters(int total)
{
    m_completed = 0;
    m_checked = 0;
    m_completedEdit->setText(QStringLiteral("0"));
    m_checkedEdit->setText(QStringLiteral("0"));
    m_totalEdit->setText(QString::number(total));
}

void UI_ToolsV3::onClicked_realAll(bool v)
{
    Q_UNUSED(v);
    m_pending.clear();
    QList<mfc_frame_t> frames;
    for (const QString& name : qAsConst(m_cmdList)) {
        if (name == QLatin1String("Undefined") || m_noReadAllList.contains(name))
            continue;
        frames << makeFrame(name, MFC_READ);
        m_pending << name;
    }
    resetCounters(m_pending.size());
    startOperation(TOOL_READ_ALL, frames);
}

void UI_ToolsV3::onClicked_writeAll(bool v)
{
    Q_UNUSED(v);
    m_pending.clear();
    m_written.clear();
    QList<mfc_frame_t> frames;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QString name = m_model->index(row, 0).data().toString();
        const QString value = valueText(row);
        if (m_noCheckList.contains(name) || value.isEmpty())
            continue;
        // A new address is written last: the link encodes each frame with the
        // address of the moment it is queued, so nothing may follow it in one list.
        if (name == MAC_ADDRESS)
            continue;
        frames << makeFrame(name, MFC_WRITE, value);
        m_pending << name;
        m_written.insert(name, value);
    }
    const QString mac = m_rowOf.contains(MAC_ADDRESS) ? valueText(m_rowOf.value(MAC_ADDRESS)) : QString();
    if (!mac.isEmpty()) {
        frames << makeFrame(MAC_ADDRESS, MFC_WRITE, mac);
        m_pending << MAC_ADDRESS;
        m_written.insert(MAC_ADDRESS, mac);
    }
    resetCounters(m_pending.size());
    if (frames.isEmpty()) {
        // Nothing to wait for: commit, and end at once unless the commit was refused.
        startOperation(TOOL_WRITE_ALL, commitFrames(COMMIT_DELAY_MS));
        if (m_state == TOOL_WRITE_ALL)
            finishOperation(m_lang->translate(QStringLiteral("Completed")));
        return;
    }
    startOperation(TOOL_WRITE_ALL, frames);
}

void UI_ToolsV3::requestAllFromMap()
{
    // The commit goes out only now, behind the last write reply, so that it
    // reaches the device at the address a MACAddress write has just set.
    QList<mfc_frame_t> frames = commitFrames(COMMIT_DELAY_MS);
    for (auto it = m_written.cbegin(); it != m_written.cend(); ++it)
        frames << makeFrame(it.key(), MFC_READ);
    m_state = TOOL_VERIFY;
    emit commands_req(frames);
}

void UI_ToolsV3::startOperation(int state, const QList<mfc_frame_t>& frames)
{
    m_mismatches.clear();
    m_state = state;
    setEnabled(false);
    // A refused list ends the operation inside this emit (linkFailed).
    m_sending = frames;
    emit commands_req(frames);
    m_sending.clear();
}

// The first write of the list being sent that its register cannot take, as a
// message; empty when the link refused nothing of it.
QString UI_ToolsV3::refusedWrite() const
{
    TervanCore core; // only to tell which value the link's codec refuses
    for (const mfc_frame_t& f : m_sending) {
        QByteArray bytes;
        QString err;
        if (f.op == MFC_WRITE && !core.encodeWrite(f.cmd, f.input, bytes, err))
            return QLatin1Char('\n') + m_lang->translate(QStringLiteral("%1 cannot take the value %2.")).arg(f.cmd, f.input);
    }
    return QString();
}

void UI_ToolsV3::finishOperation(const QString& message)
{
    m_state = TOOL_IDLE;
    m_pending.clear();
    // What was written belongs to this operation only: a later reply of the
    // same register must not be compared with it.
    m_written.clear();
    m_importWrites.clear();
    const QStringList mismatches = m_mismatches;
    m_mismatches.clear();
    setEnabled(true);
    QStringList lines = mismatches;
    if (!message.isEmpty())
        lines.prepend(message);
    if (!lines.isEmpty())
        showMessage(lines.join(QLatin1Char('\n')));
}

void UI_ToolsV3::linkFailed(const QString& msg)
{
    // The main window's status line shows msg in English; the box names a
    // refused value through the dictionary.
    Q_UNUSED(msg);
    switch (m_state) {
    case TOOL_READ_ALL:
        finishOperation(m_lang->translate(QStringLiteral("Read fail")));
        break;
    case TOOL_WRITE_ALL:
    case TOOL_VERIFY:
        finishOperation(m_lang->translate(QStringLiteral("Write fail")) + refusedWrite());
        break;
    case TOOL_IMPORT_WRITE:
        finishOperation(m_lang->translate(QStringLiteral("Write fail")) + refusedWrite() + QLatin1Char('\n')
                        + m_lang->translate(QStringLiteral("Not confirmed by the device: ")) + m_pending.join(QLatin1Char(',')));
        break;
    default:
        break;
    }
}

void UI_ToolsV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    if (m_state == TOOL_IMPORT)
        return;
    if (reg.cmd == QLatin1String("MFCSerialNumber") && m_fileNameEdit->text().isEmpty()) {
        m_fileNameEdit->setText(fileNameFor(reg.output));
        m_saveGroup->setEnabled(true);
    }
    const auto row = m_rowOf.constFind(reg.cmd);
    if (row != m_rowOf.cend())
        setValueCell(row.value(), reg.output);

    switch (m_state) {
    case TOOL_READ_ALL:
    case TOOL_WRITE_ALL:
    case TOOL_IMPORT_WRITE:
        countReply(reg);
        break;
    case TOOL_VERIFY:
        // Read-backs are compared only here, while write all verifies.
        verifyReply(reg);
        break;
    default:
        break;
    }
}

void UI_ToolsV3::countReply(const TervanCore::mfc_reg_t& reg)
{
    const int at = m_pending.indexOf(reg.cmd);
    if (at < 0)
        return;
    m_pending.removeAt(at);
    m_completed += 1;
    m_completedEdit->setText(QString::number(m_completed));
    if (m_state == TOOL_IMPORT_WRITE)
        compareWritten(reg); // the write reply carries what the device took
    if (!m_pending.isEmpty())
        return;
    switch (m_state) {
    case TOOL_READ_ALL:
        finishOperation(m_lang->translate(QStringLiteral("Completed")));
        break;
    case TOOL_WRITE_ALL:
        requestAllFromMap();
        break;
    default:
        // An import reports only what the device did not take.
        finishOperation(QString());
        break;
    }
}

void UI_ToolsV3::verifyReply(const TervanCore::mfc_reg_t& reg)
{
    if (!compareWritten(reg))
        return;
    if (m_written.isEmpty())
        finishOperation(m_mismatches.isEmpty() ? m_lang->translate(QStringLiteral("Completed")) : QString());
}

// Compares a reply with the text written to its register and forgets the
// entry; false when nothing was written to it.
bool UI_ToolsV3::compareWritten(const TervanCore::mfc_reg_t& reg)
{
    const auto it = m_written.find(reg.cmd);
    if (it == m_written.end())
        return false;
    if (reg.cmd == QLatin1String("CM") || ReplyParser::valueMatches(reg, it.value())) {
        m_checked += 1;
        m_checkedEdit->setText(QString::number(m_checked));
    } else {
        m_mismatches << QStringLiteral("Cmd %1 error, should be: %2, read back: %3.").arg(reg.cmd, it.value(), reg.output);
    }
    m_written.erase(it);
    return true;
}
