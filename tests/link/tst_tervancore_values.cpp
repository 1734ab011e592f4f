// Value encoders (through write requests) and value decoders (through replies).
#include "tervancore.h"

#include <QSignalSpy>
#include <QtTest>

#include <cstring>

namespace {

QByteArray hex(const char* s)
{
    return QByteArray::fromHex(s);
}

quint8 sum8(const QByteArray& b, int from, int to)
{
    quint32 s = 0;
    for (int i = from; i <= to; ++i)
        s += quint8(b.at(i));
    return quint8(s & 0xFF);
}

QByteArray codeBytes(quint32 code)
{
    QByteArray c;
    c.append(char((code >> 16) & 0xFF));
    c.append(char((code >> 8) & 0xFF));
    c.append(char(code & 0xFF));
    return c;
}

// A write request as the device expects it, built independently of the codec.
QByteArray writeRequest(quint8 address, quint32 code, const QByteArray& value)
{
    QByteArray f;
    f.append(char(address));
    f.append('\x02');
    f.append(char(0x81));
    f.append(char(value.size() + 3));
    f.append(codeBytes(code));
    f.append(value);
    f.append('\0');
    f.append(char(sum8(f, 0, f.size() - 1)));
    return f;
}

// A reply as the device sends it.
QByteArray reply(quint32 code, const QByteArray& value)
{
    QByteArray f = hex("06000280");
    f.append(char(value.size() + 3));
    f.append(codeBytes(code));
    f.append(value);
    f.append('\0');
    f.append(char(sum8(f, 1, f.size() - 1)));
    return f;
}

QString encodeFailure(const QString& name, const QString& type, const QString& input)
{
    return QString("Can't encode command: %1 data type: %2, with input %3!").arg(name, type, input);
}

TervanCore::mfc_cmd_t probeRow(const QString& type, bool range, const QString& min, const QString& max)
{
    TervanCore::mfc_cmd_t r;
    r.name = "Probe";
    r.code = 0x123456;
    r.type = type;
    r.range = range;
    r.min = min;
    r.max = max;
    return r;
}

// The value area followed by a guard, to see a decoder write past its 64 bytes.
struct GuardedValue
{
    TervanCore::mfc_value_t value;
    unsigned char guard[64];
};

} // namespace

class TstTervanCoreValues : public QObject
{
    Q_OBJECT

private slots:
    void encodeAccepted_data();
    void encodeAccepted();
    void encodeRefused_data();
    void encodeRefused();
    void uint8Reports_data();
    void uint8Reports();
    void probeRows_data();
    void probeRows();
    void unknownWriteType_data();
    void unknownWriteType();
    void textEncoding_data();
    void textEncoding();
    void packers();
    void decodeValues_data();
    void decodeValues();
    void decodeTooShort_data();
    void decodeTooShort();
    void decodeLongText_data();
    void decodeLongText();
};

