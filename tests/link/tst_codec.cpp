// The register table, value codec and frame codec, without a port: request
// frames as hex, refused values with their messages, replies decoded or refused.
#include "replyparser.h"
#include "tervancore.h"

#include <QSignalSpy>
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

// A decoded reply as the transport forms it; the value area is followed by a
// guard, to see a decoder write past its 64 bytes.
struct Decoded
{
    QString name = "kept";
    int kind = 99;
    TervanCore::mfc_value_t value;
    unsigned char guard[64];
    bool run(const TervanCore& core, const QByteArray& f, unsigned char fill)
    {
        std::memset(&value, fill, sizeof value + sizeof guard);
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
    // Request frames; the expected bytes are built here from the register code
    // the device documents, so the table's codes are checked too.
    void requests_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("input"); // null: a read
        QTest::addColumn<QByteArray>("frame");
        // The fraction of a tiny negative 16.16 value (-1e-20) must not carry into the integer part.
        const struct { int address; const char* name; const char* input; quint32 code; const char* value; } rows[] = {
            {0xFF, "MACAddress", nullptr, 0x030101, ""}, {0x20, "ReadFlow", nullptr, 0x6801B9, ""}, {0x00, "CM", nullptr, 0x690103, ""},
            {0x21, "MACAddress", "33", 0x030101, "21"}, {0xFF, "MACAddress", "95", 0x030101, "5f"}, {0xFF, "ValveCommandMode", "5", 0x6A01A1, "05"},
            {0x20, "TargetGasFullScaleRange", "55000", 0x660103, "d8d6"}, {0xFF, "Delay", "1000", 0x6901A6, "e803"},
            {0xFF, "ReadTotalTimeOnTimer", "4294967295", 0xA40101, "ffffffff"}, {0xFF, "ReadVoltageADC", "-2147483648", 0xA00105, "00000080"},
            {0xFF, "SensorGain", "-2.5", 0xA10101, "000020c0"}, {0xFF, "K1", "10000", 0xA3010A, "00401c46"},
            {0xFF, "TargetNullValue", "-0.25", 0xA10107, "00c0ffff"}, {0xFF, "TargetNullValue", "1.1", 0xA10107, "99190100"},
            {0xFF, "TargetNullValue", "32767.5", 0xA10107, "0080ff7f"}, {0xFF, "TargetNullValue", "-1e-20", 0xA10107, "ffffffff"},
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
    }
    void requests()
    {
        QFETCH(int, address);
        QFETCH(QString, name);
        QFETCH(QString, input);
        TervanCore core;
        core.setAddress(quint8(address));
        QByteArray out;
        QString err;
        QVERIFY2(input.isNull() ? core.encodeRead(name, out, err) : core.encodeWrite(name, input, out, err), qPrintable(err));
        QFETCH(QByteArray, frame);
        QCOMPARE(out.toHex(' '), frame.toHex(' '));
    }

    void refused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("report"); // what the 8-bit encoder reports through core_panic
        const struct { const char* name; const char* input; const char* report; } rows[] = {
            {"MACAddress", "31", "cmd: MACAddress value:31 over range from 32 to 95."},
            {"MACAddress", "96", "cmd: MACAddress value:96 over range from 32 to 95."},
            {"MACAddress", "abc", "cmd: MACAddress with unvalid input: abc."}, {"CM", "-1", "cmd: CM with unvalid input: -1."},
            {"CM", "256", "cmd: CM value:256 over range from  to ."}, {"Reset", "0", "cmd: Reset value:0 over range from 1 to 1."},
            {"TargetGasFullScaleRange", "55001", ""}, {"CalibrationGasFullScaleRange", "0", ""}, {"Delay", "65536", ""},
            {"Delay", "1e3", ""}, {"ReadTotalTimeOnTimer", "4294967296", ""}, {"ReadVoltageADC", "1.5", ""}, {"K1", "10000.5", ""},
            {"SensorGain", "1,5", ""}, {"SensorGain", "1e39", ""}, {"SensorGain", "nan", ""}, {"CalTabValueX1", "2.0001", ""},
            {"TargetNullValue", "32768", ""}, {"TargetNullValue", "-32768.5", ""}, {"TargetNullValue", "inf", ""},
            {"RangeConstantRangeNo1", "0.89", ""}, {"DigitalSetpoint", "-0.1", ""}, {"DigitalSetpoint", "149.9985", ""},
            {"Undefined", "1", ""}, {"digitalSetpoint", "1", ""}, {"ReadFlow ", "1", ""}, {"LowStartValve", "1", ""},
        };
        for (const auto& r : rows)
            QTest::addRow("%s %s", r.name, r.input) << r.name << r.input << r.report;
        QTest::newRow("text of 253 bytes") << "TargetGasName" << QString(253, 'x') << QString();
    }
    void refused()
    {
        QFETCH(QString, name);
        QFETCH(QString, input);
        QFETCH(QString, report);
        TervanCore core;
        QSignalSpy panic(&core, &TervanCore::core_panic);
        const TervanCore::mfc_cmd_t row = core.cmdByName(name);
        const bool known = row.code != 0xFFFFFFFF;
        const QString expected = known ? QString("Can't encode command: %1 data type: %2, with input %3!").arg(name, row.type, input)
                                       : QString::fromUtf8("未定义MFC命令: ") + name;
        if (known)
            QTest::ignoreMessage(QtDebugMsg, qPrintable(expected));
        QByteArray out = hex("deadbeef");
        QString err;
        QVERIFY(!core.encodeWrite(name, input, out, err));
        QCOMPARE(err, expected);
        QCOMPARE(out, hex("deadbeef"));
        QCOMPARE(panic.isEmpty() ? QString() : panic.first().first().toString() + QString(panic.count() - 1, '+'), report);
        if (!known) {
            QVERIFY(!core.encodeRead(name, out, err));
            QCOMPARE(err, expected);
        }
    }

