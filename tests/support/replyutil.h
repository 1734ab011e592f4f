#pragma once

// A decoded reply built the way the transport builds it, for tests that feed
// pages directly: the register table gives the kind, and the output text is
// the transport's own (decimals; 8 fixed decimals for float and double kinds;
// text up to 63 bytes).
//
//   page.mfc_ack(makeReply("ReadFlow", 37.5));   // output "37.50000000"

#include "replyparser.h"
#include "tervancore.h"

#include <QString>
#include <QVariant>

#include <cstring>

inline TervanCore::mfc_reg_t makeReply(const QString& cmd, const QVariant& v)
{
    static const TervanCore table;
    TervanCore::mfc_reg_t reg;
    reg.cmd = cmd;
    reg.type = table.kindOf(cmd);
    switch (reg.type) {
    case KIND_UINT8: reg.value.u8 = quint8(v.toUInt()); break;
    case KIND_UINT16: reg.value.u16 = quint16(v.toUInt()); break;
    case KIND_UINT32: reg.value.u32 = v.toUInt(); break;
    case KIND_INT32: reg.value.i32 = v.toInt(); break;
    case KIND_FLOAT: reg.value.f32 = v.toFloat(); break;
    case KIND_DOUBLE: reg.value.f64 = v.toDouble(); break;
    case KIND_TEXT: {
        const QByteArray bytes = v.toString().toUtf8().left(TervanCore::VALUE_AREA_SIZE - 1);
        std::memcpy(reg.value.text, bytes.constData(), size_t(bytes.size()));
        reg.value.text[bytes.size()] = '\0';
        break;
    }
    default:
        break;
    }
    reg.output = ReplyParser::outputText(reg);
    return reg;
}
