#pragma once

#include <QByteArray>
#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

// Which member of a decoded value area is valid.
enum mfc_kind_t {
    KIND_UINT8 = 0,
    KIND_UINT16 = 1,
    KIND_UINT32 = 2,
    KIND_INT32 = 3,
    KIND_FLOAT = 4,
    KIND_DOUBLE = 5, // every fixed-point and fraction type
    KIND_TEXT = 6,
};

// The device's register map and the value and frame codecs. Pure: no port, no
// timer; the transport owns one instance, pages may build their own to consult
// the name lists.
class TervanCore : public QObject
{
    Q_OBJECT

public:
    // One row of the register table.
    struct mfc_cmd_t
    {
        QString name;
        quint32 code = 0xFFFFFFFF; // 24-bit register code; 0xFFFFFFFF for "not in the table"
        QString type;              // value type name, e.g. "UFRAC16"
        bool range = false;        // enforce min <= value <= max on writes
        QString min;
        QString max;
    };

    // The 64-byte value area of a decoded reply; only the member named by the kind is valid.
    union mfc_value_t {
        quint8 u8;
        quint16 u16;
        quint32 u32;
        qint32 i32;
        float f32;
        double f64;
        char text[64];
    };

    // One decoded reply.
    struct mfc_reg_t
    {
        QString cmd;          // register name from the table
        int type = KIND_UINT8; // mfc_kind_t
        mfc_value_t value{};
        QString output;       // the value as text, formed by the transport
    };

    static constexpr int VALUE_AREA_SIZE = 64;
    // LEN is one byte and counts the three code bytes too.
    static constexpr int MAX_WRITE_VALUE_BYTES = 252;

    explicit TervanCore(QObject* parent = nullptr);
    ~TervanCore() override;

    // Name lists (copies).
    QStringList cmdList() const { return m_cmdList; }
    QStringList noReadList() const { return m_noReadList; }
    QStringList noReadAllList() const { return m_noReadAllList; }
    QStringList readOnlyList() const { return m_readOnlyList; }
    QStringList noCheckList() const { return m_noCheckList; }

    // True unless a write of `name` goes without read-back; true for unknown names.
    bool needCheck(const QString& name) const;

    // Row lookups; a miss yields a copy of the default "Undefined" row.
    mfc_cmd_t cmdByName(const QString& name) const;
    mfc_cmd_t cmdByCode(quint32 code) const;
    // mfc_kind_t of a register, or -1 when the name has no kind entry.
    int kindOf(const QString& name) const;

    // Frame codec.
    void setAddress(quint8 addr) { m_address = addr; }
    quint8 address() const { return m_address; }
    bool encodeRead(const QString& name, QByteArray& frame, QString& err) const;
    bool encodeWrite(const QString& name, const QString& input, QByteArray& frame, QString& err);
    bool encodeWriteFrame(const mfc_cmd_t& row, const QString& input, QByteArray& frame, QString& err);
    // Checks and decodes one complete reply; writes no output on failure.
    bool decode(const QByteArray& frame, QString& name, mfc_value_t& value, int& kind) const;

    // Byte packers and unpackers (least significant byte first, except packCode).
    static QByteArray packUInt16(quint16 v);
    static QByteArray packUInt32(quint32 v);
    static QByteArray packInt32(qint32 v);
    static QByteArray packFixed16_16(double v);
    static QByteArray packUFixed16_16(double v);
    static QByteArray packUFrac16(double v);
    static QByteArray packCode(quint32 code);
    static quint32 unpackUInt32(const QByteArray& d);
    static qint32 unpackInt32(const QByteArray& d);
    static double unpackFixed16_16(const QByteArray& d);
    static double unpackUFixed16_16(const QByteArray& d);
    static double unpackUFrac16(const QByteArray& d);
    // Low 8 bits of the plain sum of bytes [from, to].
    static quint8 checksum(const QByteArray& bytes, int from, int to);

signals:
    // Reports of the UINT8 encoder; nothing in the program connects it.
    void core_panic(QString msg);

private:
    void buildCmdTable();

    // Value encoders: parse `input`, check it against the row, produce the value bytes.
    bool encodeUInt8(const mfc_cmd_t& row, const QString& input, QByteArray& out);
    bool encodeUInt16(const mfc_cmd_t& row, const QString& input, QByteArray& out) const;
    bool encodeUInt32(const mfc_cmd_t& row, const QString& input, QByteArray& out) const;
    bool encodeInt32(const mfc_cmd_t& row, const QString& input, QByteArray& out) const;
    bool encodeFloat32(const mfc_cmd_t& row, const QString& input, QByteArray& out) const;
    bool encodeFixed16_16(const mfc_cmd_t& row, const QString& input, QByteArray& out) const;
    bool encodeUFixed16_16(const mfc_cmd_t& row, const QString& input, QByteArray& out) const;
    bool encodeUFrac16(const mfc_cmd_t& row, const QString& input, QByteArray& out) const;
    bool encodeText(const mfc_cmd_t& row, const QString& input, QByteArray& out) const;

    // Value decoders; false when the reply carries fewer bytes than the type needs.
    static bool decodeValue(const QString& type, const QByteArray& d, mfc_value_t& value);

    QStringList m_cmdList;
    QStringList m_noReadAllList;
    QStringList m_noReadList;
    QStringList m_readOnlyList;
    QStringList m_noCheckList;
    mfc_cmd_t m_undefined;
    QMap<quint32, mfc_cmd_t> m_codeMap;
    QMap<QString, mfc_cmd_t> m_nameMap;
    QMap<QString, int> m_kindMap;
    quint8 m_address = 0xFF;
};

Q_DECLARE_METATYPE(TervanCore::mfc_reg_t)
