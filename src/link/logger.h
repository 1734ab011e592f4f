#pragma once

#include <QString>

// A named trace channel. Traces handed to it are discarded: the same lines also
// go to the debug output, and a sink can be attached here when one is wanted.
class Logger
{
public:
    explicit Logger(const QString& name);
    void log(const QString& text);
    void clearLogs();
};
