#include "tervanhalv3.h"

#include <QTimer>
#include <QTimerEvent>

namespace {

// Ticks of every transport since the program started; survives a restart of
// the main window, so the every-50th-tick setpoint read keeps its rhythm.
qint64 s_tick = 0;

mfc_frame_t makeFrame(const QString& cmd, const QString& input, int op, bool check, bool background = false)
{
    mfc_frame_t f;
    f.cmd = cmd;
    f.input = input;
    f.op = op;
    f.check = check;
    f.background = background;
    return f;
}

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
    } else {
        QList<mfc_frame_t> polls;
        if (m_pollActiveSetpoint || s_tick % 50 == 0)
            polls.append(makeFrame(QStringLiteral("ReadActiveSetpoint"), QString(), MFC_READ, false, true));
        polls.append(makeFrame(QStringLiteral("ReadFlow"), QString(), MFC_READ, false, true));
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
        frames.append(makeFrame(QStringLiteral("CalTabValueX%1").arg(i), QString::number(x[i - 1], 'g', 6), MFC_WRITE, true));
        frames.append(makeFrame(QStringLiteral("CalTabValueY%1").arg(i), QString::number(y[i - 1], 'g', 6), MFC_WRITE, true));
    }
    frames.append(makeFrame(QStringLiteral("AppDelay"), QStringLiteral("1000"), MFC_DELAY, true));
    frames.append(makeFrame(QStringLiteral("EEPROMProgram"), QStringLiteral("1"), MFC_WRITE, true));
    frames.append(makeFrame(QStringLiteral("AppDelay"), QStringLiteral("1000"), MFC_DELAY, true));
    frames.append(makeFrame(QStringLiteral("Reset"), QStringLiteral("1"), MFC_WRITE, true));
    frames.append(makeFrame(QStringLiteral("AppDelay"), QStringLiteral("2000"), MFC_DELAY, true));
    frames.append(makeFrame(QStringLiteral("CM"), QStringLiteral("1"), MFC_WRITE, true));
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
        frames.append(makeFrame(QStringLiteral("CalTabValueX%1").arg(i), QString(), MFC_READ, false));
        frames.append(makeFrame(QStringLiteral("CalTabValueY%1").arg(i), QString(), MFC_READ, false));
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
        frames.append(makeFrame(name, QString(), MFC_READ, false));
    }
    return request(frames, err);
}

QList<mfc_frame_t> TervanHALV3::programResetSequence()
{
    return {
        makeFrame(QStringLiteral("AppDelay"), QStringLiteral("1000"), MFC_DELAY, false),
        makeFrame(QStringLiteral("EEPROMProgram"), QStringLiteral("1"), MFC_WRITE, false),
        makeFrame(QStringLiteral("AppDelay"), QStringLiteral("2500"), MFC_DELAY, false),
        makeFrame(QStringLiteral("Reset"), QStringLiteral("1"), MFC_WRITE, false),
        makeFrame(QStringLiteral("AppDelay"), QStringLiteral("3000"), MFC_DELAY, false),
        makeFrame(QStringLiteral("CM"), QStringLiteral("1"), MFC_WRITE, false),
    };
}
