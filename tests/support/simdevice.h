#pragma once

// A simulated flow controller for tests and benchmarks: it owns the master side of a
// pseudo-terminal, which a QSerialPort opens as slavePath(), and answers request frames
// as the device does, from registers seeded as on the bench.

#include "tervancore.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;
class QTimer;

class SimDevice : public QObject
{
    Q_OBJECT

public:
    // One request the device received, as decoded from the wire.
    struct Request
    {
        quint8 address = 0;
        bool write = false;
        QString cmd;           // register name, or the code in hex when unknown
        QByteArray valueBytes; // value bytes of a write
        QByteArray raw;        // the whole request frame
        qint64 atMs = 0;       // arrival, QDateTime::currentMSecsSinceEpoch()
    };

    explicit SimDevice(QObject* parent = nullptr);
    ~SimDevice() override { vanish(); }

    QString slavePath() const { return m_slavePath; }

    // Register store: values as the encoder's text (e.g. "37.5", "42", "ABC").
    bool setValue(const QString& cmd, const QString& text);
    QString value(const QString& cmd) const;
    void setRawValue(const QString& cmd, const QByteArray& bytes) { m_store.insert(cmd, bytes); }
    // Each read of cmd answers the next value, the last one repeating; a write of cmd
    // or setValue(cmd) ends the sequence.
    void setReadSequence(const QString& cmd, const QStringList& values);

    // Device address; requests to another address (other than 255) stay unanswered.
    void setAddress(quint8 addr) { m_store.insert(QStringLiteral("MACAddress"), QByteArray(1, char(addr))); }
    quint8 address() const;

    // Fault switches.
    void setSilent(bool silent) { m_silent = silent; }
    void setSilentFor(const QStringList& cmds) { m_silentFor = cmds; }
    void setBaudRate(int bps) { m_baud = bps; } // answer only at this line speed (0: any)
    void setReplyDelayFor(const QString& cmd, int ms) { m_delayFor.insert(cmd, ms); }
    void setChunks(int n, int gapMs); // split each reply into n parts
    void setCorruptChecksum(bool on) { m_corrupt = on; } // wrong last byte
    // How bytes reach the client: in one write, in two (what comes first, then the
    // reply a gap later), or a byte per write, a gap apart.
    enum Delivery { OneWrite, TwoWrites, ByteByByte };
    // The next reply is preceded by these bytes (line noise, a stale frame), delivered as said.
    void setBeforeNextReply(const QByteArray& bytes, Delivery how, int gapMs)
    {
        m_preNoise = bytes;
        m_preDelivery = how;
        m_preGap = gapMs;
    }
    // The reply to the nth request of cmd (from 1, as heard at the line speed) is lost.
    void loseReply(const QString& cmd, int nth) { m_lose.insert(cmd, nth); }
    // A second device on the line: answers reads to 255 or to `addr` from the same
    // registers, but with its own address, delayMs after the request arrived.
    void setSecondDevice(quint8 addr, int delayMs) { m_second = addr; m_secondDelay = delayMs; }
    // Answer a write of cmd with another value.
    void setWriteEcho(const QString& cmd, const QString& text);
    void vanish(); // close the master side mid-run
    void inject(const QByteArray& bytes) { writeMaster(bytes); }
    void setNoise(const QByteArray& bytes, int intervalMs); // these bytes every intervalMs (empty: off)

    // What arrived.
    QList<Request> requests() const { return m_requests; }
    int requestCount(const QString& cmd = QString()) const;
    QStringList requestNames() const;
    void clearRequests() { m_requests.clear(); }

signals:
    void requestReceived(SimDevice::Request req);
    void heardAtOtherSpeed(); // bytes came while the client ran another line speed

private:
    void onReadable();
    QByteArray answer(const Request& req, const TervanCore::mfc_cmd_t& row);
    void sendReply(QByteArray reply, int delayMs);
    void writeInParts(const QByteArray& bytes, int size, int delayMs, int gapMs);
    void writeMaster(const QByteArray& bytes);
    bool encodeValue(const TervanCore::mfc_cmd_t& row, const QString& text, QByteArray& bytes) const;
    bool atLineSpeed() const;

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_noise = nullptr;
    TervanCore* m_core;
    QHash<QString, QByteArray> m_store;
    QHash<QString, QList<QByteArray>> m_readSequence;
    QHash<QString, QByteArray> m_writeEcho;
    QHash<QString, int> m_delayFor;
    QStringList m_silentFor;
    QHash<QString, int> m_lose;
    int m_second = -1;
    int m_secondDelay = 0;
    bool m_silent = false;
    bool m_corrupt = false;
    QByteArray m_preNoise;
    Delivery m_preDelivery = TwoWrites;
    int m_preGap = 2;
    int m_baud = 0;
    int m_chunks = 1;
    int m_chunkGap = 5;
    QByteArray m_rx;
    QList<Request> m_requests;
};

Q_DECLARE_METATYPE(SimDevice::Request)
