#include "tervanhalv3.h"

#include "logger.h"
#include "replyparser.h"

#include <QTimer>

void TervanHALV3::readyRead()
{
    // Bytes that come while a receiver still runs (in a nested event loop)
    // stay in the port and are read here once it returns, in order; the port
    // does not signal them again.
    if (m_delivering)
        return;
    m_delivering = true;
    while (m_serial->bytesAvailable() > 0)
        handleChunk(m_serial->readAll());
    m_delivering = false;
}

void TervanHALV3::restartReplyTimer()
{
    int ms = RECV_TIMEOUT_MS;
    if (m_busy && m_current.op != MFC_DELAY && m_sentClock.isValid()) {
        const qint64 left = qint64(RECV_TIMEOUT_MS) * MAX_WAIT_FACTOR - m_sentClock.elapsed();
        ms = int(qBound<qint64>(0, left, RECV_TIMEOUT_MS));
    }
    m_recvTimer->start(ms);
}

void TervanHALV3::handleChunk(const QByteArray& chunk)
{
    // Every frame of the chunk is handled, in order, as if each had come in a
    // read of its own: how the system splits the bytes into reads must not
    // change what the receivers see. A receiver that discards the input or
    // closes the port throws the rest of the chunk away with it.
    const quint32 epoch = m_rxEpoch;
    int pos = 0;
    while (pos < chunk.size() && epoch == m_rxEpoch && m_serial->isOpen()) {
        int used = 0;
        if (ReplyParser::feed(chunk.mid(pos), m_rxState, m_rxRemain, m_rxBuf, &used) == ReplyParser::NeedMore) {
            // A reply under way gets another reply time (within the send's bound);
            // bytes that never start one leave the timer running as it was.
            if (m_rxState != RX_ACK)
                restartReplyTimer();
            return;
        }
        pos += used;
        handleFrame();
    }
}

void TervanHALV3::handleFrame()
{
    m_recvTimer->stop();
    const QByteArray frame = m_rxBuf;
    TervanCore::mfc_reg_t reg;
    const bool decoded = decodeInput(reg);
    m_rxState = RX_ACK;

    if (!decoded) {
        const QString msg = QStringLiteral("Can't decode frame: %1.").arg(QString::fromLatin1(frame.toHex()))
            + QStringLiteral("\r\n\t")
            + QStringLiteral("cmd = %1, op: %2, input: %3").arg(m_current.cmd, QString::number(m_current.op), m_current.input);
        m_rxBuf.clear();
        m_comLog->log(QStringLiteral("Error: %1").arg(msg));
        reset();
        m_busy = false;
        emit error(msg);
        return;
    }

    // A delay of a read-back sequence wrote nothing: a late reply arriving
    // during it has no value to be compared with.
    if (m_current.check && m_current.op != MFC_DELAY && !checkValue(reg)) {
        const QString msg = QStringLiteral("cmd:%1 check fail, write value: %2, read back value: %3.")
                                .arg(reg.cmd, m_current.input, reg.output);
        m_log->log(QStringLiteral("Error: %1").arg(msg));
        reset();
        m_busy = false;
        emit error(msg);
        return;
    }

    m_comLog->log(QStringLiteral("ack: cmd - %1, output - %2, data: %3")
                      .arg(reg.cmd, reg.output, QString::fromLatin1(frame.toHex())));
    m_rxBuf.clear();
    if (reg.cmd == QLatin1String("MACAddress"))
        m_core->setAddress(reg.value.u8);
    trackAck(reg);
    emit ack(reg);
    // The next frame leaves on the next tick, not from here. A late reply that
    // arrives during a delay does not end the hold: the delay timer does.
    if (!m_delayTimer->isActive() && !m_recvTimer->isActive())
        m_busy = false;
}

bool TervanHALV3::decodeInput(TervanCore::mfc_reg_t& reg)
{
    const QByteArray frame = m_rxBuf;
    QString name;
    TervanCore::mfc_value_t value{};
    int kind = 0;
    if (!m_core->decode(frame, name, value, kind)) {
        const QString msg = QStringLiteral("Can't decode input: %1").arg(QString::fromLatin1(frame.toHex()));
        reset();
        m_busy = false;
        emit error(msg);
        return false;
    }
    reg.cmd = name;
    reg.type = kind;
    reg.value = value;
    reg.output = ReplyParser::outputText(reg);
    return true;
}

bool TervanHALV3::checkValue(const TervanCore::mfc_reg_t& reg) const
{
    return ReplyParser::valueMatches(reg, m_current.input);
}

void TervanHALV3::trackAck(const TervanCore::mfc_reg_t& reg)
{
    if (reg.cmd == QLatin1String("CM"))
        m_lastCM = reg.value.u8;
    else if (reg.cmd == QLatin1String("ReadActiveSetpoint"))
        m_pollActiveSetpoint = false;
}
