#pragma once

// Helpers for the transport tests: read frames, the replies an ack spy saw,
// and a fixture of a transport talking to a simulated device.
//
//   Link l;                              // device, transport, spies; port open
//   QVERIFY(l.send({readFrame("CM")}));  // false also when the port did not open
//   QTRY_VERIFY(ackNames(l.acks).contains("CM"));

#include "mfcframe.h"
#include "simdevice.h"
#include "tervancore.h"
#include "tervanhalv3.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QStringList>

inline mfc_frame_t readFrame(const QString& cmd, bool background = false)
{
    return makeFrame(cmd, MFC_READ, QString(), false, background);
}

// The transport's own background reads.
inline bool isPoll(const QString& cmd)
{
    return cmd == QLatin1String("ReadFlow") || cmd == QLatin1String("ReadActiveSetpoint");
}

// The replies an ack spy saw, in order.
inline QList<TervanCore::mfc_reg_t> acksOf(const QSignalSpy& spy)
{
    QList<TervanCore::mfc_reg_t> out;
    for (const QList<QVariant>& a : spy)
        out.append(a.first().value<TervanCore::mfc_reg_t>());
    return out;
}

inline QStringList ackNames(const QSignalSpy& spy)
{
    QStringList names;
    for (const TervanCore::mfc_reg_t& r : acksOf(spy))
        names.append(r.cmd);
    return names;
}

// The first reply for `cmd`, or an empty one.
inline TervanCore::mfc_reg_t ackFor(const QSignalSpy& spy, const QString& cmd)
{
    const int i = ackNames(spy).indexOf(cmd);
    return i < 0 ? TervanCore::mfc_reg_t() : acksOf(spy).at(i);
}

// When the device saw the first request for `cmd`, or -1.
inline qint64 firstAt(const SimDevice& dev, const QString& cmd)
{
    const int i = dev.requestNames().indexOf(cmd);
    return i < 0 ? -1 : dev.requests().at(i).atMs;
}

inline qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// A simulated device and a transport with its port open on it.
struct Link
{
    int registered = qRegisterMetaType<TervanCore::mfc_reg_t>();
    SimDevice dev;
    TervanHALV3 hal;
    QSignalSpy acks{&hal, &TervanHALV3::ack};
    QSignalSpy timeouts{&hal, &TervanHALV3::timeout};
    QSignalSpy errors{&hal, &TervanHALV3::error};
    bool opened = hal.open(dev.slavePath(), 9600);
    QString err;

    // Also fails when the port could not be opened.
    bool send(const QList<mfc_frame_t>& frames) { return opened && hal.request(frames, err); }
    // The names of the first timeout within `ms`, or none.
    QStringList timedOut(int ms) { return timeouts.wait(ms) ? timeouts.first().first().toStringList() : QStringList(); }
};
