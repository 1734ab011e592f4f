#pragma once

// A decoded reply as the transport builds it (kind from the register table, the
// transport's own output text), for tests that feed pages directly.

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
