#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

// Operation of one queued request; stored as int in mfc_frame_t::op.
enum mfc_op_t {
    MFC_READ = 0,   // read the named register
    MFC_WRITE = 1,  // write `input` to the named register
    MFC_DELAY = 2,  // send nothing, hold the queue for `input` milliseconds ("AppDelay")
};

// Values of register CM.
enum control_mode_t {
    CM_DIGITAL = 1,
    CM_VOLTAGE = 2,
    CM_CURRENT = 3,
    CM_DIRECT = 4,
};

// Values of register ValveCommand.
enum valve_cmd_t {
    VALVE_NORMAL = 0,
    VALVE_FULL_CLOSE = 1,
    VALVE_FULL_OPEN = 2,
};

// One queued request. Pages fill the first five fields; the transport fills `bytes`.
struct mfc_frame_t
{
    QString cmd;             // register name, or "AppDelay"
    QString input;           // value text of a write, milliseconds of a delay, empty for a read
    int op = MFC_READ;       // mfc_op_t
    bool check = false;      // read back and compare after a write
    bool background = false; // polling frame, queued behind page requests
    QByteArray bytes;        // the encoded request frame; empty for a delay
};

Q_DECLARE_METATYPE(mfc_frame_t)

// A request as pages and fixed sequences build it; `bytes` stays empty for the transport.
inline mfc_frame_t makeFrame(const QString& cmd, int op = MFC_READ, const QString& input = QString(),
                             bool check = false, bool background = false)
{
    mfc_frame_t f;
    f.cmd = cmd;
    f.op = op;
    f.input = input;
    f.check = check;
    f.background = background;
    return f;
}

// Keeps what was just written in the device's EEPROM: the commit and the hold
// the device needs after it, as every page that stores a setting sends them.
inline QList<mfc_frame_t> commitFrames(int delayMs)
{
    return {makeFrame(QStringLiteral("EEPROMProgram"), MFC_WRITE, QStringLiteral("1")),
            makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QString::number(delayMs))};
}

// Process exit code that makes main() build the window again.
constexpr int RESTART_EXIT_CODE = 1998;
// Points of the device's calibration table (CalTabValueX1..32, CalTabValueY1..32).
constexpr int CAL_REGS_NUMBER = 32;