void TstTervanCoreValues::encodeAccepted_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("value");

    QTest::newRow("UINT8 MACAddress 32") << "MACAddress" << "32" << hex("20");
    QTest::newRow("UINT8 MACAddress 95") << "MACAddress" << "95" << hex("5F");
    QTest::newRow("UINT8 CM 255") << "CM" << "255" << hex("FF");
    QTest::newRow("UINT8 CM 0") << "CM" << "0" << hex("00");
    QTest::newRow("UINT8 Reset 1") << "Reset" << "1" << hex("01");
    QTest::newRow("UINT8 ValveCommandMode 5 unenforced") << "ValveCommandMode" << "5" << hex("05");
    QTest::newRow("UINT16 full scale 55000") << "TargetGasFullScaleRange" << "55000" << hex("D8D6");
    QTest::newRow("UINT16 full scale 0") << "TargetGasFullScaleRange" << "0" << hex("0000");
    QTest::newRow("UINT16 cal full scale 1") << "CalibrationGasFullScaleRange" << "1" << hex("0100");
    QTest::newRow("UINT16 Delay 65535") << "Delay" << "65535" << hex("FFFF");
    QTest::newRow("UINT16 Delay 1000") << "Delay" << "1000" << hex("E803");
    QTest::newRow("UINT32 3600") << "ReadTotalTimeOnTimer" << "3600" << hex("100E0000");
    QTest::newRow("UINT32 max") << "ReadTotalTimeOnTimer" << "4294967295" << hex("FFFFFFFF");
    QTest::newRow("INT32 -2") << "ReadVoltageADC" << "-2" << hex("FEFFFFFF");
    QTest::newRow("INT32 max") << "ReadVoltageADC" << "2147483647" << hex("FFFFFF7F");
    QTest::newRow("INT32 min") << "ReadVoltageADC" << "-2147483648" << hex("00000080");
    QTest::newRow("FLOAT32 1.0") << "SensorGain" << "1.0" << hex("0000803F");
    QTest::newRow("FLOAT32 -2.5") << "SensorGain" << "-2.5" << hex("000020C0");
    QTest::newRow("FLOAT32 K1 10000") << "K1" << "10000" << hex("00401C46");
    QTest::newRow("FLOAT32 K1 0") << "K1" << "0" << hex("00000000");
    QTest::newRow("FLOAT32 Gain1 -1000") << "Gain1" << "-1000" << hex("00007AC4");
    QTest::newRow("FIXED CalTabValueX1 2") << "CalTabValueX1" << "2" << hex("00000200");
    QTest::newRow("FIXED CalTabValueX1 0") << "CalTabValueX1" << "0" << hex("00000000");
    QTest::newRow("FIXED CalTabValueX1 1.5") << "CalTabValueX1" << "1.5" << hex("00800100");
    QTest::newRow("FIXED TargetNullValue -0.25") << "TargetNullValue" << "-0.25" << hex("00C0FFFF");
    QTest::newRow("FIXED TargetNullValue 1.5") << "TargetNullValue" << "1.5" << hex("00800100");
    QTest::newRow("FIXED TargetNullValue 1.1") << "TargetNullValue" << "1.1" << hex("99190100");
    QTest::newRow("FIXED TargetNullValue -1") << "TargetNullValue" << "-1" << hex("0000FFFF");
    QTest::newRow("FIXED TargetNullValue -32768") << "TargetNullValue" << "-32768" << hex("00000080");
    QTest::newRow("FIXED TargetNullValue 32767.5") << "TargetNullValue" << "32767.5" << hex("0080FF7F");
    // The fraction of a tiny negative value must not carry into the integer part.
    QTest::newRow("FIXED TargetNullValue -1e-20") << "TargetNullValue" << "-1e-20" << hex("FFFFFFFF");
    QTest::newRow("FIXED VoltagePWMOffset -1e-17") << "VoltagePWMOffset" << "-1e-17" << hex("FFFFFFFF");
    QTest::newRow("FIXED TargetNullValue -1.5e-5") << "TargetNullValue" << "-1.5e-5" << hex("FFFFFFFF");
    QTest::newRow("FIXED CpTempCorrection -1") << "TargetGasCpTempCorrection" << "-1" << hex("0000FFFF");
    QTest::newRow("FIXED unenforced 0.75") << "VoltageSetpointOffset" << "0.75" << hex("00C00000");
    QTest::newRow("UFIXED 0.9") << "RangeConstantRangeNo1" << "0.9" << hex("66E60000");
    QTest::newRow("UFIXED 2.5") << "RangeConstantRangeNo1" << "2.5" << hex("00800200");
    QTest::newRow("UFIXED 3") << "RangeConstantRangeNo10" << "3" << hex("00000300");
    QTest::newRow("UFIXED N2 0") << "CalibrationGas2N2Conversion" << "0" << hex("00000000");
    QTest::newRow("UFRAC16 0") << "DigitalSetpoint" << "0" << hex("0040");
    QTest::newRow("UFRAC16 50") << "DigitalSetpoint" << "50" << hex("0080");
    QTest::newRow("UFRAC16 100") << "DigitalSetpoint" << "100" << hex("00C0");
    QTest::newRow("UFRAC16 12.5") << "DigitalSetpoint" << "12.5" << hex("0050");
    QTest::newRow("UFRAC16 33.3") << "DigitalSetpoint" << "33.3" << hex("A06A");
    QTest::newRow("UFRAC16 half code rounds up") << "DigitalSetpoint" << "0.00152587890625" << hex("0140");
    QTest::newRow("UFRAC16 149.998 last code") << "DigitalSetpoint" << "149.998" << hex("FFFF");
    QTest::newRow("UFRAC16 read-only register") << "ReadFlow" << "50" << hex("0080");
    QTest::newRow("TEXT32 ABC") << "ProductName" << "ABC" << hex("414243");
    QTest::newRow("TEXT32 empty") << "ProductName" << "" << QByteArray();
    QTest::newRow("TEXT8 not bound by type")
        << "FirmwareVersion" << "0123456789ABCDEF0123456789" << QByteArray("0123456789ABCDEF0123456789");
}

