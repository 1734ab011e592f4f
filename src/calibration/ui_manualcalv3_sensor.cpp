// Sensor tab of the manual calibration page: zero and full-scale ratio
// measurements, direct writes of offset and gain, backup and restore of the gain.
#include "ui_manualcalv3.h"

#include "languagedictionary.h"

#include <QDebug>
#include <QLineEdit>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTimer>

namespace {
constexpr double SENSOR_FULL_SCALE = 65536.0;
} // namespace

void UI_ManualCalV3::onClicked_backupSensorGain(bool v)
{
    Q_UNUSED(v);
    setCell(m_sensorModel, 3, COL_STATUS, QStringLiteral("No"));
    startOperation(MCAL_BACKUP_GAIN, {makeFrame(QStringLiteral("SensorGain"))});
}

void UI_ManualCalV3::onClicked_restoreSensorGain(bool v)
{
    Q_UNUSED(v);
    const QString gain = m_gainEdit->text();
    const QString problem = writeProblem(QStringLiteral("SensorGain"), gain);
    if (!problem.isEmpty()) {
        showMessage(problem);
        return;
    }
    setCell(m_sensorModel, 3, COL_STATUS, QStringLiteral("No"));
    // Ended by the SensorGain reply; the commit runs on after the page is usable.
    startOperation(MCAL_RESTORE_GAIN, QList<mfc_frame_t>{makeFrame(QStringLiteral("SensorGain"), MFC_WRITE, gain)}
                                          + commitFrames(DIRECT_COMMIT_DELAY_MS));
}

void UI_ManualCalV3::onClicked_sensorCal(bool v)
{
    Q_UNUSED(v);
    const bool zero = m_ratioZeroRadio->isChecked();
    const int first = zero ? 0 : 2;
    setCell(m_sensorModel, first, COL_STATUS, QStringLiteral("No"));
    setCell(m_sensorModel, first + 1, COL_STATUS, QStringLiteral("No"));

    QList<mfc_frame_t> frames = {makeFrame(QStringLiteral("CM"), MFC_WRITE, QString::number(CM_DIRECT)),
                                 makeFrame(QStringLiteral("SensorGain"), MFC_WRITE, QStringLiteral("1"))};
    if (zero)
        frames << makeFrame(QStringLiteral("SensorOffset"), MFC_WRITE, QStringLiteral("0"));
    for (int i = 0; i < READINGS; ++i)
        frames << makeFrame(QStringLiteral("ReadSensorRatio"));

    m_ratioCount = READINGS;
    m_ratioSum = 0.0;
    startOperation(zero ? MCAL_SENSOR_ZERO : MCAL_SENSOR_FS, frames, zero ? 3 : 2);
}

void UI_ManualCalV3::accumulateSensorRatio(TervanCore::mfc_reg_t reg)
{
    if (m_op != MCAL_SENSOR_ZERO && m_op != MCAL_SENSOR_FS)
        return;
    m_opTimer->start();
    m_ratioSum += double(reg.value.f32);
    m_ratioCount -= 1;
    qDebug().noquote() << "least time: " << m_ratioCount;
    if (m_ratioCount != 0)
        return;

    const double avg = m_ratioSum / double(READINGS);
    const bool zero = m_op == MCAL_SENSOR_ZERO;
    const int ratioRow = zero ? 0 : 2;
    const QString regName = zero ? QStringLiteral("SensorOffset") : QStringLiteral("SensorGain");
    showIn(m_sensorModel, ratioRow, QString::number(avg, 'g', 6));

    if (!zero && avg == 0.0) {
        finishOperation();
        showMessage(m_lang->translate(QStringLiteral("Nothing written: the average of %1 is 0."))
                        .arg(cell(m_sensorModel, ratioRow, COL_NAME))
                    + leftOnDevice(true));
        return;
    }
    // 0.0 - avg: an average of 0 gives the offset "0", not "-0".
    const QString text = QString::number(zero ? 0.0 - avg : SENSOR_FULL_SCALE / avg, 'g', 6);
    const QString problem = writeProblem(regName, text);
    if (!problem.isEmpty()) {
        finishOperation();
        showMessage(problem + leftOnDevice(true));
        return;
    }
    safe_sensor_updateWriteable(ratioRow + 1, text);
    const QList<mfc_frame_t> frames =
        QList<mfc_frame_t>{makeFrame(regName, MFC_WRITE, text)} + commitFrames(CAL_COMMIT_DELAY_MS);
    expectReplies(frames);
    emit commands_req(frames);
}

void UI_ManualCalV3::sensor_itemChanged(QStandardItem* item)
{
    if (m_quietEdit || item->column() != COL_WRITABLE)
        return;
    if (item->row() == 1)
        writeRowRegister(m_sensorModel, 1, QStringLiteral("SensorOffset"));
    else if (item->row() == 3)
        writeRowRegister(m_sensorModel, 3, QStringLiteral("SensorGain"));
}
