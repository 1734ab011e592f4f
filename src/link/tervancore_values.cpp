#include "tervancore.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

// Value codec: every multi-byte value travels least significant byte first.

namespace {

// Largest and smallest values whose 16.16 or fraction code still fits its bytes.
constexpr double FIXED_MIN = -32768.0;
constexpr double FIXED_LIMIT = 32768.0;   // the integer part must stay below this
constexpr double UFIXED_LIMIT = 65536.0;  // the value must stay below this
constexpr double UFRAC_MAX_PERCENT = 200.0;
constexpr quint32 UFRAC_ZERO_CODE = 16384; // code of 0 %

bool parseUInt(const QString& text, quint32& v)
{
    bool ok = false;
    v = text.toUInt(&ok, 10);
    return ok;
}

bool parseInt(const QString& text, qint32& v)
{
    bool ok = false;
    v = text.toInt(&ok, 10);
    return ok;
}

bool parseDouble(const QString& text, double& v)
{
    bool ok = false;
    v = text.toDouble(&ok);
    // nan and inf parse, but no register can hold them.
    return ok && std::isfinite(v);
}

bool parseFloat(const QString& text, float& v)
{
    bool ok = false;
    v = text.toFloat(&ok);
    return ok && std::isfinite(v);
}

// Limits of a row with its range flag set, parsed like the value.
template <typename T, typename Parse>
bool withinRange(const TervanCore::mfc_cmd_t& row, T v, Parse parse)
{
    if (!row.range)
        return true;
    T lo {}, hi {};
    if (!parse(row.min, lo) || !parse(row.max, hi))
        return false;
    return lo <= v && v <= hi;
}

// `count` bytes from `from`, least significant first. The unpackers are public,
// so a short array must not be read past: missing bytes count as zero.
quint32 littleEndian(const QByteArray& d, int from, int count)
{
    quint32 v = 0;
    for (int k = count - 1; k >= 0; --k) {
        const int i = from + k;
        v = (v << 8) | (i < d.size() ? static_cast<quint8>(d.at(i)) : 0u);
    }
    return v;
}

// Values come back as texts with eight decimals, up to 3.3e-4 of a 16.16 step
// off the bytes they were decoded from; truncating such a text just below a
// step would lower the value by one step on every read and write. A margin far
// below one step, yet above that error, lets the text find its step again.
constexpr double STEP_MARGIN = 1e-3;

// The value as a whole count of 1/65536 steps, truncated after the margin.
double fixedSteps(double v)
{
    return std::floor(v * 65536.0 + STEP_MARGIN);
}

// The low 32 bits of the step count, two's complement; the encoders refuse
// what does not fit, the bound only keeps the conversion defined.
quint32 fixedWord(double v)
{
    const double steps = qBound(-4294967296.0, fixedSteps(v), 4294967296.0);
    return static_cast<quint32>(static_cast<qint64>(steps));
}

// A 16.16 value as the device will hold it, for the range check: a text that
// encodes to the same bytes as a bound (0.89999390, read back from 0.9) is at
// that bound, not outside it.
bool parseFixedSteps(const QString& text, double& steps)
{
    double v = 0;
    if (!parseDouble(text, v))
        return false;
    steps = fixedSteps(v);
    return true;
}

quint32 ufracCode(double v)
{
    const double x = v * 32768.0 / 100.0;
    return static_cast<quint32>(std::floor(x + 0.5) + UFRAC_ZERO_CODE);
}

} // namespace

QByteArray TervanCore::packUInt16(quint16 v)
{
    QByteArray out(2, '\0');
    qToLittleEndian<quint16>(v, out.data());
    return out;
}

QByteArray TervanCore::packUInt32(quint32 v)
{
    QByteArray out(4, '\0');
    qToLittleEndian<quint32>(v, out.data());
    return out;
}

QByteArray TervanCore::packInt32(qint32 v)
{
    QByteArray out(4, '\0');
    qToLittleEndian<qint32>(v, out.data());
    return out;
}

QByteArray TervanCore::packFixed16_16(double v)
{
    // floor(v) and the fraction in steps, as one count: a fraction that the
    // margin takes to a whole step carries into the integer part.
    const quint32 steps = fixedWord(v);
    QByteArray out = packUInt16(static_cast<quint16>(steps & 0xFFFF));
    out.append(packUInt16(static_cast<quint16>(steps >> 16)));
    return out;
}

