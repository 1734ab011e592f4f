#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QStringList>

class Logger;
class QTimer;

// The one serial link to the device: owns the port, the codec, two request
// queues and the timers; sends one frame at a time with retries and polls the
// flow in the background when the line is idle.
class TervanHALV3 : public QObject
{
    Q_OBJECT

public:
    static constexpr int RECV_TIMEOUT_MS = 600;   // reply timer
    static constexpr int TICK_MS = 20;            // send and poll tick
    static constexpr int DIRECT_QUEUE_LIMIT = 512; // direct frames accepted before a list is refused
    // A reply under way restarts the reply timer, but no send waits longer than
    // this many reply times in all, so a noisy line cannot hold a request for ever.
    static constexpr int MAX_WAIT_FACTOR = 3;

    // Receive states; each accepts one kind of byte.
    enum RxState {
        RX_ACK = 0,
        RX_HOST = 1,
        RX_STX = 2,
        RX_OP = 3,
        RX_LEN = 4,
        RX_DATA = 5,
        RX_PAD = 6,
        RX_CHK = 7,
    };

    explicit TervanHALV3(QObject* parent = nullptr);
    ~TervanHALV3() override;

    bool open(const QString& portName, int bps);
    void closePort();
    bool isOpen() const;
    // Drops every received byte not yet handled: what the port holds and the
    // reply being assembled.
    void discardInput();
    // Handles at once the bytes that have reached the port but wait unread
    // behind a busy event loop, as their arrival would have; true when there
    // were any. A timer that ran out meanwhile must not take them for silence.
    bool receivePending();
    void setAddress(quint8 addr);
    void setRetry(int n);
    // Whether idle ticks poll the flow (on from construction). The port search
    // turns it off: until a device is found there is no one to poll, and the
    // polls' replies would be taken for answers to its probes.
    void setPolling(bool on) { m_polling = on; }
    bool request(const QList<mfc_frame_t>& frames, QString& err);
    bool readOne(const QString& cmd, QString& err);
    bool writeOne(const QString& cmd, const QString& input, QString& err);
    void reset();
    void stopTick();
    bool isIdle() const;
    void refreshAddress();

    // Fixed sequences.
    bool writeCalTable(const double* x, const double* y, QString& err);
    bool recoverCalTable(QString& err);
    bool readCalTable(QString& err);
    bool readAll(QString& err);
    QList<mfc_frame_t> programResetSequence();

    // Read-only views for callers that need the codec's tables or the link state.
    const TervanCore* core() const { return m_core; }
    QString portName() const;
    int lastControlMode() const { return m_lastCM; }
    bool isPollingActiveSetpoint() const { return m_pollActiveSetpoint; }
    static qint64 tickCount();

signals:
    void timeout(QStringList cmds);
    void ack(TervanCore::mfc_reg_t reg);
    void empty();
    void error(QString msg);

private slots:
    void recv_timeout();
    void delay_timeout();
    void readyRead();
    void portError(QSerialPort::SerialPortError e);

protected:
    void timerEvent(QTimerEvent* e) override;

private:
    bool enqueue(const QList<mfc_frame_t>& frames, QString& err);
    void sendNext();
    void handleChunk(const QByteArray& chunk);
    void handleFrame();
    void restartReplyTimer();
    bool decodeInput(TervanCore::mfc_reg_t& reg);
    bool checkValue(const TervanCore::mfc_reg_t& reg) const;
    void trackAck(const TervanCore::mfc_reg_t& reg);
    void writeFrame(const QByteArray& bytes);
    void dropQueues();
    void closeFailedPort();

    Logger* m_log;
    Logger* m_comLog;
    TervanCore* m_core;
    QSerialPort* m_serial;
    bool m_busy = false;
    QTimer* m_recvTimer;
    QTimer* m_delayTimer;
    QByteArray m_rxBuf;
    quint8 m_rxRemain = 0;
    int m_retryCount = 0;
    int m_maxRetry = 5;
    QList<mfc_frame_t> m_directQueue;
    QList<mfc_frame_t> m_backgroundQueue;
    mfc_frame_t m_current;
    int m_rxState = RX_ACK;
    int m_tickId = -1;
    int m_lastCM = 2;
    bool m_pollActiveSetpoint = false;
    bool m_polling = true;
    bool m_portFailed = false; // a read or resource error closed the port; reported once
    // Received bytes are being handled and a reply (or its failure) handed to
    // the receivers. Until they return nothing is sent, even if a receiver
    // runs a nested event loop.
    bool m_delivering = false;
    // Counts the times received bytes were thrown away (input discarded, port
    // opened), so that the rest of a chunk read before is dropped with them.
    quint32 m_rxEpoch = 0;
    QElapsedTimer m_sentClock; // since the frame in flight was last written
};
