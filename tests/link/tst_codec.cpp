// The register table, value codec and frame codec, without a port: request
// frames as hex, refused values with their messages, replies decoded or refused.
#include "replyparser.h"
#include "tervancore.h"

#include <QtTest>

#include <cstring>

namespace {

QByteArray hex(const char* s)
{
    return QByteArray::fromHex(s);
}

quint8 sum8(const QByteArray& b, int from)
{
    quint8 s = 0;
    for (int i = from; i < b.size(); ++i)
        s = quint8(s + quint8(b.at(i)));
    return s;
}

// Frames built here, independently of the codec: a request (checksum over all
// bytes before it) or a reply (over bytes 1 to N-2).
QByteArray frame(const QByteArray& head, quint32 code, const QByteArray& value, int sumFrom)
{
    QByteArray f = head;
    f.append(char(value.size() + 3)).append(char(code >> 16)).append(char(code >> 8)).append(char(code));
    f.append(value).append('\0');
    return f.append(char(sum8(f, sumFrom)));
}

QByteArray withSum(QByteArray f)
{
    f.chop(1);
    return f.append(char(sum8(f, 1)));
}

// A reply decoded as the transport does it; a refused one leaves every field as it was.
struct Decoded
{
    QString name = "kept";
    int kind = 99;
    TervanCore::mfc_value_t value;
    bool run(const TervanCore& core, const QByteArray& f)
    {
        std::memset(&value, 0x3C, sizeof value);
        return core.decode(f, name, value, kind);
    }
    TervanCore::mfc_reg_t reg() const
    {
        TervanCore::mfc_reg_t r;
        r.type = kind;
        r.value = value;
        r.output = ReplyParser::outputText(r);
        return r;
    }
};

} // namespace

