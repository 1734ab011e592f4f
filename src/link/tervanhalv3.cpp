#include "tervanhalv3.h"

#include "logger.h"

#include <QDebug>
#include <QTimer>

TervanHALV3::TervanHALV3(QObject* parent)
    : QObject(parent)
    , m_log(new Logger(QStringLiteral("TervanHALV3")))
    , m_comLog(new Logger(QStringLiteral("COM")))
    , m_core(new TervanCore(nullptr))
    , m_serial(new QSerialPort(nullptr))
    , m_recvTimer(new QTimer)
    , m_delayTimer(new QTimer)
{
    m_core->setAddress(255);

    // Single-shot: "a timer is active" then means "something is still pending",
    // which the tick relies on to free a link that nothing else would end.
    m_recvTimer->setInterval(RECV_TIMEOUT_MS);
    m_recvTimer->setSingleShot(true);
    m_delayTimer->setSingleShot(true);
    // A hold is a minimum the device needs (programming, restart); a coarse
    // timer may end it up to 5 % early.
    m_recvTimer->setTimerType(Qt::PreciseTimer);
    m_delayTimer->setTimerType(Qt::PreciseTimer);

    connect(m_serial, &QSerialPort::readyRead, this, &TervanHALV3::readyRead);
    connect(m_serial, &QSerialPort::errorOccurred, this, &TervanHALV3::portError);
    connect(m_recvTimer, &QTimer::timeout, this, &TervanHALV3::recv_timeout);
    connect(m_delayTimer, &QTimer::timeout, this, &TervanHALV3::delay_timeout);

    m_tickId = startTimer(TICK_MS, Qt::CoarseTimer);
}

TervanHALV3::~TervanHALV3()
{
    if (m_tickId != -1)
        killTimer(m_tickId);
    m_recvTimer->stop();
    m_delayTimer->stop();
    m_serial->disconnect(this);
    if (m_serial->isOpen())
        m_serial->close();
    dropQueues();
    m_current = mfc_frame_t();
    delete m_recvTimer;
    delete m_delayTimer;
    delete m_serial;
    delete m_core;
    delete m_comLog;
    delete m_log;
}

bool TervanHALV3::open(const QString& portName, int bps)
{
    if (m_serial->isOpen())
        return false;
    m_serial->setPortName(portName);
    m_serial->setBaudRate(bps, QSerialPort::AllDirections);
    qDebug().noquote() << QStringLiteral("open MFC port: ") + portName;
    m_recvTimer->stop();
    m_delayTimer->stop();
    dropQueues();
    m_portFailed = false;
    ++m_rxEpoch;
    return m_serial->open(QIODevice::ReadWrite);
}

void TervanHALV3::closePort()
{
    if (m_serial->isOpen())
        m_serial->close();
}

void TervanHALV3::discardInput()
{
    if (m_serial->isOpen()) {
        m_serial->clear(QSerialPort::Input);
        m_serial->readAll();
    }
    ++m_rxEpoch;
    m_rxBuf.clear();
    m_rxState = RX_ACK;
}

bool TervanHALV3::receivePending()
{
    if (!m_serial->isOpen() || m_delivering)
        return false;
    if (m_serial->waitForReadyRead(0))
        return true;
    // A zero wait only looks; finding nothing is reported as a timeout, no fault here.
    if (m_serial->error() == QSerialPort::TimeoutError)
        m_serial->clearError();
    return false;
}

bool TervanHALV3::isOpen() const
{
    return m_serial->isOpen();
}

QString TervanHALV3::portName() const
{
    return m_serial->portName();
}

void TervanHALV3::setAddress(quint8 addr)
{
    m_core->setAddress(addr);
}

void TervanHALV3::setRetry(int n)
{
    m_maxRetry = n > 4 ? 5 : n;
}

