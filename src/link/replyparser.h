#pragma once

#include "tervancore.h"

#include <QByteArray>
#include <QString>

// The pure half of reply reception: the byte-level state machine that cuts
// reply frames out of received chunks, the text form of a decoded value and the
// read-back comparison. No port and no timer, so it can be tested and fuzzed
// on its own; TervanHALV3 keeps the state in its own members and drives it.
class ReplyParser
{
public:
    enum Result {
        NeedMore,      // the chunk ended inside a frame (or held no frame start)
        FrameComplete, // `buf` holds one whole frame; `*used` tells where the rest of the chunk begins
    };

    // Runs one received chunk through the state machine. `state` is an
    // RxState value, `remain` the body bytes still expected, `buf` the frame
    // being assembled; all three carry over between chunks. A byte a header
    // state does not accept ends the frame begun in `buf`: scanning starts
    // again at the byte after that frame's first, so the rejected byte, or
    // one before it, may begin the next frame. On FrameComplete the state is back at the start
    // and `*used` (when given) is the number of chunk bytes up to and including the frame's
    // last; the caller feeds the rest again, so what is found never depends on how the
    // bytes were split into chunks. On NeedMore the whole chunk was used.
    static Result feed(const QByteArray& chunk, int& state, quint8& remain, QByteArray& buf, int* used = nullptr);

    // The value as text by its kind: decimals for the integers, fixed notation
    // with 8 decimals for float and double (more for a small float, so that its
    // text reads back as the same single), the text up to its NUL as UTF-8.
    static QString outputText(const TervanCore::mfc_reg_t& reg);

    // Whether a value read back after a write matches the written text:
    // integers and texts by `reg.output` exactly, float and double within 0.01.
    static bool valueMatches(const TervanCore::mfc_reg_t& reg, const QString& written);
};
