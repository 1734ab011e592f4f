// Feeds arbitrary bytes through the reply decoder and the receive state
// machine, as one chunk and in 1-byte and 7-byte chunks, and checks what
// comes out.
#include "replyparser.h"
#include "tervancore.h"
#include "tervanhalv3.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

TervanCore& core()
{
    static TervanCore* c = new TervanCore;
    return *c;
}

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_rx: %s\n", what);
        std::abort();
    }
}

void checkDecoded(const QByteArray& frame)
{
    QString name;
    TervanCore::mfc_value_t value;
    std::memset(&value, 0xA5, sizeof value); // no NUL unless the decoder writes one
    int kind = -1;
    if (!core().decode(frame, name, value, kind))
        return;

    require(frame.size() >= 10 && frame.size() <= 134, "accepted a reply of impossible length"); // LEN 3..127
    require(kind >= KIND_UINT8 && kind <= KIND_TEXT, "kind out of range");
    require(core().cmdByName(name).code != 0xFFFFFFFF, "name not in the table");
    if (kind == KIND_TEXT)
        require(std::memchr(value.text, 0, sizeof value.text) != nullptr, "text without NUL in the value area");

    TervanCore::mfc_reg_t reg;
    reg.cmd = name;
    reg.type = kind;
    reg.value = value;
    reg.output = ReplyParser::outputText(reg);
    // Writing back what was read must pass the read-back check.
    const bool finite = kind == KIND_FLOAT ? std::isfinite(value.f32) : (kind == KIND_DOUBLE ? std::isfinite(value.f64) : true);
    if (finite)
        require(ReplyParser::valueMatches(reg, reg.output), "value does not match its own output text");
}

// The frames found when the input comes in chunks of `step` bytes, each chunk
// fed again from where a frame ended, as the transport does.
QList<QByteArray> feedChunks(const QByteArray& data, int step)
{
    int state = TervanHALV3::RX_ACK;
    quint8 remain = 0;
    QByteArray buf;
    QList<QByteArray> frames;
    for (int i = 0; i < data.size(); i += step) {
        QByteArray chunk = data.mid(i, step);
        int used = 0;
        while (ReplyParser::feed(chunk, state, remain, buf, &used) == ReplyParser::FrameComplete) {
            require(used > 0 && used <= chunk.size(), "used count outside the chunk");
            require(buf.size() >= 8, "frame shorter than its header");
            require(quint8(buf.at(0)) == 0x06 && buf.at(1) == 0x00 && buf.at(2) == 0x02, "bad frame start");
            require(quint8(buf.at(3)) == 0x80 || quint8(buf.at(3)) == 0x81, "bad op byte");
            const int len = quint8(buf.at(4)) == 0 ? 256 : quint8(buf.at(4));
            require(buf.size() == len + 7, "frame length does not follow LEN");
            require(state == TervanHALV3::RX_ACK, "state not back at the start");
            checkDecoded(buf);
            frames << buf;
            buf.clear(); // the transport empties its buffer after every frame
            chunk = chunk.mid(used);
        }
        require(buf.size() <= 263, "buffer grew past the longest frame");
    }
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    checkDecoded(input);
    // However the reads split the bytes, the same frames.
    const QList<QByteArray> whole = feedChunks(input, qMax(1, input.size()));
    require(feedChunks(input, 1) == whole, "byte by byte finds other frames than the whole input");
    require(feedChunks(input, 7) == whole, "chunks of 7 find other frames than the whole input");
    return 0;
}