void TstTervanCoreValues::encodeAccepted()
{
    QFETCH(QString, name);
    QFETCH(QString, input);
    QFETCH(QByteArray, value);
    TervanCore core;
    QSignalSpy panic(&core, &TervanCore::core_panic);
    QByteArray frame;
    QString err;
    QVERIFY2(core.encodeWrite(name, input, frame, err), qPrintable(err));
    QCOMPARE(frame.toHex(' '), writeRequest(0xFF, core.cmdByName(name).code, value).toHex(' '));
    QCOMPARE(panic.count(), 0);
}

void TstTervanCoreValues::encodeRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("input");

    QTest::newRow("UINT8 MACAddress 31") << "MACAddress" << "31";
    QTest::newRow("UINT8 CM -1") << "CM" << "-1";
    QTest::newRow("UINT8 Reset 0") << "Reset" << "0";
    QTest::newRow("UINT8 Reset 2") << "Reset" << "2";
    QTest::newRow("UINT16 full scale 55001") << "TargetGasFullScaleRange" << "55001";
    QTest::newRow("UINT16 full scale -1") << "TargetGasFullScaleRange" << "-1";
    QTest::newRow("UINT16 cal full scale 0") << "CalibrationGasFullScaleRange" << "0";
    QTest::newRow("UINT16 Delay 65536") << "Delay" << "65536";
    QTest::newRow("UINT16 Delay 1e3") << "Delay" << "1e3";
    QTest::newRow("UINT16 Delay empty") << "Delay" << "";
    QTest::newRow("UINT32 too big") << "ReadTotalTimeOnTimer" << "4294967296";
    QTest::newRow("UINT32 -1") << "ReadTotalTimeOnTimer" << "-1";
    QTest::newRow("INT32 too big") << "ReadVoltageADC" << "2147483648";
    QTest::newRow("INT32 1.5") << "ReadVoltageADC" << "1.5";
    QTest::newRow("FLOAT32 K1 10000.5") << "K1" << "10000.5";
    QTest::newRow("FLOAT32 K1 -1") << "K1" << "-1";
    QTest::newRow("FLOAT32 Gain1 -1000.5") << "Gain1" << "-1000.5";
    QTest::newRow("FLOAT32 abc") << "SensorGain" << "abc";
    QTest::newRow("FLOAT32 comma") << "SensorGain" << "1,5";
    QTest::newRow("FLOAT32 overflow") << "SensorGain" << "1e39";
    QTest::newRow("FLOAT32 nan") << "SensorGain" << "nan";
    QTest::newRow("FLOAT32 inf") << "SensorGain" << "inf";
    QTest::newRow("FLOAT32 -inf") << "SensorGain" << "-inf";
    QTest::newRow("FLOAT32 K1 nan") << "K1" << "nan";
    QTest::newRow("FIXED CalTabValueX1 2.0001") << "CalTabValueX1" << "2.0001";
    QTest::newRow("FIXED CalTabValueX1 -0.25") << "CalTabValueX1" << "-0.25";
    QTest::newRow("FIXED CpTempCorrection -1.01") << "TargetGasCpTempCorrection" << "-1.01";
    QTest::newRow("FIXED TargetNullValue 32768") << "TargetNullValue" << "32768";
    QTest::newRow("FIXED TargetNullValue -32768.5") << "TargetNullValue" << "-32768.5";
    QTest::newRow("FIXED TargetNullValue 1e10") << "TargetNullValue" << "1e10";
    QTest::newRow("FIXED TargetNullValue nan") << "TargetNullValue" << "nan";
    QTest::newRow("FIXED TargetNullValue inf") << "TargetNullValue" << "inf";
    QTest::newRow("FIXED TargetNullValue -inf") << "TargetNullValue" << "-inf";
    QTest::newRow("FIXED TargetNullValue comma") << "TargetNullValue" << "1,5";
    QTest::newRow("FIXED unenforced nan") << "VoltagePWMGain" << "nan";
    QTest::newRow("UFIXED 0.89") << "RangeConstantRangeNo1" << "0.89";
    QTest::newRow("UFIXED 3.01") << "RangeConstantRangeNo1" << "3.01";
    QTest::newRow("UFIXED nan") << "RangeConstantRangeNo1" << "nan";
    QTest::newRow("UFRAC16 -0.1") << "DigitalSetpoint" << "-0.1";
    QTest::newRow("UFRAC16 200.1") << "DigitalSetpoint" << "200.1";
    QTest::newRow("UFRAC16 200 does not fit") << "DigitalSetpoint" << "200";
    QTest::newRow("UFRAC16 150 does not fit") << "DigitalSetpoint" << "150";
    QTest::newRow("UFRAC16 149.9985 does not fit") << "DigitalSetpoint" << "149.9985";
    QTest::newRow("UFRAC16 nan") << "DigitalSetpoint" << "nan";
    QTest::newRow("UFRAC16 inf") << "ShutoffLevel" << "inf";
    QTest::newRow("UFRAC16 text") << "SoftstartRate" << "half";
}

