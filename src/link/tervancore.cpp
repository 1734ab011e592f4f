#include "tervancore.h"

#include <QDebug>

#include <cstring>

// Frame codec. Requests: address, 02, 80|81, LEN, code(3), value, pad, checksum
// over everything before it. Replies: 06 00 02 op LEN code(3) value pad checksum,
// the checksum taken over bytes 1 to N-2.

namespace {

constexpr char REQ_STX = 0x02;
constexpr char OP_READ = static_cast<char>(0x80);
constexpr char OP_WRITE = static_cast<char>(0x81);
constexpr int CODE_BYTES = 3;
constexpr int REPLY_OVERHEAD = 7; // N - LEN: ack, host, stx, op, LEN, pad, checksum

QString undefinedMessage(const QString& name)
{
    return QString::fromUtf8("未定义MFC命令: ") + name;
}

} // namespace

quint8 TervanCore::checksum(const QByteArray& bytes, int from, int to)
{
    quint8 sum = 0;
    for (int i = from; i <= to; ++i)
        sum = static_cast<quint8>(sum + static_cast<quint8>(bytes.at(i)));
    return sum;
}

bool TervanCore::encodeRead(const QString& name, QByteArray& frame, QString& err) const
{
    const mfc_cmd_t row = cmdByName(name);
    if (row.name == QLatin1String("Undefined")) {
        err = undefinedMessage(name);
        return false;
    }
    QByteArray out;
    out.append(static_cast<char>(m_address));
    out.append(REQ_STX);
    out.append(OP_READ);
    out.append(static_cast<char>(CODE_BYTES));
    out.append(packCode(row.code));
    out.append('\0');
    out.append(static_cast<char>(checksum(out, 0, out.size() - 1)));
    frame = out;
    return true;
}

bool TervanCore::encodeWrite(const QString& name, const QString& input, QByteArray& frame, QString& err)
{
    const mfc_cmd_t row = cmdByName(name);
    if (row.name == QLatin1String("Undefined")) {
        err = undefinedMessage(name);
        return false;
    }
    return encodeWriteFrame(row, input, frame, err);
}

bool TervanCore::encodeWriteFrame(const mfc_cmd_t& row, const QString& input, QByteArray& frame, QString& err)
{
    // Tested in this order; the fraction types share one encoder, the text types another.
    const QString& t = row.type;
    QByteArray value;
    bool ok = false;
    if (t == QLatin1String("UINT8"))
        ok = encodeUInt8(row, input, value);
    else if (t == QLatin1String("UINT16"))
        ok = encodeUInt16(row, input, value);
    else if (t == QLatin1String("UINT32"))
        ok = encodeUInt32(row, input, value);
    else if (t == QLatin1String("INT32"))
        ok = encodeInt32(row, input, value);
    else if (t == QLatin1String("FRAC16.16") || t == QLatin1String("UFRAC16"))
        ok = encodeUFrac16(row, input, value);
    else if (t == QLatin1String("FIXED16.16"))
        ok = encodeFixed16_16(row, input, value);
    else if (t == QLatin1String("UFIXED16.16"))
        ok = encodeUFixed16_16(row, input, value);
    else if (t == QLatin1String("TEXT8") || t == QLatin1String("TEXT16") || t == QLatin1String("TEXT32"))
        ok = encodeText(row, input, value);
    else if (t == QLatin1String("FLOAT32"))
        ok = encodeFloat32(row, input, value);
    else {
        err = QStringLiteral("Unknown data type: ") + t;
        qDebug().noquote() << err;
        return false;
    }
    if (!ok) {
        err = QStringLiteral("Can't encode command: %1 data type: %2, with input %3!").arg(row.name, t, input);
        qDebug().noquote() << err;
        return false;
    }

    QByteArray out;
    out.append(static_cast<char>(m_address));
    out.append(REQ_STX);
    out.append(OP_WRITE);
    out.append(static_cast<char>(value.size() + CODE_BYTES));
    out.append(packCode(row.code));
    out.append(value);
    out.append('\0');
    out.append(static_cast<char>(checksum(out, 0, out.size() - 1)));
    frame = out;
    return true;
}

bool TervanCore::decode(const QByteArray& frame, QString& name, mfc_value_t& value, int& kind) const
{
    const int n = frame.size();
    if (n < REPLY_OVERHEAD + CODE_BYTES)
        return false;
    const auto byte = [&frame](int i) { return static_cast<quint8>(frame.at(i)); };
    if (byte(0) != 0x06 || byte(1) != 0x00 || byte(2) != 0x02)
        return false;
    if (byte(3) != 0x80 && byte(3) != 0x81)
        return false;
    // LEN is compared as a signed byte, so at most 124 value bytes pass.
    if (static_cast<qint8>(frame.at(4)) != n - REPLY_OVERHEAD)
        return false;
    if (checksum(frame, 1, n - 2) != byte(n - 1))
        return false;
    const quint32 code = (quint32(byte(5)) << 16) | (quint32(byte(6)) << 8) | byte(7);
    const mfc_cmd_t row = cmdByCode(code);
    if (row.code == 0xFFFFFFFF)
        return false;
    const QByteArray valueBytes = frame.mid(8, n - 10);
    mfc_value_t decoded;
    std::memset(&decoded, 0, sizeof decoded);
    if (!decodeValue(row.type, valueBytes, decoded))
        return false;
    value = decoded;
    name = row.name;
    kind = m_kindMap.value(row.name, 0);
    return true;
}
