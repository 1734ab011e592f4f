// UI_UserCalV3: device replies, the recover and calibration operations, how
// they end, and when the page is usable.
#include "ui_usercalv3.h"

#include "languagedictionary.h"
#include "notice.h"

#include <QDebug>
#include <QLineEdit>
#include <QStandardItemModel>

#include <cmath>

namespace {

// A read-back within this distance of the written value counts as landed.
constexpr double READBACK_TOLERANCE = 0.01;

// The calibration registers are of the double kind; other kinds by their text.
double replyValue(const TervanCore::mfc_reg_t& reg)
{
    return reg.type == KIND_DOUBLE ? reg.value.f64 : reg.output.toDouble();
}

} // namespace

void UI_UserCalV3::startRecover()
{
    m_expected.clear();
    for (int i = 1; i <= CAL_REGS_NUMBER; ++i) {
        m_expected.insert(QStringLiteral("CalTabValueX%1").arg(i), i * 0.0375);
        m_expected.insert(QStringLiteral("CalTabValueY%1").arg(i), i * 0.0375);
    }
    startOperation(OP_RECOVER);
    emit recoverXYTable_req();
}

// Settled before the request leaves: a refused request ends the operation
// from inside the emit, through linkFailed.
void UI_UserCalV3::startOperation(Operation op)
{
    m_op = op;
    m_tableReplies = 0;
    // Replies the table sequence owes after the table, in order; the restart
    // in between may go unanswered and is not awaited.
    m_tail = QStringList{QStringLiteral("EEPROMProgram"), QStringLiteral("CM")};
    updateEnabled();
}

void UI_UserCalV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    trackSequenceTail(reg);
    if (!m_readList.contains(reg.cmd))
        return;
    if (reg.cmd == QLatin1String("ReadFlow")) {
        m_flowEdit->setText(reg.output);
        return;
    }
    if (reg.cmd == QLatin1String("ReadActiveSetpoint")) {
        m_setpointEdit->setText(reg.output);
        return;
    }
    const double value = replyValue(reg);
    if (m_calXRow.contains(reg.cmd))
        setCalCell(m_calXRow.value(reg.cmd), 0, value);
    if (m_calYRow.contains(reg.cmd))
        setCalCell(m_calYRow.value(reg.cmd), 1, value);

    if (reg.cmd == QLatin1String("TargetGasFullScaleRange")) {
        m_tarGasRange = reg.value.u16;
        loadPointsOnce();
    } else if (reg.cmd == QLatin1String("MFCSerialNumber")) {
        m_pointsName = reg.output;
        loadPointsOnce();
    }

    if (m_op != OP_NONE && m_expected.contains(reg.cmd)) {
        ++m_tableReplies;
        if (std::abs(value - m_expected.value(reg.cmd)) < READBACK_TOLERANCE)
            m_expected.remove(reg.cmd);
    }
}

// The table is only in place once the device has programmed it and come
// back from its restart: success waits for the sequence's last reply.
void UI_UserCalV3::trackSequenceTail(const TervanCore::mfc_reg_t& reg)
{
    // Before the first reply to the table, a reply of this name belongs to an
    // earlier request.
    if (m_op == OP_NONE || m_tail.isEmpty() || reg.cmd != m_tail.first() || m_tableReplies == 0)
        return;
    if (!m_expected.isEmpty()) {
        // Every table write has been answered, yet some value never came back
        // as sent; nothing else will come to settle it.
        qDebug().noquote() << "Calibration table not confirmed:" << m_expected.keys().join(QLatin1Char(' '));
        finishOperation(false);
        return;
    }
    m_tail.removeFirst();
    if (m_tail.isEmpty())
        finishOperation(true);
}

void UI_UserCalV3::mfc_nack(QStringList cmds)
{
    if (m_op == OP_NONE || cmds.isEmpty())
        return;
    finishOperation(false);
}

void UI_UserCalV3::linkFailed(const QString& msg)
{
    if (m_op == OP_NONE)
        return;
    qDebug().noquote() << "User calibration stopped:" << msg;
    finishOperation(false);
}

void UI_UserCalV3::finishOperation(bool ok)
{
    const int op = m_op;
    m_op = OP_NONE;
    m_tail.clear();
    updateEnabled();
    QString text;
    if (op == OP_RECOVER)
        text = ok ? QStringLiteral("Recover finished.") : QStringLiteral("Recover fai...");
    else
        text = ok ? QStringLiteral("Calibration finished.") : QStringLiteral("Calibration fail...");
    showMessage(m_lang->translate(text));
}

void UI_UserCalV3::setControlMode(int cm)
{
    m_controlMode = cm;
    updateEnabled();
}

void UI_UserCalV3::updateEnabled()
{
    setEnabled(m_pointsLoaded && m_controlMode == CM_DIGITAL && m_op == OP_NONE);
}

void UI_UserCalV3::loadPointsOnce()
{
    if (m_pointsLoaded || !fullScaleKnown() || m_pointsName.isEmpty())
        return;
    loadPoints();
    m_pointsLoaded = true;
    updateEnabled();
}

// 65535 is the value before the device reported one; 0 would divide by zero.
bool UI_UserCalV3::fullScaleKnown() const
{
    return m_tarGasRange != 0 && m_tarGasRange != 65535;
}

void UI_UserCalV3::showMessage(const QString& text)
{
    showNotice(this, text);
}

void UI_UserCalV3::setCalCell(int row, int column, double fraction)
{
    m_calModel->item(row, column)->setText(QString::number(fraction * 100, 'g', 6));
}
