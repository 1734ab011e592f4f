#include "tervanhalv3.h"

#include <QTimer>
#include <QTimerEvent>

namespace {

// Ticks of every transport since the program started; survives a restart of
// the main window, so the every-50th-tick setpoint read keeps its rhythm.
qint64 s_tick = 0;

} // namespace

qint64 TervanHALV3::tickCount()
{
    return s_tick;
}

void TervanHALV3::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != m_tickId) {
        QObject::timerEvent(e);
        return;
    }

    // reset(), readAll() and open() stop the timers of a frame in flight; with
    // no timer left nothing would ever end it, so the tick frees the link.
    if (m_busy && !m_recvTimer->isActive() && !m_delayTimer->isActive())
        m_busy = false;

    if (!m_directQueue.isEmpty() || !m_backgroundQueue.isEmpty() || m_busy) {
        sendNext();
    } else if (m_polling) {
        QList<mfc_frame_t> polls;
        if (m_pollActiveSetpoint || s_tick % 50 == 0)
            polls.append(makeFrame(QStringLiteral("ReadActiveSetpoint"), MFC_READ, QString(), false, true));
        polls.append(makeFrame(QStringLiteral("ReadFlow"), MFC_READ, QString(), false, true));
        QString err;
        request(polls, err);
    }
    ++s_tick;
}

bool TervanHALV3::writeCalTable(const double* x, const double* y, QString& err)
{
    if (!x || !y)
        return false;
    QList<mfc_frame_t> frames;
    for (int i = 1; i <= CAL_REGS_NUMBER; ++i) {
        frames.append(makeFrame(QStringLiteral("CalTabValueX%1").arg(i), MFC_WRITE, QString::number(x[i - 1], 'g', 6), true));
        frames.append(makeFrame(QStringLiteral("CalTabValueY%1").arg(i), MFC_WRITE, QString::number(y[i - 1], 'g', 6), true));
    }
    frames.append(makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("1000"), true));
    frames.append(makeFrame(QStringLiteral("EEPROMProgram"), MFC_WRITE, QStringLiteral("1"), true));
    frames.append(makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("1000"), true));
    frames.append(makeFrame(QStringLiteral("Reset"), MFC_WRITE, QStringLiteral("1"), true));
    frames.append(makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("2000"), true));
    frames.append(makeFrame(QStringLiteral("CM"), MFC_WRITE, QStringLiteral("1"), true));
    if (!request(frames, err)) {
        emit error(err);
        return false;
    }
    return true;
}

bool TervanHALV3::recoverCalTable(QString& err)
{
    double x[CAL_REGS_NUMBER];
    double y[CAL_REGS_NUMBER];
    for (int i = 1; i <= CAL_REGS_NUMBER; ++i) {
        x[i - 1] = i * 0.0375;
        y[i - 1] = i * 0.0375;
    }
    return writeCalTable(x, y, err);
}

bool TervanHALV3::readCalTable(QString& err)
{
    QList<mfc_frame_t> frames;
    for (int i = 1; i <= CAL_REGS_NUMBER; ++i) {
        frames.append(makeFrame(QStringLiteral("CalTabValueX%1").arg(i), MFC_READ, QString(), false));
        frames.append(makeFrame(QStringLiteral("CalTabValueY%1").arg(i), MFC_READ, QString(), false));
    }
    return request(frames, err);
}

bool TervanHALV3::readAll(QString& err)
{
    // The frame in flight, if any, is abandoned: with its timer stopped the
    // next tick frees the link and the first read goes out.
    m_recvTimer->stop();
    m_delayTimer->stop();
    dropQueues();
    const QStringList skip = m_core->noReadAllList();
    QList<mfc_frame_t> frames;
    for (const QString& name : m_core->cmdList()) {
        if (name == QLatin1String("Undefined") || skip.contains(name))
            continue;
        frames.append(makeFrame(name, MFC_READ, QString(), false));
    }
    return request(frames, err);
}

QList<mfc_frame_t> TervanHALV3::programResetSequence()
{
    return {
        makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("1000"), false),
        makeFrame(QStringLiteral("EEPROMProgram"), MFC_WRITE, QStringLiteral("1"), false),
        makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("2500"), false),
        makeFrame(QStringLiteral("Reset"), MFC_WRITE, QStringLiteral("1"), false),
        makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("3000"), false),
        makeFrame(QStringLiteral("CM"), MFC_WRITE, QStringLiteral("1"), false),
    };
}