bool TervanHALV3::request(const QList<mfc_frame_t>& frames, QString& err)
{
    QList<mfc_frame_t> encoded;
    encoded.reserve(frames.size());
    for (mfc_frame_t f : frames) {
        bool ok = false;
        f.bytes.clear();
        switch (f.op) {
        case MFC_READ:
            ok = m_core->encodeRead(f.cmd, f.bytes, err);
            if (!ok)
                err = QStringLiteral("cmd: %1 read opertation encode fail!").arg(f.cmd);
            break;
        case MFC_WRITE:
            ok = m_core->encodeWrite(f.cmd, f.input, f.bytes, err);
            if (!ok)
                err = QStringLiteral("cmd: %1 write with input: %2 encode fail!").arg(f.cmd, f.input);
            break;
        case MFC_DELAY:
            f.input.toInt(&ok, 10);
            if (!ok)
                err = QStringLiteral("command delay with invalid argument: %1.").arg(f.input);
            break;
        default:
            // Refused here, like an encode failure, so it never reaches sendNext.
            err = QStringLiteral("cmd: %1 with unknown operation: %2.").arg(f.cmd, QString::number(f.op));
            break;
        }
        if (!ok) {
            m_log->log(err);
            m_recvTimer->stop();
            m_delayTimer->stop();
            dropQueues();
            m_busy = false;
            return false;
        }
        // A new address makes the polling frames encoded with the old one useless.
        if (f.op == MFC_WRITE && f.cmd == QLatin1String("MACAddress"))
            m_backgroundQueue.clear();
        encoded.append(f);
    }
    return enqueue(encoded, err);
}

bool TervanHALV3::readOne(const QString& cmd, QString& err)
{
    return request({makeFrame(cmd)}, err);
}

bool TervanHALV3::writeOne(const QString& cmd, const QString& input, QString& err)
{
    return request({makeFrame(cmd, MFC_WRITE, input, m_core->needCheck(cmd))}, err);
}

bool TervanHALV3::enqueue(const QList<mfc_frame_t>& frames, QString& err)
{
    if (m_directQueue.size() > DIRECT_QUEUE_LIMIT) {
        err = QStringLiteral("Direct queue is full!");
        return false;
    }
    for (const mfc_frame_t& f : frames) {
        if (f.background)
            m_backgroundQueue.append(f);
        else
            m_directQueue.append(f);
    }
    sendNext();
    return true;
}

void TervanHALV3::sendNext()
{
    // Nothing leaves while a receiver still handles a reply, even from a
    // nested event loop: its answer could not be read until it returns.
    if (m_busy || m_delivering)
        return;
    if (!m_directQueue.isEmpty())
        m_current = m_directQueue.takeFirst();
    else if (!m_backgroundQueue.isEmpty())
        m_current = m_backgroundQueue.takeFirst();
    else
        return;

    if (m_current.cmd == QLatin1String("DigitalSetpoint"))
        m_log->log(QStringLiteral("setpoint to: %1.").arg(m_current.input));

    m_recvTimer->stop();
    m_delayTimer->stop();
    m_busy = true;
    // A new setpoint in digital mode is followed by reading the active setpoint.
    if (m_current.cmd == QLatin1String("DigitalSetpoint") && m_lastCM == CM_DIGITAL)
        m_pollActiveSetpoint = true;

    if (m_current.op == MFC_DELAY) {
        m_delayTimer->start(qMax(0, m_current.input.toInt()));
        return;
    }
    m_comLog->log(QStringLiteral("WRITE - cmd: %1, op: %2, hex: %3.")
                      .arg(m_current.cmd, QString::number(m_current.op), QString::fromLatin1(m_current.bytes.toHex())));
    writeFrame(m_current.bytes);
    m_retryCount = 0;
    m_sentClock.start();
    m_recvTimer->start(RECV_TIMEOUT_MS);
}

void TervanHALV3::writeFrame(const QByteArray& bytes)
{
    // A closed port (never opened, or closed after a failure) sends nothing;
    // the reply timer then runs out as for a silent device.
    if (m_serial->isOpen())
        m_serial->write(bytes);
}

