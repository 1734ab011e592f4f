#pragma once

// A transport with its port open on a simulated device, and what its spies saw.

#include "mfcframe.h"
#include "simdevice.h"
#include "tervancore.h"
#include "tervanhalv3.h"

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

    // False also when the port did not open.
    bool send(const QList<mfc_frame_t>& frames) { return opened && hal.request(frames, err); }
    // The names of the first timeout within `ms`, or none.
    QStringList timedOut(int ms) { return timeouts.wait(ms) ? timeouts.first().first().toStringList() : QStringList(); }

    TervanCore::mfc_reg_t ack(int i) const { return acks.at(i).first().value<TervanCore::mfc_reg_t>(); }
    QStringList ackNames() const
    {
        QStringList names;
        for (int i = 0; i < acks.size(); ++i)
            names.append(ack(i).cmd);
        return names;
    }
    // The output of the first reply for `cmd`, or a null text.
    QString ackOutput(const QString& cmd) const
    {
        const int i = ackNames().indexOf(cmd);
        return i < 0 ? QString() : ack(i).output;
    }
    // When the device saw the first request for `cmd`, or -1.
    qint64 firstAt(const QString& cmd) const
    {
        const int i = dev.requestNames().indexOf(cmd);
        return i < 0 ? -1 : dev.requests().at(i).atMs;
    }
};
