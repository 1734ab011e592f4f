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

void feedChunks(const QByteArray& data, int step)
{
    int state = TervanHALV3::RX_ACK;
    quint8 remain = 0;
    QByteArray buf;
    for (int i = 0; i < data.size(); i += step) {
        const QByteArray chunk = data.mid(i, step);
        if (ReplyParser::feed(chunk, state, remain, buf) == ReplyParser::FrameComplete) {
            require(buf.size() >= 8, "frame shorter than its header");
            require(quint8(buf.at(0)) == 0x06 && buf.at(1) == 0x00 && buf.at(2) == 0x02, "bad frame start");
            require(quint8(buf.at(3)) == 0x80 || quint8(buf.at(3)) == 0x81, "bad op byte");
            const int len = quint8(buf.at(4)) == 0 ? 256 : quint8(buf.at(4));
            require(buf.size() == len + 7, "frame length does not follow LEN");
            require(state == TervanHALV3::RX_ACK, "state not back at the start");
            checkDecoded(buf);
            buf.clear(); // the transport empties its buffer after every frame
        } else {
            require(buf.size() <= 263, "buffer grew past the longest frame");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    checkDecoded(input);
    feedChunks(input, qMax(1, input.size()));
    feedChunks(input, 1);
    feedChunks(input, 7);
    return 0;
}