void TervanHALV3::reset()
{
    m_recvTimer->stop();
    m_delayTimer->stop();
    dropQueues();
    m_rxBuf.clear();
}

void TervanHALV3::dropQueues()
{
    m_directQueue.clear();
    m_backgroundQueue.clear();
}

void TervanHALV3::stopTick()
{
    if (m_tickId != -1)
        killTimer(m_tickId);
    m_tickId = -1;
}

bool TervanHALV3::isIdle() const
{
    return m_directQueue.isEmpty() && m_backgroundQueue.isEmpty() && !m_busy;
}

void TervanHALV3::refreshAddress()
{
}

void TervanHALV3::delay_timeout()
{
    m_recvTimer->stop();
    m_delayTimer->stop();
    m_busy = false;
    sendNext();
}

void TervanHALV3::recv_timeout()
{
    // A reply (or part of one) that came in time is no timeout, even when the
    // event loop was too busy to read it before this timer ran out.
    if (receivePending() && (m_recvTimer->isActive() || !m_busy))
        return;
    m_recvTimer->stop();
    m_rxBuf.clear();
    m_rxState = RX_ACK;

    if (m_current.cmd == QLatin1String("Reset")) {
        // The device restarts instead of answering; go on with the next frame.
        m_busy = false;
        sendNext();
        return;
    }
    // Stray bytes restarted the reply timer during a delay (or before anything
    // was sent): nothing to repeat. A running delay still ends the wait; one
    // that was cancelled is freed by the tick.
    if (m_current.op == MFC_DELAY || m_current.bytes.isEmpty())
        return;

    ++m_retryCount;
    QString trace = m_current.op == MFC_READ
        ? QStringLiteral("It's retry for ") + m_current.cmd + QStringLiteral(" READ. ")
        : QStringLiteral("It's retry for ") + m_current.cmd + QStringLiteral(" WRITE input ") + m_current.input + QStringLiteral(". ");

    if (m_retryCount < m_maxRetry) {
        trace += QStringLiteral("Retry = %1.").arg(m_retryCount);
        qDebug().noquote() << trace;
        m_log->log(trace);
        m_log->log(QString::fromLatin1(m_current.bytes.toHex()));
        writeFrame(m_current.bytes);
        m_sentClock.start();
        m_recvTimer->start(RECV_TIMEOUT_MS);
        return;
    }

    trace += QStringLiteral("Retry = %1. Fail!").arg(m_retryCount);
    qDebug().noquote() << trace;
    m_log->log(trace);

    QStringList payload{m_current.cmd};
    for (const mfc_frame_t& f : qAsConst(m_directQueue)) {
        if (!payload.contains(f.cmd))
            payload.append(f.cmd);
    }
    m_directQueue.clear();
    for (const mfc_frame_t& f : qAsConst(m_backgroundQueue)) {
        if (!payload.contains(f.cmd))
            payload.append(f.cmd);
    }
    m_backgroundQueue.clear();
    reset();
    m_busy = false;
    emit timeout(payload);
}

void TervanHALV3::portError(QSerialPort::SerialPortError e)
{
    // An unplugged device makes the port report read errors in a tight loop;
    // close it so the request in flight fails like one to a silent device.
    if (e != QSerialPort::ReadError && e != QSerialPort::ResourceError)
        return;
    if (m_portFailed)
        return;
    m_portFailed = true;
    const QString msg = QStringLiteral("Error: serial port %1 failed: %2").arg(m_serial->portName(), m_serial->errorString());
    qDebug().noquote() << msg;
    m_log->log(msg);
    // Not closed from inside the port's own notification: once back in the loop.
    QMetaObject::invokeMethod(this, &TervanHALV3::closeFailedPort, Qt::QueuedConnection);
}

void TervanHALV3::closeFailedPort()
{
    if (m_portFailed && m_serial->isOpen())
        m_serial->close();
}
