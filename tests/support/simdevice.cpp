#include "simdevice.h"

#include "tervancore.h"

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

int valueSize(const QString& type)
{
    if (type == QLatin1String("UINT8"))
        return 1;
    if (type == QLatin1String("UINT16") || type == QLatin1String("UFRAC16") || type == QLatin1String("FRAC16.16"))
        return 2;
    if (type.startsWith(QLatin1String("TEXT")))
        return 0;
    return 4;
}

int speedToInt(speed_t s)
{
    switch (s) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
    }
}

struct Seed
{
    const char* name;
    const char* value;
};

// What a freshly calibrated controller on the bench would report.
const Seed kSeeds[] = {
    {"CM", "1"}, {"DefaultCM", "1"}, {"ReadFlow", "37.5"}, {"ReadActiveSetpoint", "50"},
    {"DigitalSetpoint", "50"}, {"ValveCommand", "0"}, {"ShutoffLevel", "2"},
    {"TargetGasFullScaleRange", "300"}, {"CalibrationGasFullScaleRange", "300"},
    {"TargetGas2CalibrationGas", "1"}, {"CalibrationGas2N2Conversion", "1"},
    {"TargetGasCode", "13"}, {"CalibrationGaseCode", "13"},
    {"TargetGasName", "N2"}, {"CalibrationGasName", "N2"},
    {"MACAddress", "32"}, {"BaudRate", "9600"},
    {"MFCSerialNumber", "SN12345"}, {"SensorSerialNumber", "SS54321"},
    {"DeviceType", "MFC"}, {"Manufacturer", "Tervan Instruments"}, {"ModelIdentifier", "TV-100"},
    {"FirmwareVersion", "V1.03"}, {"PCBVersion", "B2"},
    {"ManufacturingLocation", "Plant 1"}, {"ManufacturingDate", "2024-01-15"},
    {"CalibrationLocation", "Lab 2"}, {"CalibrationDate", "2024-02-01"},
    {"CalibrationOperator", "QA"}, {"CalibrationStandardIdentifier", "STD-7"},
    {"ProductName", "Tervan MFC"}, {"ProductCode", "TV100"},
    {"SupplierCode", "1"}, {"ProductType", "1"}, {"RevisionCode", "3"},
    {"SensorGain", "1"}, {"SensorOffset", "0"}, {"ReadSensorRatio", "1"},
    {"VoltageSetpointGain", "1"}, {"CurrentSetpointGain", "1"},
    {"VoltagePWMGain", "1"}, {"CurrentPWMGain", "1"},
    {"ReadTemperature", "2048"}, {"ReadTotalTimeOnTimer", "3600"}, {"ReadVoltageADC", "-2"},
    {"K1", "1"}, {"K2", "1"}, {"K3", "1"},
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
    int replyDelay = 0;
    int chunks = 1;
    int chunkGap = 5;
    QByteArray stray;
    bool corrupt = false;
    QHash<QString, QByteArray> writeEcho;
    int drop = 0;
    QByteArray rx;
    QList<Request> requests;
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

    for (const QString& cmd : d->core->cmdList()) {
        const TervanCore::mfc_cmd_t row = d->core->cmdByName(cmd);
        if (row.code == 0xFFFFFFFF)
            continue;
        QByteArray zero(valueSize(row.type), '\0');
        if (row.type == QLatin1String("UFRAC16") || row.type == QLatin1String("FRAC16.16"))
            zero = TervanCore::packUFrac16(0.0);
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

bool SimDevice::isOpen() const
{
    return d->master >= 0;
}

bool SimDevice::setValue(const QString& cmd, const QString& text)
{
    QByteArray bytes;
    if (!encodeValue(cmd, text, bytes))
        return false;
    d->store.insert(cmd, bytes);
    return true;
}

bool SimDevice::encodeValue(const QString& cmd, const QString& text, QByteArray& bytes) const
{
    const TervanCore::mfc_cmd_t row = d->core->cmdByName(cmd);
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
    QByteArray b = d->store.value(cmd);
    const QString& t = row.type;
    if (t.startsWith(QLatin1String("TEXT"))) {
        const int nul = b.indexOf('\0');
        return QString::fromLocal8Bit(nul < 0 ? b : b.left(nul));
    }
    if (b.size() < 4)
        b.append(QByteArray(4 - b.size(), '\0'));
    if (t == QLatin1String("UINT8"))
        return QString::number(quint8(b.at(0)));
    if (t == QLatin1String("UINT16"))
        return QString::number(quint8(b.at(0)) | (quint8(b.at(1)) << 8));
    if (t == QLatin1String("UINT32"))
        return QString::number(TervanCore::unpackUInt32(b));
    if (t == QLatin1String("INT32"))
        return QString::number(TervanCore::unpackInt32(b));
    if (t == QLatin1String("FLOAT32")) {
        float f;
        const quint32 u = TervanCore::unpackUInt32(b);
        std::memcpy(&f, &u, sizeof f);
        return QString::number(double(f), 'g', 7);
    }
    if (t == QLatin1String("UFRAC16") || t == QLatin1String("FRAC16.16"))
        return QString::number(TervanCore::unpackUFrac16(b), 'g', 8);
    if (t == QLatin1String("FIXED16.16"))
        return QString::number(TervanCore::unpackFixed16_16(b), 'g', 8);
    if (t == QLatin1String("UFIXED16.16"))
        return QString::number(TervanCore::unpackUFixed16_16(b), 'g', 8);
    return QString();
}

QByteArray SimDevice::rawValue(const QString& cmd) const
{
    return d->store.value(cmd);
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
        value = d->writeEcho.contains(row.name) ? d->writeEcho.value(row.name) : written;
    } else {
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

void SimDevice::setReplyDelay(int ms)
{
    d->replyDelay = qMax(0, ms);
}

void SimDevice::setChunks(int n, int gapMs)
{
    d->chunks = qMax(1, n);
    d->chunkGap = qMax(0, gapMs);
}

void SimDevice::setStrayPrefix(const QByteArray& bytes)
{
    d->stray = bytes;
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
    if (encodeValue(cmd, text, bytes))
        d->writeEcho.insert(cmd, bytes);
}

void SimDevice::dropReplies(int n)
{
    d->drop = qMax(0, n);
}

void SimDevice::vanish()
{
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
        if (reply.isEmpty())
            continue;
        if (d->drop > 0) {
            --d->drop;
            continue;
        }
        sendReply(reply);
    }
}

void SimDevice::sendReply(const QByteArray& reply)
{
    QByteArray bytes = reply;
    if (d->corrupt)
        bytes[bytes.size() - 1] = char(quint8(bytes.at(bytes.size() - 1)) + 1);
    bytes.prepend(d->stray);

    QList<QByteArray> parts;
    const int n = qMin(d->chunks, bytes.size());
    const int step = (bytes.size() + n - 1) / n;
    for (int i = 0; i < bytes.size(); i += step)
        parts.append(bytes.mid(i, step));

    if (d->replyDelay == 0)
        sendParts(parts, d->chunkGap);
    else
        QTimer::singleShot(d->replyDelay, this, [this, parts, gap = d->chunkGap] { sendParts(parts, gap); });
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