QByteArray TervanCore::packUFixed16_16(double v)
{
    return packFixed16_16(v);
}

QByteArray TervanCore::packUFrac16(double v)
{
    return packUInt16(static_cast<quint16>(ufracCode(v)));
}

QByteArray TervanCore::packCode(quint32 code)
{
    QByteArray out;
    out.append(static_cast<char>((code >> 16) & 0xFF));
    out.append(static_cast<char>((code >> 8) & 0xFF));
    out.append(static_cast<char>(code & 0xFF));
    return out;
}

quint32 TervanCore::unpackUInt32(const QByteArray& d)
{
    return littleEndian(d, 0, 4);
}

qint32 TervanCore::unpackInt32(const QByteArray& d)
{
    return static_cast<qint32>(littleEndian(d, 0, 4));
}

double TervanCore::unpackFixed16_16(const QByteArray& d)
{
    const quint16 f = static_cast<quint16>(littleEndian(d, 0, 2));
    const qint16 i = static_cast<qint16>(littleEndian(d, 2, 2));
    return f / 65536.0 + i;
}

double TervanCore::unpackUFixed16_16(const QByteArray& d)
{
    const quint16 f = static_cast<quint16>(littleEndian(d, 0, 2));
    const quint16 i = static_cast<quint16>(littleEndian(d, 2, 2));
    return f / 65536.0 + i;
}

double TervanCore::unpackUFrac16(const QByteArray& d)
{
    const quint16 code = static_cast<quint16>(littleEndian(d, 0, 2));
    return (static_cast<double>(code) - UFRAC_ZERO_CODE) / 32768.0 * 100.0;
}

bool TervanCore::encodeUInt8(const mfc_cmd_t& row, const QString& input, QByteArray& out)
{
    quint32 v = 0;
    if (!parseUInt(input, v)) {
        emit core_panic(QStringLiteral("cmd: %1 with unvalid input: %2.").arg(row.name, input));
        return false;
    }
    quint32 lo = 0;
    quint32 hi = 255;
    if (row.range) {
        if (!parseUInt(row.min, lo)) {
            emit core_panic(QStringLiteral("cmd: %1 with unvalid min: %2.").arg(row.name, row.min));
            return false;
        }
        if (lo > 255) {
            emit core_panic(QStringLiteral("cmd: %1 is over with min assigned: %2.").arg(row.name, row.min));
            return false;
        }
        if (!parseUInt(row.max, hi)) {
            emit core_panic(QStringLiteral("cmd: %1 with unvalid max: %2.").arg(row.name, row.max));
            return false;
        }
        if (hi > 255) {
            emit core_panic(QStringLiteral("cmd: %1 is over with max assigned: %2.").arg(row.name, row.max));
            return false;
        }
    }
    if (v < lo || v > hi) {
        emit core_panic(QStringLiteral("cmd: %1 value:%2 over range from %3 to %4.")
                            .arg(row.name, input, row.min, row.max));
        return false;
    }
    out = QByteArray(1, static_cast<char>(v));
    return true;
}

bool TervanCore::encodeUInt16(const mfc_cmd_t& row, const QString& input, QByteArray& out) const
{
    quint32 v = 0;
    if (!parseUInt(input, v))
        return false;
    quint32 lo = 0;
    quint32 hi = 65535;
    if (row.range) {
        if (!parseUInt(row.min, lo) || !parseUInt(row.max, hi) || lo > 65535 || hi > 65535)
            return false;
    }
    if (v < lo || v > hi)
        return false;
    out = packUInt16(static_cast<quint16>(v));
    return true;
}

bool TervanCore::encodeUInt32(const mfc_cmd_t& row, const QString& input, QByteArray& out) const
{
    quint32 v = 0;
    if (!parseUInt(input, v) || !withinRange(row, v, parseUInt))
        return false;
    out = packUInt32(v);
    return true;
}

bool TervanCore::encodeInt32(const mfc_cmd_t& row, const QString& input, QByteArray& out) const
{
    qint32 v = 0;
    if (!parseInt(input, v) || !withinRange(row, v, parseInt))
        return false;
    out = packInt32(v);
    return true;
}

