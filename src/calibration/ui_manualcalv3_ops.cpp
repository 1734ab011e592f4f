// The manual calibration page's operation framework, requests, reply
// dispatcher and the reads and writes of single cells.
#include "ui_manualcalv3.h"

#include "languagedictionary.h"
#include "notice.h"
#include "replyparser.h"

#include <QCloseEvent>
#include <QDebug>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>

#include <algorithm>

// ---- cells --------------------------------------------------------------

void UI_ManualCalV3::setCell(QStandardItemModel* model, int row, int column, const QString& text)
{
    if (QStandardItem* item = model->item(row, column))
        item->setText(text);
}

QString UI_ManualCalV3::cell(QStandardItemModel* model, int row, int column) const
{
    const QStandardItem* item = model->item(row, column);
    return item ? item->text() : QString();
}

void UI_ManualCalV3::showIn(QStandardItemModel* model, int row, const QString& text)
{
    setCell(model, row, COL_READONLY, text);
    setCell(model, row, COL_STATUS, QStringLiteral("YES"));
}

// A value the page computed is written by the operation's own list; its cell
// must not run the edit path a second time.
void UI_ManualCalV3::setWritableQuietly(QStandardItemModel* model, int row, const QString& text)
{
    m_quietEdit = true;
    setCell(model, row, COL_WRITABLE, text);
    m_quietEdit = false;
}

void UI_ManualCalV3::safe_sensor_updateWriteable(int row, QString text)
{
    setWritableQuietly(m_sensorModel, row, text);
    setCell(m_sensorModel, row, COL_STATUS, QStringLiteral("No"));
}

// ---- requests ------------------------------------------------------------

void UI_ManualCalV3::requestRead(const QString& name)
{
    emit commands_req({makeFrame(name)});
}

void UI_ManualCalV3::requestWriteAndProgram(const QString& name, const QString& value)
{
    emit commands_req(QList<mfc_frame_t>{makeFrame(name, MFC_WRITE, value)} + commitFrames(DIRECT_COMMIT_DELAY_MS));
}

// The link refuses a whole list for one bad value and drops everything queued
// with it; the page tests its values with the same codec first.
QString UI_ManualCalV3::writeProblem(const QString& name, const QString& value) const
{
    QByteArray frame;
    QString err;
    if (m_core->encodeWrite(name, value, frame, err))
        return QString();
    return m_lang->translate(QStringLiteral("Not written: %1 = \"%2\" is empty, not a number or out of the register's range."))
        .arg(name, value);
}

// A typed input of a calculation; an empty cell is not taken for 0.
bool UI_ManualCalV3::typedNumber(QStandardItemModel* model, int row, double& v)
{
    bool ok = false;
    v = cell(model, row, COL_WRITABLE).toDouble(&ok);
    if (!ok)
        showMessage(m_lang->translate(QStringLiteral("Nothing written: %1 is empty or not a number."))
                        .arg(cell(model, row, COL_NAME)));
    return ok;
}

bool UI_ManualCalV3::inputsGiven(QStandardItemModel* model)
{
    QStringList missing;
    for (int row = 0; row < 4; ++row)
        if (!m_given.value(model).contains(row))
            missing << cell(model, row, COL_NAME);
    if (!missing.isEmpty())
        showMessage(m_lang->translate(QStringLiteral("Nothing written: %1 not typed or read since the page was opened, "
                                                     "the last calculation or a new setting of its point."))
                        .arg(missing.join(QStringLiteral(", "))));
    return missing.isEmpty();
}

void UI_ManualCalV3::refuseEqual(QStandardItemModel* model, int row1, int row2, const QString& value)
{
    showMessage(m_lang->translate(QStringLiteral("Nothing written: %1 and %2 are equal (%3)."))
                    .arg(cell(model, row1, COL_NAME), cell(model, row2, COL_NAME), value));
}

// ---- operations ------------------------------------------------------------

void UI_ManualCalV3::beginOperation(int op)
{
    m_op = op;
    setEnabled(false);
    m_opTimer->start();
}

