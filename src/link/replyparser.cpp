#include "replyparser.h"

#include "tervanhalv3.h"

#include <QtGlobal>

#include <cmath>
#include <cstring>

namespace {

// One byte through the state machine; true when it completes a frame.
bool step(quint8 b, int& state, quint8& remain, QByteArray& buf)
{
    buf.append(char(b));
    bool accepted = true;
    switch (state) {
    case TervanHALV3::RX_ACK:
        accepted = (b == 0x06);
        if (accepted)
            state = TervanHALV3::RX_HOST;
        break;
    case TervanHALV3::RX_HOST:
        accepted = (b == 0x00);
        if (accepted)
            state = TervanHALV3::RX_STX;
        break;
    case TervanHALV3::RX_STX:
        accepted = (b == 0x02);
        if (accepted)
            state = TervanHALV3::RX_OP;
        break;
    case TervanHALV3::RX_OP:
        accepted = (b == 0x80 || b == 0x81);
        if (accepted)
            state = TervanHALV3::RX_LEN;
        break;
    case TervanHALV3::RX_LEN:
        remain = b;
        state = TervanHALV3::RX_DATA;
        break;
    case TervanHALV3::RX_DATA:
        // 8-bit counter: LEN 0 wraps and stands for 256 body bytes.
        --remain;
        if (remain == 0)
            state = TervanHALV3::RX_PAD;
        break;
    case TervanHALV3::RX_PAD:
        state = TervanHALV3::RX_CHK;
        break;
    case TervanHALV3::RX_CHK:
        state = TervanHALV3::RX_ACK;
        return true;
    default:
        // Not a state of the machine: start over as on a mismatch.
        accepted = false;
        break;
    }
    if (!accepted) {
        // Resynchronise: a noise byte just before a reply must not cost the
        // reply, so every byte held after the first (the rejected one
        // included) may still start the frame. Only header bytes are held
        // here, at most four, so this ends at once and completes nothing.
        const QByteArray held = buf.mid(1);
        buf.clear();
        state = TervanHALV3::RX_ACK;
        for (const char c : held)
            step(quint8(c), state, remain, buf);
    }
    return false;
}

} // namespace

ReplyParser::Result ReplyParser::feed(const QByteArray& chunk, int& state, quint8& remain, QByteArray& buf, int* used)
{
    for (int i = 0; i < chunk.size(); ++i) {
        if (step(quint8(chunk.at(i)), state, remain, buf)) {
            if (used)
                *used = i + 1;
            return FrameComplete;
        }
    }
    if (used)
        *used = int(chunk.size());
    return NeedMore;
}

namespace {

// Eight decimals, or as many more as a small single needs for its text to read
// back as the same single (below 0.125 eight decimals cannot tell neighbours apart).
QString floatText(float f)
{
    QString text = QString::number(double(f), 'f', 8);
    for (int decimals = 9; std::isfinite(f) && text.toFloat() != f && decimals <= 60; ++decimals)
        text = QString::number(double(f), 'f', decimals);
    return text;
}

} // namespace

QString ReplyParser::outputText(const TervanCore::mfc_reg_t& reg)
{
    switch (reg.type) {
    case KIND_UINT8:
        return QString::number(reg.value.u8);
    case KIND_UINT16:
        return QString::number(reg.value.u16);
    case KIND_UINT32:
        return QString::number(reg.value.u32);
    case KIND_INT32:
        return QString::number(reg.value.i32);
    case KIND_FLOAT:
        return floatText(reg.value.f32);
    case KIND_DOUBLE:
        return QString::number(reg.value.f64, 'f', 8);
    case KIND_TEXT: {
        // Bounded by the value area even if a decoder ever left no NUL in it.
        const void* nul = std::memchr(reg.value.text, 0, sizeof(reg.value.text));
        const int len = nul ? int(static_cast<const char*>(nul) - reg.value.text) : int(sizeof(reg.value.text));
        return QString::fromUtf8(reg.value.text, len);
    }
    default:
        return QString();
    }
}

bool ReplyParser::valueMatches(const TervanCore::mfc_reg_t& reg, const QString& written)
{
    switch (reg.type) {
    case KIND_UINT8:
    case KIND_UINT16:
    case KIND_UINT32:
    case KIND_INT32:
    case KIND_TEXT:
        return reg.output == written;
    case KIND_FLOAT: {
        bool ok = false;
        float w = written.toFloat(&ok);
        if (!ok)
            w = 0.0f;
        return std::fabs(reg.value.f32 - w) < 0.01f;
    }
    case KIND_DOUBLE: {
        bool ok = false;
        double w = written.toDouble(&ok);
        if (!ok)
            w = 0.0;
        return std::fabs(reg.value.f64 - w) < 0.01;
    }
    default:
        return false;
    }
}