bool TervanCore::encodeFloat32(const mfc_cmd_t& row, const QString& input, QByteArray& out) const
{
    float v = 0;
    if (!parseFloat(input, v) || !withinRange(row, v, parseFloat))
        return false;
    quint32 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    out = packUInt32(bits);
    return true;
}

bool TervanCore::encodeFixed16_16(const mfc_cmd_t& row, const QString& input, QByteArray& out) const
{
    double v = 0;
    if (!parseDouble(input, v) || !withinRange(row, fixedSteps(v), parseFixedSteps))
        return false;
    // The integer part travels as a signed 16-bit number.
    if (fixedSteps(v) < FIXED_MIN * 65536.0 || fixedSteps(v) >= FIXED_LIMIT * 65536.0)
        return false;
    out = packFixed16_16(v);
    return true;
}

bool TervanCore::encodeUFixed16_16(const mfc_cmd_t& row, const QString& input, QByteArray& out) const
{
    double v = 0;
    if (!parseDouble(input, v) || !withinRange(row, fixedSteps(v), parseFixedSteps))
        return false;
    if (fixedSteps(v) < 0.0 || fixedSteps(v) >= UFIXED_LIMIT * 65536.0)
        return false;
    out = packUFixed16_16(v);
    return true;
}

bool TervanCore::encodeUFrac16(const mfc_cmd_t& row, const QString& input, QByteArray& out) const
{
    double v = 0;
    if (!parseDouble(input, v))
        return false;
    double lo = 0.0;
    double hi = UFRAC_MAX_PERCENT;
    if (row.range) {
        double mn = 0;
        double mx = 0;
        if (!parseDouble(row.min, mn) || !parseDouble(row.max, mx))
            return false;
        lo = std::max(mn, 0.0);
        hi = std::min(mx, UFRAC_MAX_PERCENT);
    }
    if (v < lo || v > hi)
        return false;
    // About 149.9985 % and above would need a code beyond 16 bits.
    if (ufracCode(v) > 0xFFFF)
        return false;
    out = packUFrac16(v);
    return true;
}

bool TervanCore::encodeText(const mfc_cmd_t&, const QString& input, QByteArray& out) const
{
    const QByteArray bytes = input.toLocal8Bit();
    // LEN is one byte and also counts the three code bytes.
    if (bytes.size() > MAX_WRITE_VALUE_BYTES)
        return false;
    out = bytes;
    return true;
}

bool TervanCore::decodeValue(const QString& type, const QByteArray& d, mfc_value_t& value)
{
    const int n = d.size();
    if (type == QLatin1String("UINT8")) {
        if (n < 1)
            return false;
        value.u8 = static_cast<quint8>(d.at(0));
    } else if (type == QLatin1String("UINT16")) {
        if (n < 2)
            return false;
        value.u16 = qFromLittleEndian<quint16>(d.constData());
    } else if (type == QLatin1String("UINT32")) {
        if (n < 4)
            return false;
        value.u32 = unpackUInt32(d);
    } else if (type == QLatin1String("INT32") || type == QLatin1String("INT32LE")) {
        if (n < 4)
            return false;
        value.i32 = unpackInt32(d);
    } else if (type == QLatin1String("FLOAT32")) {
        if (n < 4)
            return false;
        const quint32 bits = unpackUInt32(d);
        std::memcpy(&value.f32, &bits, sizeof bits);
    } else if (type == QLatin1String("UFRAC16") || type == QLatin1String("FRAC16.16")) {
        if (n < 2)
            return false;
        value.f64 = unpackUFrac16(d);
    } else if (type == QLatin1String("FIXED16.16")) {
        if (n < 4)
            return false;
        value.f64 = unpackFixed16_16(d);
    } else if (type == QLatin1String("UFIXED16.16")) {
        if (n < 4)
            return false;
        value.f64 = unpackUFixed16_16(d);
    } else if (type == QLatin1String("TEXT8") || type == QLatin1String("TEXT16")
               || type == QLatin1String("TEXT32")) {
        // A reply may carry up to 124 bytes; the area keeps 63 and the NUL.
        const int len = std::min(n, VALUE_AREA_SIZE - 1);
        std::memcpy(value.text, d.constData(), static_cast<size_t>(len));
        value.text[len] = '\0';
    } else {
        qDebug("Unknown command type!");
        return false;
    }
    return true;
}