void UI_ManualCalV3::finishOperation()
{
    m_opTimer->stop();
    m_op = MCAL_IDLE;
    setEnabled(true);
    for (const Awaited& a : qAsConst(m_expected))
        m_stale << a.cmd;
    m_expected.clear();
    // Counters of an ended measurement must not hide or feed later replies.
    m_ratioCount = 0;
    m_adcvCount = 0;
    m_adccCount = 0;
}

void UI_ManualCalV3::expectReplies(const QList<mfc_frame_t>& frames, int neutral)
{
    const bool commits = std::any_of(frames.begin(), frames.end(),
                                     [](const mfc_frame_t& f) { return f.cmd == QLatin1String("EEPROMProgram"); });
    for (int i = 0; i < frames.size(); ++i) {
        const mfc_frame_t& f = frames.at(i);
        if (f.op == MFC_DELAY)
            continue;
        Awaited a{f.cmd, QString(), -1};
        if (f.op == MFC_WRITE && (i < neutral || commits)) {
            const bool commit = f.cmd == QLatin1String("EEPROMProgram");
            a.record = m_writes.size();
            // The device answers a write with the value it then holds: a reply
            // to another page's frame of the same register (CM 1 while this
            // step writes CM 4) confirms nothing of this step.
            if (!commit)
                a.value = f.input;
            m_writes << StepWrite{f.cmd, f.input, i >= neutral && !commit};
        }
        m_expected << a;
    }
}

void UI_ManualCalV3::startOperation(int op, const QList<mfc_frame_t>& frames, int neutral)
{
    m_writes.clear();
    beginOperation(op);
    expectReplies(frames, neutral);
    // A refused list ends the operation inside this emit (linkFailed).
    emit commands_req(frames);
}

// Writes still queued when the page stops waiting go out all the same; those
// the link dropped after a failure do not. The link sends one frame at a
// time, so at a failure only the first unconfirmed write can have reached the
// device: its reply was lost or garbled, or it never went out.
QString UI_ManualCalV3::leftOnDevice(bool queuedToo) const
{
    int held = 0;
    while (held < m_writes.size() && (queuedToo || m_writes.at(held).confirmed))
        ++held;
    // One entry per register with the last value it was given; a result is
    // named as not committed unless the device confirmed its commit.
    QStringList regs;
    QStringList texts;
    for (int i = 0; i < held; ++i) {
        const StepWrite& w = m_writes.at(i);
        if (w.reg == QLatin1String("EEPROMProgram"))
            continue;
        QString text = w.reg + QLatin1Char(' ') + w.value;
        if (w.result) {
            auto commit = std::find_if(m_writes.begin() + i, m_writes.end(), [](const StepWrite& c) {
                return c.reg == QLatin1String("EEPROMProgram");
            });
            if (commit == m_writes.end() || !commit->confirmed)
                text = m_lang->translate(QStringLiteral("%1 (commit not confirmed)")).arg(text);
        }
        const int at = regs.indexOf(w.reg);
        if (at < 0) {
            regs << w.reg;
            texts << text;
        } else {
            texts[at] = text;
        }
    }
    QString text;
    if (!texts.isEmpty())
        text = QLatin1Char('\n')
            + m_lang->translate(QStringLiteral("This step left the device with %1: restore its earlier values where needed."))
                  .arg(texts.join(QStringLiteral(", ")));
    // The first write not held may have reached the device; an unconfirmed
    // commit is already named with the values it was to keep.
    if (held < m_writes.size() && m_writes.at(held).reg != QLatin1String("EEPROMProgram"))
        text += QLatin1Char('\n')
            + m_lang->translate(QStringLiteral("The device may hold %1 (no reply confirmed the write): restore its "
                                               "earlier value where needed."))
                  .arg(m_writes.at(held).reg + QLatin1Char(' ') + m_writes.at(held).value);
    return text;
}

void UI_ManualCalV3::showMessage(const QString& text)
{
    showNotice(this, text);
}

