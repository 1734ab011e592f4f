#include "simdevice.h"

#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Reply frames are built here independently of the program's codec, so a
// framing fault on one side does not hide behind the same fault on the other.
QByteArray buildReply(quint8 op, quint32 code, const QByteArray& value)
{
    QByteArray r = QByteArray::fromHex("060002");
    r += char(op);
    r += char(3 + value.size());
    r += char(code >> 16);
    r += char(code >> 8);
    r += char(code);
    r += value;
    r += '\0';
    quint8 sum = 0;
    for (int i = 1; i < r.size(); ++i)
        sum = quint8(sum + quint8(r.at(i)));
    return r + char(sum);
}

// What a freshly calibrated controller on the bench would report.
const char* const kSeeds[][2] = {
    {"CM", "1"}, {"DefaultCM", "1"}, {"ReadFlow", "37.5"}, {"ReadActiveSetpoint", "50"}, {"DigitalSetpoint", "50"},
    {"ValveCommand", "0"}, {"ShutoffLevel", "2"}, {"TargetGasFullScaleRange", "300"},
    {"CalibrationGasFullScaleRange", "300"}, {"TargetGas2CalibrationGas", "1"}, {"CalibrationGas2N2Conversion", "1"},
    {"TargetGasCode", "13"}, {"CalibrationGaseCode", "13"}, {"TargetGasName", "N2"}, {"CalibrationGasName", "N2"},
    {"MACAddress", "32"}, {"BaudRate", "9600"}, {"MFCSerialNumber", "SN12345"}, {"SensorSerialNumber", "SS54321"},
    {"DeviceType", "MFC"}, {"Manufacturer", "Tervan Instruments"}, {"ModelIdentifier", "TV-100"},
    {"FirmwareVersion", "V1.03"}, {"PCBVersion", "B2"}, {"ManufacturingLocation", "Plant 1"},
    {"ManufacturingDate", "2024-01-15"}, {"CalibrationLocation", "Lab 2"}, {"CalibrationDate", "2024-02-01"},
    {"CalibrationOperator", "QA"}, {"CalibrationStandardIdentifier", "STD-7"}, {"ProductName", "Tervan MFC"},
    {"ProductCode", "TV100"}, {"SupplierCode", "1"}, {"ProductType", "1"}, {"RevisionCode", "3"}, {"SensorGain", "1"},
    {"SensorOffset", "0"}, {"ReadSensorRatio", "1"}, {"VoltageSetpointGain", "1"}, {"CurrentSetpointGain", "1"},
    {"VoltagePWMGain", "1"}, {"CurrentPWMGain", "1"}, {"ReadTemperature", "2048"}, {"ReadTotalTimeOnTimer", "3600"},
    {"ReadVoltageADC", "-2"}, {"K1", "1"}, {"K2", "1"}, {"K3", "1"},
};

} // namespace

SimDevice::SimDevice(QObject* parent)
    : QObject(parent)
    , m_core(new TervanCore(this))
{
    qRegisterMetaType<SimDevice::Request>();
    char name[128];
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0
        && ::ptsname_r(m_master, name, sizeof name) == 0) {
        m_slavePath = QString::fromLocal8Bit(name);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        // Our own slave descriptor: lets us read the line settings the client
        // made, and keeps the master from seeing a hang-up when the client closes.
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        for (const int fd : {m_slave, m_master}) {
            termios t;
            if (fd >= 0 && ::tcgetattr(fd, &t) == 0) {
                ::cfmakeraw(&t);
                ::tcsetattr(fd, TCSANOW, &t);
            }
        }
        m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SimDevice::onReadable);
    } else {
        qWarning("SimDevice: no pseudo-terminal available");
        vanish();
    }

    // Every register starts at zero (an empty text), whatever its limits.
    for (const QString& cmd : m_core->cmdList()) {
        TervanCore::mfc_cmd_t row = m_core->cmdByName(cmd);
        row.range = false;
        QByteArray zero;
        if (encodeValue(row, row.type.startsWith(QLatin1String("TEXT")) ? QString() : QStringLiteral("0"), zero))
            m_store.insert(cmd, zero);
    }
    for (int i = 1; i <= 32; ++i) {
        setValue(QStringLiteral("CalTabValueX%1").arg(i), QString::number(i * 0.0375, 'g', 6));
        setValue(QStringLiteral("CalTabValueY%1").arg(i), QString::number(i * 0.0375, 'g', 6));
    }
    for (int i = 1; i <= 10; ++i)
        setValue(QStringLiteral("RangeConstantRangeNo%1").arg(i), QStringLiteral("1"));
    for (const auto& s : kSeeds)
        setValue(QString::fromLatin1(s[0]), QString::fromLatin1(s[1]));
}