void TstTervanCoreValues::encodeRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, input);
    TervanCore core;
    const QString type = core.cmdByName(name).type;
    QSignalSpy panic(&core, &TervanCore::core_panic);
    const QByteArray sentinel = hex("DEADBEEF");
    QByteArray frame = sentinel;
    QString err;
    const QString expected = encodeFailure(name, type, input);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(expected));
    QVERIFY(!core.encodeWrite(name, input, frame, err));
    QCOMPARE(err, expected);
    QCOMPARE(frame, sentinel);
    // Only the 8-bit encoder reports through the signal.
    QCOMPARE(panic.count(), type == "UINT8" ? 1 : 0);
}

void TstTervanCoreValues::uint8Reports_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("report");
    QTest::newRow("MACAddress 31") << "MACAddress" << "31" << "cmd: MACAddress value:31 over range from 32 to 95.";
    QTest::newRow("MACAddress 96") << "MACAddress" << "96" << "cmd: MACAddress value:96 over range from 32 to 95.";
    QTest::newRow("MACAddress 300") << "MACAddress" << "300"
                                    << "cmd: MACAddress value:300 over range from 32 to 95.";
    QTest::newRow("MACAddress abc") << "MACAddress" << "abc" << "cmd: MACAddress with unvalid input: abc.";
    QTest::newRow("MACAddress empty") << "MACAddress" << "" << "cmd: MACAddress with unvalid input: .";
    QTest::newRow("CM 256") << "CM" << "256" << "cmd: CM value:256 over range from  to .";
    QTest::newRow("CM -1") << "CM" << "-1" << "cmd: CM with unvalid input: -1.";
    QTest::newRow("Reset 0") << "Reset" << "0" << "cmd: Reset value:0 over range from 1 to 1.";
    QTest::newRow("ValveType 2") << "ValveType" << "2" << "cmd: ValveType value:2 over range from 0 to 1.";
}

void TstTervanCoreValues::uint8Reports()
{
    QFETCH(QString, name);
    QFETCH(QString, input);
    QFETCH(QString, report);
    TervanCore core;
    QSignalSpy panic(&core, &TervanCore::core_panic);
    QByteArray frame;
    QString err;
    QTest::ignoreMessage(QtDebugMsg, qPrintable(encodeFailure(name, "UINT8", input)));
    QVERIFY(!core.encodeWrite(name, input, frame, err));
    QCOMPARE(panic.count(), 1);
    QCOMPARE(panic.at(0).at(0).toString(), report);
    QCOMPARE(err, encodeFailure(name, "UINT8", input));
    QVERIFY(frame.isEmpty());
}

