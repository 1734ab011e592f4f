#pragma once

// Small helpers for the transport tests: read frames and a capture of the
// debug output (the transport's traces go there).

#include "mfcframe.h"
#include "tervancore.h"

#include <QStringList>
#include <QtGlobal>

inline mfc_frame_t readFrame(const QString& cmd, bool background = false)
{
    return makeFrame(cmd, MFC_READ, QString(), false, background);
}

// Collects every message while alive and still passes it on.
class DebugCapture
{
public:
    DebugCapture()
    {
        lines().clear();
        previous() = qInstallMessageHandler(&DebugCapture::handler);
    }
    ~DebugCapture() { qInstallMessageHandler(previous()); }

    QStringList all() const { return lines(); }
    int count(const QString& needle) const
    {
        int n = 0;
        for (const QString& l : lines()) {
            if (l.contains(needle))
                ++n;
        }
        return n;
    }

private:
    static QStringList& lines()
    {
        static QStringList s;
        return s;
    }
    static QtMessageHandler& previous()
    {
        static QtMessageHandler h = nullptr;
        return h;
    }
    static void handler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
    {
        lines().append(msg);
        if (previous())
            previous()(type, ctx, msg);
    }
};
