// PWM(V), PWM(C), Setpoint(V) and Setpoint(C) tabs of the manual calibration
// page: raw PWM settings, ADC readings and the two-point calculations of
// offset and gain.
#include "ui_manualcalv3.h"

#include <QRadioButton>
#include <QStandardItemModel>

#include <cmath>

namespace {
constexpr double FULL_SCALE_COUNTS = 65536.0;
constexpr double VOLTAGE_SPAN = 5.0;       // V
constexpr double CURRENT_ZERO = 4.0;       // mA
constexpr double CURRENT_SCALE = 0.0625;   // 1/16: the 16 mA span
constexpr double OFFSET_SCALE = 1.52587890625e-05; // 2^-16: the offset register's unit
constexpr double SETPOINT_GAIN_SCALE = 16.0;
constexpr double GUARD = 0.01;             // smallest set value or converted input accepted

// An output or input in device counts.
double toCounts(double x, bool current)
{
    return current ? (x - CURRENT_ZERO) * FULL_SCALE_COUNTS * CURRENT_SCALE : x * FULL_SCALE_COUNTS / VOLTAGE_SPAN;
}
} // namespace

// ---- PWM ----------------------------------------------------------------

void UI_ManualCalV3::pwmv_itemChanged(QStandardItem* item)
{
    pwmItemChanged(item, pwmvChannel(), MCAL_SET_PWMV, m_pwmvRow);
}

void UI_ManualCalV3::pwmc_itemChanged(QStandardItem* item)
{
    pwmItemChanged(item, pwmcChannel(), MCAL_SET_PWMC, m_pwmcRow);
}

void UI_ManualCalV3::onClicked_pwmvCal(bool v)
{
    Q_UNUSED(v);
    calculatePwm(pwmvChannel(), MCAL_CAL_PWMV);
}

void UI_ManualCalV3::onClicked_pwmcCal(bool v)
{
    Q_UNUSED(v);
    calculatePwm(pwmcChannel(), MCAL_CAL_PWMC);
}

void UI_ManualCalV3::pwmItemChanged(QStandardItem* item, const Channel& c, int setOp, int& rememberedRow)
{
    const int row = item->row();
    // Rows 1 and 3 hold measured outputs, only read by the calculation.
    if (m_quietEdit || item->column() != COL_WRITABLE)
        return;
    if (row == 1 || row == 3) {
        m_given[c.model].insert(row);
        return;
    }
    if (row == 4 || row == 5) {
        writeRowRegister(c.model, row, row == 4 ? c.offsetReg : c.gainReg);
        return;
    }
    // Rows 0 and 2: make the device output this raw value with neutral calibration.
    const QString text = item->text();
    const QString problem = writeProblem(c.ioReg, text);
    if (!problem.isEmpty()) {
        showMessage(problem);
        return;
    }
    setCell(c.model, row, COL_STATUS, QStringLiteral("No"));
    rememberedRow = row;
    // The output measured at the old raw value no longer belongs to this point.
    m_given[c.model].remove(row);
    m_given[c.model].remove(row + 1);
    startOperation(setOp,
                   {makeFrame(QStringLiteral("CM"), MFC_WRITE, QString::number(CM_DIRECT)),
                    makeFrame(c.gainReg, MFC_WRITE, QStringLiteral("1")),
                    makeFrame(c.offsetReg, MFC_WRITE, QStringLiteral("0")), makeFrame(c.ioReg, MFC_WRITE, text)},
                   3);
}

// Raw value s = gain * (output in counts + off), through (a, s1) and (b, s2).
void UI_ManualCalV3::calculatePwm(const Channel& c, int op)
{
    double m1 = 0.0;
    double m2 = 0.0;
    if (!inputsGiven(c.model) || !typedNumber(c.model, 1, m1) || !typedNumber(c.model, 3, m2))
        return;
    const double s1 = cell(c.model, 0, COL_READONLY).toDouble();
    const double s2 = cell(c.model, 2, COL_READONLY).toDouble();
    if (std::fabs(s1) < GUARD || std::fabs(s2) < GUARD)
        return;
    if (s1 == s2) {
        refuseEqual(c.model, 0, 2, cell(c.model, 0, COL_READONLY));
        return;
    }
    const double a = toCounts(m1, c.current);
    const double b = toCounts(m2, c.current);
    if (a == b) {
        refuseEqual(c.model, 1, 3, cell(c.model, 1, COL_WRITABLE));
        return;
    }
    const double ratio = s1 / s2;
    const double off = (a - b * ratio) / (ratio - 1.0);
    writeCalibration(c, op, off * OFFSET_SCALE, s1 / (a + off), true);
}

// Rows 4 and 5 are written by this one list; filling their cells does not
// write them a second time.
void UI_ManualCalV3::writeCalibration(const Channel& c, int op, double offset, double gain, bool intoTable)
{
    const QString offsetText = QString::number(offset, 'g', 6);
    const QString gainText = QString::number(gain, 'g', 6);
    QString problem = writeProblem(c.offsetReg, offsetText);
    if (problem.isEmpty())
        problem = writeProblem(c.gainReg, gainText);
    if (!problem.isEmpty()) {
        showMessage(problem);
        return;
    }
    if (intoTable) {
        setWritableQuietly(c.model, 4, offsetText);
        setWritableQuietly(c.model, 5, gainText);
        setCell(c.model, 4, COL_STATUS, QStringLiteral("No"));
        setCell(c.model, 5, COL_STATUS, QStringLiteral("No"));
    }
    startOperation(op, QList<mfc_frame_t>{makeFrame(c.offsetReg, MFC_WRITE, offsetText),
                                          makeFrame(c.gainReg, MFC_WRITE, gainText)}
                           + commitFrames(CAL_COMMIT_DELAY_MS));
}