// Rows that the real table does not have, to reach the limit checks.
void TstTervanCoreValues::probeRows_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("range");
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("max");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("report"); // UINT8 only

    QTest::newRow("UINT8 unvalid min") << "UINT8" << true << "low" << "10" << "5" << false << QByteArray()
                                       << "cmd: Probe with unvalid min: low.";
    QTest::newRow("UINT8 input checked before min") << "UINT8" << true << "low" << "10" << "x" << false
                                                    << QByteArray() << "cmd: Probe with unvalid input: x.";
    QTest::newRow("UINT8 min over 255") << "UINT8" << true << "300" << "400" << "5" << false << QByteArray()
                                        << "cmd: Probe is over with min assigned: 300.";
    QTest::newRow("UINT8 unvalid max") << "UINT8" << true << "0" << "high" << "5" << false << QByteArray()
                                       << "cmd: Probe with unvalid max: high.";
    QTest::newRow("UINT8 max over 255") << "UINT8" << true << "0" << "256" << "5" << false << QByteArray()
                                        << "cmd: Probe is over with max assigned: 256.";
    QTest::newRow("UINT8 min checked before max") << "UINT8" << true << "256" << "high" << "5" << false
                                                  << QByteArray() << "cmd: Probe is over with min assigned: 256.";
    QTest::newRow("UINT8 limits unused without range") << "UINT8" << false << "low" << "high" << "7" << true
                                                        << hex("07") << "";
    QTest::newRow("UINT16 max over 65535") << "UINT16" << true << "0" << "70000" << "5" << false << QByteArray()
                                           << "";
    QTest::newRow("UINT16 unvalid min") << "UINT16" << true << "x" << "10" << "5" << false << QByteArray() << "";
    QTest::newRow("UINT32 ranged") << "UINT32" << true << "10" << "20" << "9" << false << QByteArray() << "";
    QTest::newRow("UINT32 ranged ok") << "UINT32" << true << "10" << "20" << "20" << true << hex("14000000")
                                      << "";
    QTest::newRow("INT32 ranged") << "INT32" << true << "-5" << "5" << "-6" << false << QByteArray() << "";
    QTest::newRow("INT32 ranged ok") << "INT32" << true << "-5" << "5" << "-5" << true << hex("FBFFFFFF") << "";
    QTest::newRow("FLOAT32 unvalid max") << "FLOAT32" << true << "0" << "big" << "1" << false << QByteArray()
                                         << "";
    QTest::newRow("UFIXED negative") << "UFIXED16.16" << false << "" << "" << "-0.5" << false << QByteArray()
                                     << "";
    QTest::newRow("UFIXED 65536") << "UFIXED16.16" << false << "" << "" << "65536" << false << QByteArray() << "";
    QTest::newRow("UFIXED inf") << "UFIXED16.16" << false << "" << "" << "inf" << false << QByteArray() << "";
    QTest::newRow("UFIXED nan") << "UFIXED16.16" << false << "" << "" << "nan" << false << QByteArray() << "";
    QTest::newRow("UFIXED 65535.5") << "UFIXED16.16" << false << "" << "" << "65535.5" << true << hex("0080FFFF")
                                    << "";
    QTest::newRow("UFRAC16 min below 0") << "UFRAC16" << true << "-10" << "300" << "-5" << false << QByteArray()
                                         << "";
    QTest::newRow("UFRAC16 max above 200") << "UFRAC16" << true << "-10" << "300" << "125" << true << hex("00E0")
                                           << "";
    QTest::newRow("UFRAC16 own min") << "UFRAC16" << true << "10" << "20" << "5" << false << QByteArray() << "";
    QTest::newRow("UFRAC16 own max") << "UFRAC16" << true << "10" << "20" << "20.5" << false << QByteArray()
                                     << "";
    QTest::newRow("UFRAC16 inside") << "UFRAC16" << true << "10" << "20" << "12.5" << true << hex("0050") << "";
    QTest::newRow("FRAC16.16 shares the encoder") << "FRAC16.16" << false << "" << "" << "50" << true
                                                  << hex("0080") << "";
    QTest::newRow("FRAC16.16 150 does not fit") << "FRAC16.16" << false << "" << "" << "150" << false
                                                << QByteArray() << "";
}

void TstTervanCoreValues::probeRows()
{
    QFETCH(QString, type);
    QFETCH(bool, range);
    QFETCH(QString, min);
    QFETCH(QString, max);
    QFETCH(QString, input);
    QFETCH(bool, ok);
    QFETCH(QByteArray, value);
    QFETCH(QString, report);
    TervanCore core;
    core.setAddress(0x20);
    QSignalSpy panic(&core, &TervanCore::core_panic);
    const TervanCore::mfc_cmd_t row = probeRow(type, range, min, max);
    const QByteArray sentinel = hex("0102");
    QByteArray frame = sentinel;
    QString err;
    if (!ok)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(encodeFailure("Probe", type, input)));
    QCOMPARE(core.encodeWriteFrame(row, input, frame, err), ok);
    if (ok) {
        QCOMPARE(frame.toHex(' '), writeRequest(0x20, 0x123456, value).toHex(' '));
        QCOMPARE(panic.count(), 0);
    } else {
        QCOMPARE(err, encodeFailure("Probe", type, input));
        QCOMPARE(frame, sentinel);
        if (report.isEmpty()) {
            QCOMPARE(panic.count(), 0);
        } else {
            QCOMPARE(panic.count(), 1);
            QCOMPARE(panic.at(0).at(0).toString(), report);
        }
    }
}

