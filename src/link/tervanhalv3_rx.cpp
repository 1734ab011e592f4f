#include "tervanhalv3.h"

#include "logger.h"
#include "replyparser.h"

#include <QTimer>

void TervanHALV3::readyRead()
{
    const QByteArray chunk = m_serial->readAll();
    m_recvTimer->stop();

    if (ReplyParser::feed(chunk, m_rxState, m_rxRemain, m_rxBuf) == ReplyParser::NeedMore) {
        // Part of a reply (or noise): give the rest a full reply time.
        m_recvTimer->start();
        return;
    }

    // One complete frame; whatever followed it in this chunk is dropped.
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
    // arrives during a delay does not end the hold: the delay timer does. Nor
    // does it end a frame a receiver sent from inside the ack (possible once a
    // refused request had freed the link): that frame awaits its own reply.
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