// ---- setpoint inputs ------------------------------------------------------

void UI_ManualCalV3::onClicked_setpointvADC(bool v)
{
    Q_UNUSED(v);
    readAdc(setpointvChannel(), MCAL_ADC_V, m_adcvCount, m_adcvSum, m_setpointV1Radio, m_setpointV2Radio);
}

void UI_ManualCalV3::onClicked_setpointcADC(bool v)
{
    Q_UNUSED(v);
    readAdc(setpointcChannel(), MCAL_ADC_C, m_adccCount, m_adccSum, m_setpointC1Radio, m_setpointC2Radio);
}

void UI_ManualCalV3::onClicked_setpointvCalc(bool v)
{
    Q_UNUSED(v);
    calculateSetpoint(setpointvChannel(), MCAL_CAL_SETPOINTV);
}

void UI_ManualCalV3::onClicked_setpointcCalc(bool v)
{
    Q_UNUSED(v);
    calculateSetpoint(setpointcChannel(), MCAL_CAL_SETPOINTC);
}

void UI_ManualCalV3::setpointv_itemChanged(QStandardItem* item)
{
    setpointItemChanged(item, setpointvChannel());
}

void UI_ManualCalV3::setpointc_itemChanged(QStandardItem* item)
{
    setpointItemChanged(item, setpointcChannel());
}

void UI_ManualCalV3::setpointItemChanged(QStandardItem* item, const Channel& c)
{
    // Rows 0 to 3 are only read by the calculation.
    if (m_quietEdit || item->column() != COL_WRITABLE)
        return;
    if (item->row() == 0 || item->row() == 2) {
        // A new input needs its own ADC reading.
        m_given[c.model].insert(item->row());
        m_given[c.model].remove(item->row() + 1);
    }
    if (item->row() != 4 && item->row() != 5)
        return;
    writeRowRegister(c.model, item->row(), item->row() == 4 ? c.offsetReg : c.gainReg);
}

void UI_ManualCalV3::readAdc(const Channel& c, int op, int& count, qint64& sum, QRadioButton* first,
                             QRadioButton* second)
{
    QList<mfc_frame_t> frames = {makeFrame(QStringLiteral("CM"), MFC_WRITE, QString::number(CM_DIRECT)),
                                 makeFrame(c.gainReg, MFC_WRITE, QStringLiteral("1")),
                                 makeFrame(c.offsetReg, MFC_WRITE, QStringLiteral("0"))};
    for (int i = 0; i < READINGS; ++i)
        frames << makeFrame(c.ioReg);
    const int row = first->isChecked() ? 1 : (second->isChecked() ? 3 : -1);
    if (row < 0)
        return;
    setCell(c.model, row, COL_STATUS, QStringLiteral("No"));
    m_given[c.model].remove(row);
    count = READINGS;
    sum = 0;
    startOperation(op, frames, 3);
}

void UI_ManualCalV3::accumulateAdc(const TervanCore::mfc_reg_t& reg, const Channel& c, int& count, qint64& sum,
                                   QRadioButton* first, QRadioButton* second)
{
    sum += qint64(reg.value.i32);
    count -= 1;
    if (count != 0)
        return;
    // Integer division truncates toward zero: -12345 gives -1234.
    const qint64 avg = sum / READINGS;
    const int row = first->isChecked() ? 1 : (second->isChecked() ? 3 : -1);
    if (row >= 0) {
        showIn(c.model, row, QString::number(avg, 10));
        m_given[c.model].insert(row);
    }
    finishOperation();
}

// Input in counts = gain / 16 * (AD + off), through (AD1, a) and (AD2, b).
void UI_ManualCalV3::calculateSetpoint(const Channel& c, int op)
{
    if (!inputsGiven(c.model))
        return;
    if (!c.current) {
        setCell(c.model, 4, COL_STATUS, QStringLiteral("No"));
        setCell(c.model, 5, COL_STATUS, QStringLiteral("No"));
    }
    double in1 = 0.0;
    double in2 = 0.0;
    if (!typedNumber(c.model, 0, in1) || !typedNumber(c.model, 2, in2))
        return;
    const double a = toCounts(in1, c.current);
    if (std::fabs(a) < GUARD)
        return;
    const double b = toCounts(in2, c.current);
    if (std::fabs(b) < GUARD)
        return;
    const double ad1 = cell(c.model, 1, COL_READONLY).toDouble();
    const double ad2 = cell(c.model, 3, COL_READONLY).toDouble();
    if (a == b) {
        refuseEqual(c.model, 0, 2, cell(c.model, 0, COL_WRITABLE));
        return;
    }
    if (ad1 == ad2) {
        refuseEqual(c.model, 1, 3, cell(c.model, 1, COL_READONLY));
        return;
    }
    const double ratio = a / b;
    const double off = (ad1 - ad2 * ratio) / (ratio - 1.0);
    writeCalibration(c, op, off * OFFSET_SCALE, a / (ad1 + off) * SETPOINT_GAIN_SCALE, c.current);
}