    void decode_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("output"); // the transport's text of the decoded value
        const struct { const char* name; const char* value; const char* output; } rows[] = {
            {"MACAddress", "ff", "255"}, {"Delay", "0100ffff", "1"}, {"TargetGasFullScaleRange", "d8d6", "55000"},
            {"ReadTotalControledFlowTime", "ffffffff", "4294967295"}, {"ReadCurrentADC", "00000080", "-2147483648"},
            {"SensorGain", "0000803f", "1.00000000"}, {"TargetNullValue", "000038ff", "-200.00000000"},
            {"CalibrationGas2N2Conversion", "0080ffff", "65535.50000000"}, {"ReadFlow", "0000", "-50.00000000"},
            {"ReadActiveSetpoint", "ffff", "149.99694824"}, {"FirmwareVersion", "", ""},
            {"ProductName", "c3a974c3a9", "\xc3\xa9t\xc3\xa9"},
        };
        for (const auto& r : rows)
            QTest::addRow("%s %s", r.name, r.value) << r.name << hex(r.value) << QString::fromUtf8(r.output);
        // The longest reply LEN allows: 124 bytes, of which the value area keeps 63.
        QTest::newRow("text of 124 bytes") << "MFCSerialNumber" << QByteArray(124, 'T') << QString(63, 'T');
    }
    void decode()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, value);
        TervanCore core;
        Decoded d;
        QVERIFY(d.run(core, frame(hex("06000280"), core.cmdByName(name).code, value, 1), 0xA5));
        QCOMPARE(d.name, name);
        QTEST(d.reg().output, "output");
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(d.guard), sizeof d.guard), QByteArray(sizeof d.guard, '\xA5'));
    }

    void decodeRefused_data()
    {
        QTest::addColumn<QByteArray>("reply");
        const QByteArray flow = hex("06000280056801b900700019");
        QTest::newRow("wrong checksum") << hex("06000280056801b900700018");
        // Op 82, NAK instead of ACK, byte 2 not 02, LEN one short and one long, a code not in the table.
        for (const char* bad : {"06000282056801b900700000", "15000280056801b900700000", "06000380056801b900700000",
                                "06000280046801b900700000", "06000280066801b900700000", "06000280056901ff00700000"})
            QTest::addRow("%s", bad) << withSum(hex(bad));
        QTest::newRow("trailing byte") << flow + hex("00");
        QTest::newRow("125 text bytes: LEN negative as a signed byte") << frame(hex("06000280"), 0x640107, QByteArray(125, 'x'), 1);
        for (int n = 0; n < flow.size(); ++n)
            QTest::addRow("first %d bytes", n) << flow.left(n);
        // Fewer value bytes than the type needs.
        const struct { quint32 code; const char* value; } shortRows[] = {
            {0x690103, ""}, {0x6901A6, "e8"}, {0x6801B9, "70"}, {0xA40101, "008000"},
            {0xA00105, "feff"}, {0xA10101, "000080"}, {0xA10107, "0000c8"}, {0x6801C1, "00"},
        };
        for (const auto& s : shortRows)
            QTest::addRow("code %06x with '%s'", s.code, s.value) << frame(hex("06000280"), s.code, hex(s.value), 1);
    }
    void decodeRefused()
    {
        QFETCH(QByteArray, reply);
        Decoded d;
        QVERIFY(!d.run(TervanCore(), reply, 0x3C));
        QCOMPARE(d.name + QString::number(d.kind), QString("kept99"));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&d.value), sizeof d.value), QByteArray(sizeof d.value, '\x3C'));
    }

    // Every register's write frame, turned into the device's echo, decodes back
    // to that register and value: no two rows share a code, every type has a codec.
    void everyRegisterRoundTrip()
    {
        TervanCore core;
        int checked = 0;
        for (const QString& name : core.cmdList()) {
            const TervanCore::mfc_cmd_t row = core.cmdByName(name);
            if (row.code == 0xFFFFFFFF)
                continue;
            const QString input = row.type.startsWith("TEXT") ? "v" + name : row.range ? row.max : QString("1");
            QByteArray out;
            QString err;
            QVERIFY2(core.encodeWrite(name, input, out, err), qPrintable(name + ": " + err));
            Decoded d;
            QVERIFY2(d.run(core, withSum(hex("0600") + out.mid(1, out.size() - 2) + hex("00")), 0), qPrintable(name));
            QCOMPARE(d.name, name);
            QVERIFY2(ReplyParser::valueMatches(d.reg(), input), qPrintable(name + ": " + d.reg().output));
            ++checked;
        }
        QCOMPARE(checked, 199);
    }

    void lookups()
    {
        TervanCore core;
        for (quint32 miss : {0xFFFFFFFFu, 0u, 0x6802B9u, 0x016801B9u})
            QCOMPARE(core.cmdByCode(miss).name, QString("Undefined"));
        // Writes that the device answers with another value are not read back.
        for (const char* name : {"BaudRate", "Reset", "EEPROMProgram", "ControlFlowAccumulatorMode"})
            QVERIFY2(!core.needCheck(name), name);
        for (const char* name : {"DigitalSetpoint", "CM", "CalTabValueY32", "NoSuchRegister"})
            QVERIFY2(core.needCheck(name), name);
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