void TstTervanCoreValues::unknownWriteType_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("INT32LE has no encoder") << "INT32LE";
    QTest::newRow("made-up type") << "BCD8";
    QTest::newRow("closing row type") << "Undefined";
    QTest::newRow("lower case type") << "uint8";
}

void TstTervanCoreValues::unknownWriteType()
{
    QFETCH(QString, type);
    TervanCore core;
    QByteArray frame = hex("AA");
    QString err;
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Unknown data type: " + type));
    QVERIFY(!core.encodeWriteFrame(probeRow(type, false, "", ""), "1", frame, err));
    QCOMPARE(err, "Unknown data type: " + type);
    QCOMPARE(frame, hex("AA"));
}

void TstTervanCoreValues::textEncoding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::newRow("252 bytes fit LEN") << QString(252, QChar('x')) << true;
    QTest::newRow("253 bytes do not") << QString(253, QChar('x')) << false;
    QTest::newRow("1000 bytes") << QString(1000, QChar('y')) << false;
    QTest::newRow("non-ASCII") << QString::fromUtf8("N\xC3\xA9on \xE2\x82\xAC") << true;
    QTest::newRow("blanks kept") << QString("  a b  ") << true;
}

void TstTervanCoreValues::textEncoding()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    TervanCore core;
    QByteArray frame;
    QString err;
    if (!ok)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(encodeFailure("TargetGasName", "TEXT32", text)));
    QCOMPARE(core.encodeWrite("TargetGasName", text, frame, err), ok);
    if (ok) {
        const QByteArray bytes = text.toLocal8Bit();
        QCOMPARE(frame, writeRequest(0xFF, 0x660101, bytes));
        QCOMPARE(quint8(frame.at(3)), quint8(bytes.size() + 3));
    } else {
        QVERIFY(frame.isEmpty());
        QCOMPARE(err, encodeFailure("TargetGasName", "TEXT32", text));
    }
}

void TstTervanCoreValues::packers()
{
    QCOMPARE(TervanCore::packCode(0x6801B9), hex("6801B9"));
    QCOMPARE(TervanCore::packCode(0x030101), hex("030101"));
    QCOMPARE(TervanCore::packUInt16(0xD6D8), hex("D8D6"));
    QCOMPARE(TervanCore::packUInt32(3600), hex("100E0000"));
    QCOMPARE(TervanCore::packInt32(-2), hex("FEFFFFFF"));
    QCOMPARE(TervanCore::packFixed16_16(1.5), hex("00800100"));
    QCOMPARE(TervanCore::packFixed16_16(-0.25), hex("00C0FFFF"));
    QCOMPARE(TervanCore::packFixed16_16(1.1), hex("99190100"));
    QCOMPARE(TervanCore::packUFixed16_16(0.9), hex("66E60000"));
    QCOMPARE(TervanCore::packUFixed16_16(2.5), hex("00800200"));
    QCOMPARE(TervanCore::packUFrac16(0), hex("0040"));
    QCOMPARE(TervanCore::packUFrac16(100), hex("00C0"));
    QCOMPARE(TervanCore::packUFrac16(33.3), hex("A06A"));
    QCOMPARE(TervanCore::packFixed16_16(-1e-20), hex("FFFFFFFF"));
    QCOMPARE(TervanCore::unpackUInt32(hex("00800000")), 32768u);
    QCOMPARE(TervanCore::unpackInt32(hex("FEFFFFFF")), -2);
    QCOMPARE(TervanCore::unpackFixed16_16(hex("000038FF")), -200.0);
    QCOMPARE(TervanCore::unpackFixed16_16(hex("99190100")), 1.0 + 6553.0 / 65536.0);
    QCOMPARE(TervanCore::unpackUFixed16_16(hex("0000C800")), 200.0);
    QCOMPARE(TervanCore::unpackUFrac16(hex("0070")), 37.5);
    // Short input is never read past; what is missing counts as zero.
    QCOMPARE(TervanCore::unpackUInt32(hex("01")), 1u);
    QCOMPARE(TervanCore::unpackInt32(hex("FEFF")), 0xFFFE);
    QCOMPARE(TervanCore::unpackFixed16_16(hex("0080")), 0.5);
    QCOMPARE(TervanCore::unpackUFixed16_16(QByteArray()), 0.0);
    QCOMPARE(TervanCore::unpackUFrac16(hex("00")), -50.0);
    QCOMPARE(TervanCore::checksum(hex("FF0280030301010089"), 0, 7), quint8(0x89));
    QCOMPARE(TervanCore::checksum(hex("0600028005 6801B9 0070 00 19"), 1, 10), quint8(0x19));
}