bool SimDevice::setValue(const QString& cmd, const QString& text)
{
    QByteArray bytes;
    if (!encodeValue(m_core->cmdByName(cmd), text, bytes))
        return false;
    m_store.insert(cmd, bytes);
    m_readSequence.remove(cmd);
    return true;
}

void SimDevice::setReadSequence(const QString& cmd, const QStringList& values)
{
    QList<QByteArray> seq;
    for (const QString& text : values) {
        QByteArray bytes;
        if (!encodeValue(m_core->cmdByName(cmd), text, bytes)) {
            qWarning("SimDevice: %s cannot hold %s", qPrintable(cmd), qPrintable(text));
            return;
        }
        seq.append(bytes);
    }
    m_readSequence.insert(cmd, seq);
}

bool SimDevice::encodeValue(const TervanCore::mfc_cmd_t& row, const QString& text, QByteArray& bytes) const
{
    QByteArray frame;
    QString err;
    if (row.code == 0xFFFFFFFF || !m_core->encodeWriteFrame(row, text, frame, err))
        return false;
    // Write request: 7 header bytes, the value, pad and checksum.
    bytes = frame.mid(7, frame.size() - 9);
    return true;
}

QString SimDevice::value(const QString& cmd) const
{
    const QByteArray reply = buildReply(0x80, m_core->cmdByName(cmd).code, m_store.value(cmd));
    QString name;
    TervanCore::mfc_value_t v;
    int kind = -1;
    if (!m_store.contains(cmd) || !m_core->decode(reply, name, v, kind))
        return QString();
    switch (kind) {
    case KIND_UINT8: return QString::number(v.u8);
    case KIND_UINT16: return QString::number(v.u16);
    case KIND_UINT32: return QString::number(v.u32);
    case KIND_INT32: return QString::number(v.i32);
    case KIND_FLOAT: return QString::number(double(v.f32), 'g', 7);
    case KIND_TEXT: return QString::fromUtf8(v.text);
    default: return QString::number(v.f64, 'g', 8);
    }
}

quint8 SimDevice::address() const
{
    const QByteArray b = m_store.value(QStringLiteral("MACAddress"));
    return b.isEmpty() ? 0 : quint8(b.at(0));
}

void SimDevice::setChunks(int n, int gapMs)
{
    m_chunks = qMax(1, n);
    m_chunkGap = qMax(0, gapMs);
}

void SimDevice::setWriteEcho(const QString& cmd, const QString& text)
{
    QByteArray bytes;
    if (encodeValue(m_core->cmdByName(cmd), text, bytes))
        m_writeEcho.insert(cmd, bytes);
}

void SimDevice::setNoise(const QByteArray& bytes, int intervalMs)
{
    delete m_noise;
    m_noise = nullptr;
    if (bytes.isEmpty() || intervalMs <= 0)
        return;
    m_noise = new QTimer(this);
    connect(m_noise, &QTimer::timeout, this, [this, bytes] { writeMaster(bytes); });
    m_noise->start(intervalMs);
}

