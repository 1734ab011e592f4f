#pragma once

// A simulated flow controller for tests and benchmarks.
//
// SimDevice owns the master side of a pseudo-terminal and answers request
// frames exactly as the device does; a QSerialPort opens slavePath().
//
//   SimDevice dev;                       // opens the pty, seeds the registers
//   dev.setBaudRate(38400);              // answer only when the line runs at 38400
//   TervanHALV3 hal; hal.open(dev.slavePath(), 38400);
//   dev.setValue("ReadFlow", "37.5");    // what the next read returns
//   QTRY_VERIFY(dev.requestCount("ReadFlow") > 0);
//   dev.setReadSequence("ReadSensorRatio", {"1", "1.2"}); // successive reads answer 1, 1.2, 1.2, ...
//   dev.setReplyDelayFor("ReadFlow", 900);                // answer ReadFlow (read or write) 900 ms late
//   dev.setNoise("$GPGGA,1\r\n", 200);                     // these bytes on the line every 200 ms
//
// The pure core, handle(), turns one request frame into the reply bytes over
// the register store and can be tested without a pty.

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
        QString cmd;          // register name, or the code in hex when unknown
        QByteArray valueBytes; // value bytes of a write
        QByteArray raw;       // the whole request frame
        qint64 atMs = 0;      // QDateTime::currentMSecsSinceEpoch() when it arrived
    };

    explicit SimDevice(QObject* parent = nullptr);
    ~SimDevice() override;

    QString slavePath() const;

    // Register store: values as the encoder's text (e.g. "37.5", "42", "ABC").
    bool setValue(const QString& cmd, const QString& text);
    QString value(const QString& cmd) const;
    // Each read of cmd answers the next value, the last one repeating; a write of cmd
    // or setValue(cmd) ends the sequence.
    void setReadSequence(const QString& cmd, const QStringList& values);
    void setRawValue(const QString& cmd, const QByteArray& bytes);

    // Device address; requests to another address (other than 255) stay unanswered.
    void setAddress(quint8 addr);
    quint8 address() const;

    // The pure core: reply bytes for one request frame (empty: no reply).
    QByteArray handle(const QByteArray& request);

    // Fault switches.
    void setSilent(bool silent);                 // answer nothing
    void setSilentFor(const QStringList& cmds);  // answer nothing for these registers
    void setBaudRate(int bps);                   // answer only at this line speed (0: any)
    void setReplyDelayFor(const QString& cmd, int ms); // delay replies to cmd (0: no delay)
    void setChunks(int n, int gapMs = 5);        // split each reply into n chunks
    void setCorruptChecksum(bool on);            // wrong last byte
    void setWriteEcho(const QString& cmd, const QString& text); // answer a write of cmd with another value
    void vanish();                               // close the master side mid-run
    void inject(const QByteArray& bytes);        // put raw bytes on the line now
    void setNoise(const QByteArray& bytes, int intervalMs); // these bytes every intervalMs (0/empty: off)

    // What arrived.
    QList<Request> requests() const;
    int requestCount(const QString& cmd = QString()) const;
    QStringList requestNames() const;
    void clearRequests();

signals:
    void requestReceived(SimDevice::Request req);

private:
    // implementation owned by the simulated device's source file
    void onReadable();
    void sendReply(const QByteArray& reply, int delayMs);
    void sendParts(QList<QByteArray> parts, int gapMs);
    void writeMaster(const QByteArray& bytes);
    bool encodeValue(const TervanCore::mfc_cmd_t& row, const QString& text, QByteArray& bytes) const;
    int lineSpeed() const;

    struct Private;
    Private* d;
};

Q_DECLARE_METATYPE(SimDevice::Request)
