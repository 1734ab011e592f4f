#pragma once

// A decoded reply built the way the transport builds it, for tests that feed
// pages directly: the register table gives the kind, and the output text
// follows the transport's rule (decimals; 8 fixed decimals for float and
// double kinds; text up to 63 bytes).
//
//   page.mfc_ack(makeReply("ReadFlow", 37.5));   // output "37.50000000"

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
    case KIND_UINT8:
        reg.value.u8 = quint8(v.toUInt());
        reg.output = QString::number(reg.value.u8);
        break;
    case KIND_UINT16:
        reg.value.u16 = quint16(v.toUInt());
        reg.output = QString::number(reg.value.u16);
        break;
    case KIND_UINT32:
        reg.value.u32 = v.toUInt();
        reg.output = QString::number(reg.value.u32);
        break;
    case KIND_INT32:
        reg.value.i32 = v.toInt();
        reg.output = QString::number(reg.value.i32);
        break;
    case KIND_FLOAT:
        reg.value.f32 = v.toFloat();
        reg.output = QString::number(double(reg.value.f32), 'f', 8);
        break;
    case KIND_DOUBLE:
        reg.value.f64 = v.toDouble();
        reg.output = QString::number(reg.value.f64, 'f', 8);
        break;
    case KIND_TEXT: {
        const QByteArray bytes = v.toString().toUtf8().left(TervanCore::VALUE_AREA_SIZE - 1);
        std::memcpy(reg.value.text, bytes.constData(), size_t(bytes.size()));
        reg.value.text[bytes.size()] = '\0';
        reg.output = QString::fromUtf8(bytes);
        break;
    }
    default:
        break;
    }
    return reg;
}