void TstTervanCoreValues::decodeValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("UINT8") << "CM" << hex("04") << int(KIND_UINT8) << QVariant(4u);
    QTest::newRow("UINT8 255") << "MACAddress" << hex("FF") << int(KIND_UINT8) << QVariant(255u);
    QTest::newRow("UINT16") << "Delay" << hex("E803") << int(KIND_UINT16) << QVariant(1000u);
    QTest::newRow("UINT16 high") << "TargetGasFullScaleRange" << hex("D8D6") << int(KIND_UINT16)
                                 << QVariant(55000u);
    QTest::newRow("UINT16 extra bytes ignored") << "Delay" << hex("0100FFFF") << int(KIND_UINT16) << QVariant(1u);
    QTest::newRow("UINT32 32768") << "ReadTotalTimeOnTimer" << hex("00800000") << int(KIND_UINT32)
                                  << QVariant(32768u);
    QTest::newRow("UINT32 max") << "ReadTotalControledFlowTime" << hex("FFFFFFFF") << int(KIND_UINT32)
                                << QVariant(4294967295u);
    QTest::newRow("INT32 -2") << "ReadVoltageADC" << hex("FEFFFFFF") << int(KIND_INT32) << QVariant(-2);
    QTest::newRow("INT32 min") << "ReadCurrentADC" << hex("00000080") << int(KIND_INT32)
                               << QVariant(int(-2147483647 - 1));
    QTest::newRow("FLOAT32 1.0") << "SensorGain" << hex("0000803F") << int(KIND_FLOAT) << QVariant(1.0f);
    QTest::newRow("FLOAT32 -1000") << "Gain1" << hex("00007AC4") << int(KIND_FLOAT) << QVariant(-1000.0f);
    QTest::newRow("FIXED 200") << "TargetNullValue" << hex("0000C800") << int(KIND_DOUBLE) << QVariant(200.0);
    QTest::newRow("FIXED -200") << "TargetNullValue" << hex("000038FF") << int(KIND_DOUBLE) << QVariant(-200.0);
    QTest::newRow("FIXED -0.25") << "CalTabValueX1" << hex("00C0FFFF") << int(KIND_DOUBLE) << QVariant(-0.25);
    QTest::newRow("FIXED 1.5") << "VoltageSetpointGain" << hex("00800100") << int(KIND_DOUBLE) << QVariant(1.5);
    QTest::newRow("UFIXED 200") << "RangeConstantRangeNo1" << hex("0000C800") << int(KIND_DOUBLE)
                                << QVariant(200.0);
    QTest::newRow("UFIXED high half unsigned") << "CalibrationGas2N2Conversion" << hex("0080FFFF")
                                               << int(KIND_DOUBLE) << QVariant(65535.5);
    QTest::newRow("UFRAC16 37.5") << "ReadFlow" << hex("0070") << int(KIND_DOUBLE) << QVariant(37.5);
    QTest::newRow("UFRAC16 code 0") << "ReadFlow" << hex("0000") << int(KIND_DOUBLE) << QVariant(-50.0);
    QTest::newRow("UFRAC16 code FFFF") << "ReadActiveSetpoint" << hex("FFFF") << int(KIND_DOUBLE)
                                       << QVariant(4915100.0 / 32768.0);
    QTest::newRow("UFRAC16 33.3") << "DigitalSetpoint" << hex("A06A") << int(KIND_DOUBLE)
                                  << QVariant(33.30078125);
    QTest::newRow("TEXT16 ABC") << "ModelIdentifier" << hex("414243") << int(KIND_TEXT)
                                << QVariant(QByteArray("ABC"));
    QTest::newRow("TEXT8 no value bytes") << "FirmwareVersion" << QByteArray() << int(KIND_TEXT)
                                          << QVariant(QByteArray());
    QTest::newRow("TEXT32 63 bytes") << "ProductName" << QByteArray(63, 'q') << int(KIND_TEXT)
                                     << QVariant(QByteArray(63, 'q'));
}