void SimDevice::vanish()
{
    setNoise(QByteArray(), 0);
    delete m_notifier;
    m_notifier = nullptr;
    for (int* fd : {&m_master, &m_slave}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

int SimDevice::requestCount(const QString& cmd) const
{
    return cmd.isEmpty() ? m_requests.size() : requestNames().count(cmd);
}

QStringList SimDevice::requestNames() const
{
    QStringList names;
    for (const Request& r : m_requests)
        names.append(r.cmd);
    return names;
}

void SimDevice::onReadable()
{
    char buf[4096];
    for (ssize_t r; (r = ::read(m_master, buf, sizeof buf)) != 0;) {
        if (r > 0)
            m_rx.append(buf, int(r));
        else if (errno != EINTR)
            break;
    }
    // At another line speed the device would see noise only.
    if (m_baud != 0 && !atLineSpeed()) {
        m_rx.clear();
        emit heardAtOtherSpeed();
        return;
    }

    while (m_rx.size() >= 4) {
        const quint8 op = quint8(m_rx.at(2));
        const int len = quint8(m_rx.at(3));
        if (m_rx.at(1) != 0x02 || (op != 0x80 && op != 0x81) || len < 3) {
            m_rx.remove(0, 1); // resynchronise on the next byte
            continue;
        }
        if (m_rx.size() < len + 6)
            break;
        Request req;
        req.raw = m_rx.left(len + 6);
        m_rx.remove(0, len + 6);
        req.address = quint8(req.raw.at(0));
        req.write = op == 0x81;
        const quint32 code = req.raw.mid(4, 3).toHex().toUInt(nullptr, 16);
        const TervanCore::mfc_cmd_t row = m_core->cmdByCode(code);
        req.cmd = row.code == 0xFFFFFFFF ? QString::number(code, 16).rightJustified(6, QLatin1Char('0')) : row.name;
        if (req.write)
            req.valueBytes = req.raw.mid(7, len - 3);
        req.atMs = QDateTime::currentMSecsSinceEpoch();
        m_requests.append(req);
        emit requestReceived(req);

        const QByteArray reply = answer(req, row);
        if (!reply.isEmpty() && m_lose.value(row.name) != requestCount(row.name))
            sendReply(reply, m_delayFor.value(row.name));
        if (m_second >= 0 && !req.write && (req.address == 0xFF || req.address == m_second)
            && row.code != 0xFFFFFFFF) {
            const QByteArray value = row.name == QLatin1String("MACAddress") ? QByteArray(1, char(m_second))
                                                                            : m_store.value(row.name);
            sendReply(buildReply(quint8(req.raw.at(2)), row.code, value), m_secondDelay);
        }
    }
}

// The reply bytes for one whole request frame (empty: no reply).
QByteArray SimDevice::answer(const Request& req, const TervanCore::mfc_cmd_t& row)
{
    quint8 sum = 0;
    for (int i = 0; i < req.raw.size() - 1; ++i)
        sum = quint8(sum + quint8(req.raw.at(i)));
    if (sum != quint8(req.raw.back()) || (req.address != address() && req.address != 0xFF))
        return QByteArray();
    if (row.code == 0xFFFFFFFF || m_silent || m_silentFor.contains(row.name))
        return QByteArray();

    QByteArray value = m_store.value(row.name);
    if (req.write) {
        // The device restarts on a reset and answers nothing.
        if (row.name == QLatin1String("Reset"))
            return QByteArray();
        m_store.insert(row.name, req.valueBytes);
        m_readSequence.remove(row.name);
        value = m_writeEcho.value(row.name, req.valueBytes);
    } else if (!m_readSequence.value(row.name).isEmpty()) {
        // The store follows the sequence so value() tells what was last answered.
        QList<QByteArray>& seq = m_readSequence[row.name];
        value = seq.size() > 1 ? seq.takeFirst() : seq.first();
        m_store.insert(row.name, value);
    }
    return buildReply(quint8(req.raw.at(2)), row.code, value);
}

void SimDevice::sendReply(QByteArray reply, int delayMs)
{
    if (m_corrupt)
        reply[reply.size() - 1] = char(reply.back() + 1);
    if (!m_preNoise.isEmpty()) {
        const QByteArray noise = m_preNoise;
        m_preNoise.clear();
        if (m_preDelivery != TwoWrites) {
            // The reply goes with the bytes before it, whole or a byte at a time.
            const QByteArray all = noise + reply;
            writeInParts(all, m_preDelivery == OneWrite ? int(all.size()) : 1, delayMs, m_preGap);
            return;
        }
        writeInParts(noise, int(noise.size()), delayMs, 0);
        delayMs += m_preGap;
    }
    writeInParts(reply, (int(reply.size()) + m_chunks - 1) / m_chunks, delayMs, m_chunkGap);
}

// Parts of `size` bytes, the first after delayMs (at once when 0), each next gapMs later.
void SimDevice::writeInParts(const QByteArray& bytes, int size, int delayMs, int gapMs)
{
    for (int i = 0; i * size < bytes.size(); ++i) {
        const QByteArray part = bytes.mid(i * size, size);
        const int at = delayMs + i * gapMs;
        if (at == 0)
            writeMaster(part);
        else
            QTimer::singleShot(at, this, [this, part] { writeMaster(part); });
    }
}

void SimDevice::writeMaster(const QByteArray& bytes)
{
    int done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t w = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (w > 0)
            done += int(w);
        else if (!(w < 0 && errno == EINTR))
            break; // the client does not read; a real line would lose the bytes too
    }
}

// Whether the client runs the line at m_baud; glibc's cfsetspeed also takes a plain number.
bool SimDevice::atLineSpeed() const
{
    termios now;
    if (m_slave < 0 || ::tcgetattr(m_slave, &now) != 0)
        return false;
    termios want = now;
    return ::cfsetspeed(&want, speed_t(m_baud)) == 0 && ::cfgetospeed(&want) == ::cfgetospeed(&now);
}