void UI_ManualCalV3::timeout4op()
{
    if (m_op == MCAL_IDLE)
        return;
    // Ended before the box opens: a reply arriving meanwhile finds the page idle.
    const QString left = leftOnDevice(true);
    finishOperation();
    showMessage(m_lang->translate(QStringLiteral("Timeout")) + left);
}

void UI_ManualCalV3::linkFailed(const QString& msg)
{
    // The link has dropped its queues: none of those replies will come.
    m_stale.clear();
    if (m_op == MCAL_IDLE)
        return;
    const QString left = leftOnDevice(false);
    finishOperation();
    m_stale.clear();
    showMessage(m_lang->translate(QStringLiteral("Operation ended: %1")).arg(msg) + left);
}

void UI_ManualCalV3::onQueueEmpty()
{
}

void UI_ManualCalV3::closeEvent(QCloseEvent* e)
{
    // Closing the window is how the engineer aborts: a step ends here, so
    // what it has not sent yet (a measurement's result and its commit) is
    // never sent. Frames already handed to the link still go out.
    if (m_op != MCAL_IDLE) {
        qDebug().noquote() << "Step ended: the window was closed." << leftOnDevice(true);
        finishOperation();
    }
    QWidget::closeEvent(e);
}

// ---- replies ---------------------------------------------------------------

void UI_ManualCalV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    const QString& cmd = reg.cmd;
    if (!m_stale.isEmpty() && m_stale.first() == cmd) {
        m_stale.removeFirst();
        return;
    }
    bool ours = false;
    if (m_op != MCAL_IDLE && !m_expected.isEmpty()) {
        const Awaited& next = m_expected.first();
        ours = next.cmd == cmd && (next.value.isEmpty() || ReplyParser::valueMatches(reg, next.value));
    }
    if (ours) {
        const int record = m_expected.takeFirst().record;
        if (record >= 0)
            m_writes[record].confirmed = true;
    }

    if (cmd == QLatin1String("SensorGain")) {
        showIn(m_sensorModel, 3, reg.output);
        if (ours && m_op == MCAL_BACKUP_GAIN) {
            m_gainEdit->setText(reg.output);
            m_restoreButton->setEnabled(true);
            finishOperation();
        } else if (ours && m_op == MCAL_RESTORE_GAIN) {
            finishOperation();
        }
    } else if (cmd == QLatin1String("ReadSensorRatio")) {
        if (ours)
            accumulateSensorRatio(reg);
    } else if (cmd == QLatin1String("SensorOffset")) {
        // Only the neutral offset a zero measurement writes is not the device's calibration.
        if (m_op != MCAL_SENSOR_ZERO || m_ratioCount == 0)
            showIn(m_sensorModel, 1, reg.output);
    } else if (cmd == QLatin1String("EEPROMProgram")) {
        const bool closing = m_op == MCAL_SENSOR_ZERO || m_op == MCAL_SENSOR_FS || m_op == MCAL_CAL_PWMV
            || m_op == MCAL_CAL_PWMC || m_op == MCAL_CAL_SETPOINTV || m_op == MCAL_CAL_SETPOINTC;
        if (ours && closing) {
            // The calculated values are confirmed: the next calculation needs inputs of its own.
            m_given.remove(QMap<int, QStandardItemModel*>{{MCAL_CAL_PWMV, m_pwmvModel},
                                                          {MCAL_CAL_PWMC, m_pwmcModel},
                                                          {MCAL_CAL_SETPOINTV, m_setpointvModel},
                                                          {MCAL_CAL_SETPOINTC, m_setpointcModel}}
                               .value(m_op));
            finishOperation();
        }
    } else if (cmd == QLatin1String("VoltagePWMGain") || cmd == QLatin1String("VoltagePWMOffset")) {
        if (m_op != MCAL_SET_PWMV)
            showIn(m_pwmvModel, cmd.endsWith(QLatin1String("Gain")) ? 5 : 4, reg.output);
    } else if (cmd == QLatin1String("SetVoltagePWM")) {
        showIn(m_pwmvModel, m_pwmvRow, reg.output);
        if (ours && m_op == MCAL_SET_PWMV) {
            m_given[m_pwmvModel].insert(m_pwmvRow);
            finishOperation();
        }
    } else if (cmd == QLatin1String("CurrentPWMGain") || cmd == QLatin1String("CurrentPWMOffset")) {
        if (m_op != MCAL_SET_PWMC)
            showIn(m_pwmcModel, cmd.endsWith(QLatin1String("Gain")) ? 5 : 4, reg.output);
    } else if (cmd == QLatin1String("SetCurrentPWM")) {
        showIn(m_pwmcModel, m_pwmcRow, reg.output);
        if (ours && m_op == MCAL_SET_PWMC) {
            m_given[m_pwmcModel].insert(m_pwmcRow);
            finishOperation();
        }
    } else if (cmd == QLatin1String("VoltageSetpointGain") || cmd == QLatin1String("VoltageSetpointOffset")) {
        if (m_op != MCAL_ADC_V)
            showIn(m_setpointvModel, cmd.endsWith(QLatin1String("Gain")) ? 5 : 4, reg.output);
    } else if (cmd == QLatin1String("ReadVoltageADC")) {
        if (ours && m_op == MCAL_ADC_V)
            accumulateAdc(reg, setpointvChannel(), m_adcvCount, m_adcvSum, m_setpointV1Radio, m_setpointV2Radio);
    } else if (cmd == QLatin1String("ReadCurrentADC")) {
        if (ours && m_op == MCAL_ADC_C)
            accumulateAdc(reg, setpointcChannel(), m_adccCount, m_adccSum, m_setpointC1Radio, m_setpointC2Radio);
    } else if (cmd == QLatin1String("CurrentSetpointGain") || cmd == QLatin1String("CurrentSetpointOffset")) {
        if (m_op != MCAL_ADC_C)
            showIn(m_setpointcModel, cmd.endsWith(QLatin1String("Gain")) ? 5 : 4, reg.output);
    }
}