void TstTervanCoreValues::decodeValues()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, kind);
    QFETCH(QVariant, expected);
    TervanCore core;
    QString outName;
    int outKind = -1;
    GuardedValue g;
    std::memset(&g, 0xA5, sizeof g);
    QVERIFY(core.decode(reply(core.cmdByName(name).code, bytes), outName, g.value, outKind));
    QCOMPARE(outName, name);
    QCOMPARE(outKind, kind);
    switch (kind) {
    case KIND_UINT8: QCOMPARE(uint(g.value.u8), expected.toUInt()); break;
    case KIND_UINT16: QCOMPARE(uint(g.value.u16), expected.toUInt()); break;
    case KIND_UINT32: QCOMPARE(g.value.u32, expected.toUInt()); break;
    case KIND_INT32: QCOMPARE(g.value.i32, expected.toInt()); break;
    case KIND_FLOAT: QCOMPARE(g.value.f32, expected.toFloat()); break;
    case KIND_DOUBLE: QCOMPARE(g.value.f64, expected.toDouble()); break;
    case KIND_TEXT: {
        const QByteArray text = expected.toByteArray();
        QCOMPARE(QByteArray(g.value.text, text.size()), text);
        QCOMPARE(g.value.text[text.size()], '\0');
        break;
    }
    default: QFAIL("unexpected kind");
    }
    for (unsigned char c : g.guard)
        QCOMPARE(c, static_cast<unsigned char>(0xA5));
}

void TstTervanCoreValues::decodeTooShort_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("UINT8 none") << "CM" << QByteArray();
    QTest::newRow("UINT16 none") << "Delay" << QByteArray();
    QTest::newRow("UINT16 one") << "Delay" << hex("E8");
    QTest::newRow("UFRAC16 one") << "ReadFlow" << hex("70");
    QTest::newRow("UINT32 three") << "ReadTotalTimeOnTimer" << hex("008000");
    QTest::newRow("INT32 two") << "ReadVoltageADC" << hex("FEFF");
    QTest::newRow("FLOAT32 none") << "SensorGain" << QByteArray();
    QTest::newRow("FLOAT32 three") << "SensorGain" << hex("000080");
    QTest::newRow("FIXED three") << "TargetNullValue" << hex("0000C8");
    QTest::newRow("UFIXED one") << "RangeConstantRangeNo1" << hex("00");
}

void TstTervanCoreValues::decodeTooShort()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    TervanCore core;
    QString outName = "kept";
    int outKind = 99;
    GuardedValue g;
    std::memset(&g, 0x5A, sizeof g);
    const QByteArray frame = reply(core.cmdByName(name).code, bytes);
    QVERIFY(!core.decode(frame, outName, g.value, outKind));
    QCOMPARE(outName, QString("kept"));
    QCOMPARE(outKind, 99);
    const auto* raw = reinterpret_cast<const unsigned char*>(&g);
    for (size_t i = 0; i < sizeof g; ++i)
        QCOMPARE(raw[i], static_cast<unsigned char>(0x5A));
}

void TstTervanCoreValues::decodeLongText_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("64 bytes") << 64 << true;
    QTest::newRow("100 bytes") << 100 << true;
    QTest::newRow("124 bytes, largest LEN") << 124 << true;
    QTest::newRow("125 bytes, LEN negative as a signed byte") << 125 << false;
}

void TstTervanCoreValues::decodeLongText()
{
    QFETCH(int, length);
    QFETCH(bool, accepted);
    TervanCore core;
    QByteArray text;
    for (int i = 0; i < length; ++i)
        text.append(char('A' + i % 26));
    QString outName;
    int outKind = -1;
    GuardedValue g;
    std::memset(&g, 0xA5, sizeof g);
    QCOMPARE(core.decode(reply(0x640107, text), outName, g.value, outKind), accepted);
    if (accepted) {
        QCOMPARE(outName, QString("MFCSerialNumber"));
        QCOMPARE(outKind, int(KIND_TEXT));
        QCOMPARE(QByteArray(g.value.text, 63), text.left(63));
        QCOMPARE(g.value.text[63], '\0');
    }
    for (unsigned char c : g.guard)
        QCOMPARE(c, static_cast<unsigned char>(0xA5));
}

QTEST_GUILESS_MAIN(TstTervanCoreValues)
#include "tst_tervancore_values.moc"