class TestCodec : public QObject
{
    Q_OBJECT

private slots:
    // Request frames, the expected bytes built here from the register code the
    // device documents; refused inputs, with the message the caller gets.
    void encodes_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("input");    // null: a read
        QTest::addColumn<QByteArray>("frame"); // empty: refused
        // -1e-20 lies within the margin below 0: sent as 0, not as -1.
        const struct { int address; const char* name; const char* input; quint32 code; const char* value; } rows[] = {
            {0xFF, "MACAddress", nullptr, 0x030101, ""}, {0x20, "ReadFlow", nullptr, 0x6801B9, ""}, {0x00, "CM", nullptr, 0x690103, ""},
            {0x21, "MACAddress", "33", 0x030101, "21"}, {0xFF, "MACAddress", "95", 0x030101, "5f"}, {0xFF, "ValveCommandMode", "5", 0x6A01A1, "05"},
            {0x20, "TargetGasFullScaleRange", "55000", 0x660103, "d8d6"}, {0xFF, "Delay", "1000", 0x6901A6, "e803"},
            {0xFF, "ReadTotalTimeOnTimer", "4294967295", 0xA40101, "ffffffff"}, {0xFF, "ReadVoltageADC", "-2147483648", 0xA00105, "00000080"},
            {0xFF, "SensorGain", "-2.5", 0xA10101, "000020c0"}, {0xFF, "K1", "10000", 0xA3010A, "00401c46"},
            {0xFF, "CalTabValueX1", "2", 0x660110, "00000200"}, {0xFF, "TargetNullValue", "-0.25", 0xA10107, "00c0ffff"},
            {0xFF, "TargetNullValue", "1.1", 0xA10107, "99190100"}, {0xFF, "CalTabValueX1", "2.00000001", 0x660110, "00000200"},
            {0xFF, "TargetNullValue", "32767.5", 0xA10107, "0080ff7f"}, {0xFF, "TargetNullValue", "-1e-20", 0xA10107, "00000000"},
            {0xFF, "VoltageSetpointOffset", "0.75", 0xA00102, "00c00000"}, {0xFF, "RangeConstantRangeNo1", "0.9", 0x6801C1, "66e60000"},
            {0x20, "DigitalSetpoint", "50", 0x6901A4, "0080"}, {0xFF, "DigitalSetpoint", "0", 0x6901A4, "0040"},
            {0xFF, "DigitalSetpoint", "33.3", 0x6901A4, "a06a"}, {0xFF, "DigitalSetpoint", "0.00152587890625", 0x6901A4, "0140"},
            {0xFF, "DigitalSetpoint", "149.998", 0x6901A4, "ffff"}, {0x20, "MFCSerialNumber", "SN-1", 0x640107, "534e2d31"},
            {0xFF, "ProductName", "", 0x010107, ""},
        };
        for (const auto& r : rows) {
            const QByteArray head = QByteArray(1, char(r.address)) + (r.input ? hex("0281") : hex("0280"));
            QTest::addRow("%s %s at %02x", r.name, r.input ? r.input : "read", r.address)
                << r.address << r.name << QString(r.input) << frame(head, r.code, hex(r.value), 0);
        }
        QTest::newRow("TEXT8 not bound by type") << 0xFF << "FirmwareVersion" << QString(252, 'x')
                                                 << frame(hex("ff0281"), 0x640105, QByteArray(252, 'x'), 0);
        const struct { const char* name; const char* input; } refused[] = {
            {"MACAddress", "31"}, {"MACAddress", "96"}, {"MACAddress", "abc"}, {"CM", "-1"}, {"CM", "256"},
            {"Reset", "0"}, {"TargetGasFullScaleRange", "55001"}, {"CalibrationGasFullScaleRange", "0"},
            {"Delay", "65536"}, {"Delay", "1e3"}, {"ReadTotalTimeOnTimer", "4294967296"}, {"K1", "10000.5"},
            {"ReadVoltageADC", "1.5"}, {"SensorGain", "1,5"}, {"SensorGain", "1e39"}, {"SensorGain", "nan"},
            {"CalTabValueX1", "2.0001"}, {"TargetNullValue", "32768"}, {"TargetNullValue", "-32768.5"},
            {"TargetNullValue", "inf"}, {"RangeConstantRangeNo1", "0.89"}, {"DigitalSetpoint", "-0.1"},
            {"DigitalSetpoint", "149.9985"}, {"Undefined", "1"}, {"Undefined", nullptr}, {"ReadFlow ", "1"},
            {"digitalSetpoint", "1"}, {"LowStartValve", "1"},
        };
        for (const auto& r : refused)
            QTest::addRow("%s %s refused", r.name, r.input ? r.input : "read")
                << 0xFF << r.name << QString(r.input) << QByteArray();
        QTest::newRow("text of 253 bytes") << 0xFF << "TargetGasName" << QString(253, 'x') << QByteArray();
    }
    void encodes()
    {
        QFETCH(int, address);
        QFETCH(QString, name);
        QFETCH(QString, input);
        QFETCH(QByteArray, frame);
        TervanCore core;
        core.setAddress(quint8(address));
        const TervanCore::mfc_cmd_t row = core.cmdByName(name);
        const bool known = row.code != 0xFFFFFFFF;
        const QString refusal = known ? QString("Can't encode command: %1 data type: %2, with input %3!")
                                            .arg(name, row.type, input)
                                      : QString::fromUtf8("未定义MFC命令: ") + name;
        if (known && frame.isEmpty())
            QTest::ignoreMessage(QtDebugMsg, qPrintable(refusal));
        QByteArray out = hex("deadbeef");
        QString err;
        const bool ok = input.isNull() ? core.encodeRead(name, out, err)
                                       : core.encodeWrite(name, input, out, err);
        QCOMPARE(err, frame.isEmpty() ? refusal : QString());
        QCOMPARE(out.toHex(' '), (frame.isEmpty() ? hex("deadbeef") : frame).toHex(' '));
        QCOMPARE(ok, !frame.isEmpty());
    }

    // Replies as the device sends them, and "name=text" of the decoded value as
    // the transport shows it; "kept=": refused, and nothing written.
    void decodes_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("steps");       // -1: not written back
        QTest::addColumn<quint32>("stride");
        const struct { const char* name; const char* value; const char* output; } rows[] = {
            {"MACAddress", "ff", "255"}, {"Delay", "0100ffff", "1"}, {"TargetGasFullScaleRange", "d8d6", "55000"},
            {"ReadTotalControledFlowTime", "ffffffff", "4294967295"}, {"ReadCurrentADC", "00000080", "-2147483648"},
            {"SensorGain", "0000803f", "1.00000000"}, {"TargetNullValue", "000038ff", "-200.00000000"},
            {"CalibrationGas2N2Conversion", "0080ffff", "65535.50000000"}, {"ReadFlow", "0000", "-50.00000000"},
            {"ReadActiveSetpoint", "ffff", "149.99694824"}, {"FirmwareVersion", "", ""},
            {"ProductName", "c3a974c3a9", "\xc3\xa9t\xc3\xa9"},
        };
        const TervanCore core;
        const auto reply = [](quint32 code, const QByteArray& v) { return frame(hex("06000280"), code, v, 1); };
        for (const auto& r : rows)
            QTest::addRow("%s %s", r.name, r.value)
                << reply(core.cmdByName(r.name).code, hex(r.value)) << QString(r.name) + '=' + r.output << -1 << 0u;
        // Sweeps of raw values, each `stride` above the one before: every fraction of
        // 16.16 at a few integer parts, every non-negative percentage, runs of singles.
        const struct { const char* name; quint32 raw; int steps; quint32 stride; const char* output; } sweeps[] = {
            {"CalTabValueX1", 0x0999, 0, 1, "0.03749084"}, {"TargetNullValue", 0, 0xFFFF, 1, "0.00000000"},
            {"TargetNullValue", 0x10000, 0xFFFF, 1, "1.00000000"}, {"TargetNullValue", 0xFFFF0000, 0xFFFF, 1, "-1.00000000"},
            {"TargetNullValue", 0xFF380000, 0xFFFF, 1, "-200.00000000"}, {"TargetNullValue", 0x7FFF0000, 0xFFFF, 1, "32767.00000000"},
            {"TargetNullValue", 0x80000000, 0xFFFF, 1, "-32768.00000000"}, {"RangeConstantRangeNo1", 0, 0xFFFF, 1, "0.00000000"},
            {"RangeConstantRangeNo1", 0x10000, 0xFFFF, 1, "1.00000000"}, {"RangeConstantRangeNo1", 0xFFFF0000, 0xFFFF, 1, "65535.00000000"},
            {"DigitalSetpoint", 0x4000, 0xBFFF, 1, "0.00000000"}, {"SensorGain", 0x3F800000, 0xFFFF, 1, "1.00000000"},
            {"SensorGain", 0x3DCCCCCD, 0xFFFF, 1, "0.10000000"}, {"SensorGain", 1, 0xFFF, 0x7F7F0, "0.000000000000000000000000000000000000000000001"},
            {"SensorGain", 0x80000001, 0xFFF, 0x7F7F0, "-0.000000000000000000000000000000000000000000001"},
        };
        for (const auto& s : sweeps)
            QTest::addRow("%s from %08x", s.name, s.raw)
                << reply(core.cmdByName(s.name).code, TervanCore::packUInt32(s.raw).left(s.raw == 0x4000 ? 2 : 4))
                << QString(s.name) + '=' + s.output << s.steps << s.stride;
        // The longest reply LEN allows: 124 bytes, of which the value area keeps 63.
        QTest::newRow("text of 124 bytes") << reply(0x640107, QByteArray(124, 'T'))
                                           << "MFCSerialNumber=" + QString(63, 'T') << -1 << 0u;
        const QString kept = "kept=";
        const QByteArray flow = hex("06000280056801b900700019");
        QTest::newRow("wrong checksum") << hex("06000280056801b900700018") << kept << -1 << 0u;
        // Op 82, NAK instead of ACK, byte 2 not 02, LEN one short and one long, a code not in the table.
        for (const char* bad : {"06000282056801b900700000", "15000280056801b900700000", "06000380056801b900700000",
                                "06000280046801b900700000", "06000280066801b900700000", "06000280056901ff00700000"})
            QTest::addRow("%s", bad) << withSum(hex(bad)) << kept << -1 << 0u;
        QTest::newRow("trailing byte") << flow + hex("00") << kept << -1 << 0u;
        QTest::newRow("LEN 128, negative as a signed byte") << reply(0x640107, QByteArray(125, 'x')) << kept << -1 << 0u;
        for (int n = 0; n < flow.size(); ++n)
            QTest::addRow("first %d bytes", n) << flow.left(n) << kept << -1 << 0u;
        // Fewer value bytes than the type needs.
        const struct { quint32 code; const char* value; } shortRows[] = {
            {0x690103, ""}, {0x6901A6, "e8"}, {0x6801B9, "70"}, {0xA40101, "008000"},
            {0xA00105, "feff"}, {0xA10101, "000080"}, {0xA10107, "0000c8"}, {0x6801C1, "00"},
        };
        for (const auto& s : shortRows)
            QTest::addRow("code %06x, '%s'", s.code, s.value) << reply(s.code, hex(s.value)) << kept << -1 << 0u;
    }
    void decodes()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, output);
        Decoded d;
        const bool ok = d.run(TervanCore(), reply);
        QCOMPARE(d.name + '=' + d.reg().output, output);
        const QByteArray area(reinterpret_cast<const char*>(&d.value), sizeof d.value);
        QVERIFY(ok || area == QByteArray(area.size(), '\x3C'));

        // The shown text writes back the bytes it was decoded from (Read all, then Write all).
        QFETCH(int, steps);
        QFETCH(quint32, stride);
        TervanCore core;
        TervanCore::mfc_cmd_t row = core.cmdByName(d.name);
        row.range = false; // the representation is tested here, not the register's limits
        const int n = reply.size() - 10;
        quint32 raw = TervanCore::unpackUInt32(reply.mid(8, n));
        for (int k = 0; k <= steps; ++k, raw += stride) {
            const QByteArray value = TervanCore::packUInt32(raw).left(n);
            Decoded e;
            QByteArray written;
            QVERIFY(e.run(core, withSum(reply.left(8) + value + hex("0000"))));
            QVERIFY2(core.encodeWriteFrame(row, e.reg().output, written, e.name), qPrintable(e.reg().output));
            QCOMPARE(written.mid(7, n).toHex() + ' ' + e.reg().output, value.toHex() + ' ' + e.reg().output);
        }
    }

    // Every register's write frame, turned into the device's echo, decodes back
    // to that register and value: no two rows share a code, every type has a codec.
    // A register with a range, written at either end, shows a text that writes
    // back the same bytes (Read all, then Write all or an export imported).
    void everyRegisterRoundTrip()
    {
        TervanCore core;
        for (const QString& name : core.cmdList()) {
            const TervanCore::mfc_cmd_t row = core.cmdByName(name);
            if (row.code == 0xFFFFFFFF)
                continue;
            const QStringList inputs = row.type.startsWith("TEXT") ? QStringList{"v" + name}
                                       : row.range                 ? QStringList{row.min, row.max} : QStringList{"1"};
            for (const QString& input : inputs) {
                QByteArray out, again;
                QString err;
                QVERIFY2(core.encodeWrite(name, input, out, err), qPrintable(name + ": " + err));
                Decoded d;
                QVERIFY2(d.run(core, withSum(hex("0600") + out.mid(1, out.size() - 2) + hex("00"))), qPrintable(name));
                QCOMPARE(d.name, name);
                QVERIFY2(ReplyParser::valueMatches(d.reg(), input), qPrintable(name + ": " + d.reg().output));
                QVERIFY2(core.encodeWrite(name, d.reg().output, again, err), qPrintable(name + ": " + err));
                QCOMPARE(again.toHex(), out.toHex());
            }
        }
    }

    void lookups()
    {
        TervanCore core;
        // Writes that the device answers with another value are not read back.
        for (const char* name : {"BaudRate", "Reset", "EEPROMProgram", "ControlFlowAccumulatorMode"})
            QVERIFY2(!core.needCheck(name), name);
        for (const char* name : {"DigitalSetpoint", "CM", "CalTabValueY32", "NoSuchRegister"})
            QVERIFY2(core.needCheck(name), name);
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