// ---- double-click reads and direct writes ------------------------------------

void UI_ManualCalV3::readRowRegister(QStandardItemModel* model, const QModelIndex& index, int offsetRow,
                                     const QString& offsetReg, int gainRow, const QString& gainReg)
{
    // In the "Writable" column a double-click only opens the editor.
    if (!index.isValid() || index.column() == COL_WRITABLE)
        return;
    const int row = index.row();
    if (row != offsetRow && row != gainRow)
        return;
    setCell(model, row, COL_STATUS, QStringLiteral("No"));
    requestRead(row == offsetRow ? offsetReg : gainReg);
}

void UI_ManualCalV3::writeRowRegister(QStandardItemModel* model, int row, const QString& reg)
{
    const QString text = cell(model, row, COL_WRITABLE);
    const QString problem = writeProblem(reg, text);
    if (!problem.isEmpty()) {
        showMessage(problem);
        return;
    }
    setCell(model, row, COL_STATUS, QStringLiteral("No"));
    requestWriteAndProgram(reg, text);
}

void UI_ManualCalV3::doubleClicked_Sensor(QModelIndex index)
{
    readRowRegister(m_sensorModel, index, 1, QStringLiteral("SensorOffset"), 3, QStringLiteral("SensorGain"));
}

void UI_ManualCalV3::doubleClicked_PWMV(QModelIndex index)
{
    const Channel c = pwmvChannel();
    readRowRegister(c.model, index, 4, c.offsetReg, 5, c.gainReg);
}

void UI_ManualCalV3::doubleClicked_PWMC(QModelIndex index)
{
    const Channel c = pwmcChannel();
    readRowRegister(c.model, index, 4, c.offsetReg, 5, c.gainReg);
}

void UI_ManualCalV3::doubleClicked_setpointv(QModelIndex index)
{
    const Channel c = setpointvChannel();
    readRowRegister(c.model, index, 4, c.offsetReg, 5, c.gainReg);
}

void UI_ManualCalV3::doubleClicked_setpointc(QModelIndex index)
{
    const Channel c = setpointcChannel();
    readRowRegister(c.model, index, 4, c.offsetReg, 5, c.gainReg);
}
