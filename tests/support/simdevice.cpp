#include "simdevice.h"

#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Reply frames are built here independently of the program's codec, so a
// framing fault on one side does not hide behind the same fault on the other.
QByteArray buildReply(quint8 op, quint32 code, const QByteArray& value)
{
    QByteArray r;
    r.append(char(0x06));
    r.append(char(0x00));
    r.append(char(0x02));
    r.append(char(op));
    r.append(char(quint8(3 + value.size())));
    r.append(char((code >> 16) & 0xFF));
    r.append(char((code >> 8) & 0xFF));
    r.append(char(code & 0xFF));
    r.append(value);
    r.append(char(0x00));
    quint8 sum = 0;
    for (int i = 1; i < r.size(); ++i)
        sum = quint8(sum + quint8(r.at(i)));
    r.append(char(sum));
    return r;
}

int speedToInt(speed_t s)
{
    const struct { speed_t code; int bps; } speeds[] = {{B1200, 1200}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600},
        {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
    for (const auto& sp : speeds) {
        if (sp.code == s)
            return sp.bps;
    }
    return 0;
}

struct Seed
{
    const char* name;
    const char* value;
};

// What a freshly calibrated controller on the bench would report.
const Seed kSeeds[] = {
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

struct SimDevice::Private
{
    int master = -1;
    int slave = -1;
    QString slavePath;
    QSocketNotifier* notifier = nullptr;
    TervanCore* core = nullptr;
    QHash<QString, QByteArray> store;
    bool silent = false;
    QStringList silentFor;
    int baud = 0;
    int chunks = 1;
    int chunkGap = 5;
    bool corrupt = false;
    QHash<QString, QByteArray> writeEcho;
    QByteArray rx;
    QList<Request> requests;
    QHash<QString, QList<QByteArray>> readSequence;
    QHash<QString, int> delayFor;
    QTimer* noise = nullptr;
    QByteArray noiseBytes;
};

SimDevice::SimDevice(QObject* parent)
    : QObject(parent)
    , d(new Private)
{
    qRegisterMetaType<SimDevice::Request>();
    d->core = new TervanCore(this);

    d->master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (d->master >= 0 && ::grantpt(d->master) == 0 && ::unlockpt(d->master) == 0) {
        char name[128];
        if (::ptsname_r(d->master, name, sizeof name) == 0)
            d->slavePath = QString::fromLocal8Bit(name);
    }
    if (d->slavePath.isEmpty()) {
        if (d->master >= 0)
            ::close(d->master);
        d->master = -1;
        qWarning("SimDevice: no pseudo-terminal available");
    } else {
        ::fcntl(d->master, F_SETFL, ::fcntl(d->master, F_GETFL) | O_NONBLOCK);
        // Our own slave descriptor: lets us read the line settings the client
        // made, and keeps the master from seeing a hang-up when the client closes.
        const QByteArray path = d->slavePath.toLocal8Bit();
        d->slave = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t;
        if (d->slave >= 0 && ::tcgetattr(d->slave, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(d->slave, TCSANOW, &t);
        }
        if (::tcgetattr(d->master, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(d->master, TCSANOW, &t);
        }
        d->notifier = new QSocketNotifier(d->master, QSocketNotifier::Read, this);
        connect(d->notifier, &QSocketNotifier::activated, this, &SimDevice::onReadable);
    }

    // Every register starts at zero (an empty text), whatever its limits.
    for (const QString& cmd : d->core->cmdList()) {
        TervanCore::mfc_cmd_t row = d->core->cmdByName(cmd);
        row.range = false;
        QByteArray zero;
        if (encodeValue(row, row.type.startsWith(QLatin1String("TEXT")) ? QString() : QStringLiteral("0"), zero))
            d->store.insert(cmd, zero);
    }
    for (int i = 1; i <= 32; ++i) {
        setValue(QStringLiteral("CalTabValueX%1").arg(i), QString::number(i * 0.0375, 'g', 6));
        setValue(QStringLiteral("CalTabValueY%1").arg(i), QString::number(i * 0.0375, 'g', 6));
    }
    for (int i = 1; i <= 10; ++i)
        setValue(QStringLiteral("RangeConstantRangeNo%1").arg(i), QStringLiteral("1"));
    for (const Seed& s : kSeeds)
        setValue(QString::fromLatin1(s.name), QString::fromLatin1(s.value));
}

SimDevice::~SimDevice()
{
    vanish();
    delete d;
}

QString SimDevice::slavePath() const
{
    return d->slavePath;
}

bool SimDevice::setValue(const QString& cmd, const QString& text)
{
    QByteArray bytes;
    if (!encodeValue(d->core->cmdByName(cmd), text, bytes))
        return false;
    d->store.insert(cmd, bytes);
    d->readSequence.remove(cmd);
    return true;
}

void SimDevice::setReadSequence(const QString& cmd, const QStringList& values)
{
    QList<QByteArray> seq;
    for (const QString& text : values) {
        QByteArray bytes;
        if (!encodeValue(d->core->cmdByName(cmd), text, bytes)) {
            qWarning("SimDevice: %s cannot hold %s", qPrintable(cmd), qPrintable(text));
            return;
        }
        seq.append(bytes);
    }
    if (seq.isEmpty())
        d->readSequence.remove(cmd);
    else
        d->readSequence.insert(cmd, seq);
}

bool SimDevice::encodeValue(const TervanCore::mfc_cmd_t& row, const QString& text, QByteArray& bytes) const
{
    if (row.code == 0xFFFFFFFF)
        return false;
    QByteArray frame;
    QString err;
    if (!d->core->encodeWriteFrame(row, text, frame, err))
        return false;
    // Write request: 7 header bytes, the value, pad and checksum.
    bytes = frame.mid(7, frame.size() - 9);
    return true;
}

QString SimDevice::value(const QString& cmd) const
{
    const TervanCore::mfc_cmd_t row = d->core->cmdByName(cmd);
    if (!d->store.contains(cmd))
        return QString();
    const QByteArray b = d->store.value(cmd);
    if (row.type.startsWith(QLatin1String("TEXT")))
        return QString::fromLocal8Bit(b.left(b.indexOf('\0') < 0 ? b.size() : b.indexOf('\0')));
    QString name;
    TervanCore::mfc_value_t v;
    int kind = -1;
    if (!d->core->decode(buildReply(0x80, row.code, b), name, v, kind))
        return QString();
    switch (kind) {
    case KIND_UINT8: return QString::number(v.u8);
    case KIND_UINT16: return QString::number(v.u16);
    case KIND_UINT32: return QString::number(v.u32);
    case KIND_INT32: return QString::number(v.i32);
    case KIND_FLOAT: return QString::number(double(v.f32), 'g', 7);
    default: return QString::number(v.f64, 'g', 8);
    }
}

void SimDevice::setRawValue(const QString& cmd, const QByteArray& bytes)
{
    d->store.insert(cmd, bytes);
}

void SimDevice::setAddress(quint8 addr)
{
    d->store.insert(QStringLiteral("MACAddress"), QByteArray(1, char(addr)));
}

quint8 SimDevice::address() const
{
    const QByteArray b = d->store.value(QStringLiteral("MACAddress"));
    return b.isEmpty() ? 0 : quint8(b.at(0));
}

QByteArray SimDevice::handle(const QByteArray& request)
{
    const int n = request.size();
    if (n < 9)
        return QByteArray();
    const auto b = [&request](int i) { return quint8(request.at(i)); };
    if (b(1) != 0x02 || (b(2) != 0x80 && b(2) != 0x81))
        return QByteArray();
    const int len = b(3);
    if (len < 3 || n != len + 6)
        return QByteArray();
    quint8 sum = 0;
    for (int i = 0; i < n - 1; ++i)
        sum = quint8(sum + b(i));
    if (sum != b(n - 1))
        return QByteArray();
    if (b(0) != address() && b(0) != 0xFF)
        return QByteArray();
    const quint32 code = (quint32(b(4)) << 16) | (quint32(b(5)) << 8) | b(6);
    const TervanCore::mfc_cmd_t row = d->core->cmdByCode(code);
    if (row.code == 0xFFFFFFFF)
        return QByteArray();
    if (d->silent || d->silentFor.contains(row.name))
        return QByteArray();

    QByteArray value;
    if (b(2) == 0x81) {
        // The device restarts on a reset and answers nothing.
        if (row.name == QLatin1String("Reset"))
            return QByteArray();
        const QByteArray written = request.mid(7, len - 3);
        d->store.insert(row.name, written);
        d->readSequence.remove(row.name);
        value = d->writeEcho.contains(row.name) ? d->writeEcho.value(row.name) : written;
    } else {
        auto seq = d->readSequence.find(row.name);
        if (seq != d->readSequence.end()) {
            // The store follows the sequence so value() tells what was last answered.
            d->store.insert(row.name, seq->size() > 1 ? seq->takeFirst() : seq->first());
        }
        value = d->store.value(row.name);
    }
    return buildReply(b(2), code, value);
}

void SimDevice::setSilent(bool silent)
{
    d->silent = silent;
}

void SimDevice::setSilentFor(const QStringList& cmds)
{
    d->silentFor = cmds;
}

void SimDevice::setBaudRate(int bps)
{
    d->baud = bps;
}

void SimDevice::setReplyDelayFor(const QString& cmd, int ms)
{
    if (ms > 0)
        d->delayFor.insert(cmd, ms);
    else
        d->delayFor.remove(cmd);
}

void SimDevice::setChunks(int n, int gapMs)
{
    d->chunks = qMax(1, n);
    d->chunkGap = qMax(0, gapMs);
}

void SimDevice::setCorruptChecksum(bool on)
{
    d->corrupt = on;
}

void SimDevice::setWriteEcho(const QString& cmd, const QString& text)
{
    if (text.isNull()) {
        d->writeEcho.remove(cmd);
        return;
    }
    QByteArray bytes;
    if (encodeValue(d->core->cmdByName(cmd), text, bytes))
        d->writeEcho.insert(cmd, bytes);
}

void SimDevice::setNoise(const QByteArray& bytes, int intervalMs)
{
    delete d->noise;
    d->noise = nullptr;
    d->noiseBytes = bytes;
    if (bytes.isEmpty() || intervalMs <= 0)
        return;
    d->noise = new QTimer(this);
    d->noise->setInterval(intervalMs);
    connect(d->noise, &QTimer::timeout, this, [this] { writeMaster(d->noiseBytes); });
    d->noise->start();
}

void SimDevice::vanish()
{
    delete d->noise;
    d->noise = nullptr;
    delete d->notifier;
    d->notifier = nullptr;
    if (d->master >= 0)
        ::close(d->master);
    d->master = -1;
    if (d->slave >= 0)
        ::close(d->slave);
    d->slave = -1;
}

void SimDevice::inject(const QByteArray& bytes)
{
    writeMaster(bytes);
}

QList<SimDevice::Request> SimDevice::requests() const
{
    return d->requests;
}

int SimDevice::requestCount(const QString& cmd) const
{
    if (cmd.isEmpty())
        return d->requests.size();
    int n = 0;
    for (const Request& r : qAsConst(d->requests)) {
        if (r.cmd == cmd)
            ++n;
    }
    return n;
}

QStringList SimDevice::requestNames() const
{
    QStringList names;
    for (const Request& r : qAsConst(d->requests))
        names.append(r.cmd);
    return names;
}

void SimDevice::clearRequests()
{
    d->requests.clear();
}

void SimDevice::onReadable()
{
    char buf[4096];
    for (;;) {
        const ssize_t r = ::read(d->master, buf, sizeof buf);
        if (r > 0) {
            d->rx.append(buf, int(r));
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        break;
    }
    // At another line speed the device would see noise only.
    if (d->baud != 0 && lineSpeed() != d->baud) {
        d->rx.clear();
        return;
    }

    while (d->rx.size() >= 4) {
        const quint8 op = quint8(d->rx.at(2));
        const int len = quint8(d->rx.at(3));
        if (d->rx.at(1) != 0x02 || (op != 0x80 && op != 0x81) || len < 3) {
            d->rx.remove(0, 1); // resynchronise on the next byte
            continue;
        }
        if (d->rx.size() < len + 6)
            break;
        const QByteArray frame = d->rx.left(len + 6);
        d->rx.remove(0, len + 6);

        Request req;
        req.address = quint8(frame.at(0));
        req.write = op == 0x81;
        const quint32 code = (quint32(quint8(frame.at(4))) << 16) | (quint32(quint8(frame.at(5))) << 8) | quint8(frame.at(6));
        const TervanCore::mfc_cmd_t row = d->core->cmdByCode(code);
        req.cmd = row.code == 0xFFFFFFFF ? QString::number(code, 16).rightJustified(6, QLatin1Char('0')) : row.name;
        if (req.write)
            req.valueBytes = frame.mid(7, len - 3);
        req.raw = frame;
        req.atMs = QDateTime::currentMSecsSinceEpoch();
        d->requests.append(req);
        emit requestReceived(req);

        const QByteArray reply = handle(frame);
        if (!reply.isEmpty())
            sendReply(reply, d->delayFor.value(row.name));
    }
}

void SimDevice::sendReply(const QByteArray& reply, int delayMs)
{
    QByteArray bytes = reply;
    if (d->corrupt)
        bytes[bytes.size() - 1] = char(quint8(bytes.at(bytes.size() - 1)) + 1);

    QList<QByteArray> parts;
    const int n = qMin(d->chunks, bytes.size());
    const int step = (bytes.size() + n - 1) / n;
    for (int i = 0; i < bytes.size(); i += step)
        parts.append(bytes.mid(i, step));

    if (delayMs == 0)
        sendParts(parts, d->chunkGap);
    else
        QTimer::singleShot(delayMs, this, [this, parts, gap = d->chunkGap] { sendParts(parts, gap); });
}

void SimDevice::sendParts(QList<QByteArray> parts, int gapMs)
{
    if (parts.isEmpty())
        return;
    writeMaster(parts.takeFirst());
    if (!parts.isEmpty())
        QTimer::singleShot(gapMs, this, [this, parts, gapMs] { sendParts(parts, gapMs); });
}

void SimDevice::writeMaster(const QByteArray& bytes)
{
    int done = 0;
    while (d->master >= 0 && done < bytes.size()) {
        const ssize_t w = ::write(d->master, bytes.constData() + done, size_t(bytes.size() - done));
        if (w > 0)
            done += int(w);
        else if (!(w < 0 && errno == EINTR))
            break; // the client does not read; a real line would lose the bytes too
    }
}

int SimDevice::lineSpeed() const
{
    termios t;
    if (d->slave < 0 || ::tcgetattr(d->slave, &t) != 0)
        return 0;
    speed_t s = ::cfgetispeed(&t);
    if (s == B0)
        s = ::cfgetospeed(&t);
    return speedToInt(s);
}
