// Request frames on the wire and the checks applied to reply frames.
#include "tervancore.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

QByteArray hex(const char* s)
{
    return QByteArray::fromHex(s);
}

// Recomputes a reply's checksum (bytes 1 to N-2) after a byte was altered.
QByteArray withReplySum(QByteArray f)
{
    quint32 s = 0;
    for (int i = 1; i < f.size() - 1; ++i)
        s += quint8(f.at(i));
    f[f.size() - 1] = char(s & 0xFF);
    return f;
}

const char* const kFlowReply = "06 00 02 80 05 68 01 B9 00 70 00 19";
const char* const kSetpointReply = "06 00 02 81 05 69 01 A4 00 80 00 16";

struct DecodeResult
{
    bool ok = false;
    QString name = "kept";
    int kind = 99;
    TervanCore::mfc_value_t value;
};

DecodeResult decodeWith(const TervanCore& core, const QByteArray& frame)
{
    DecodeResult r;
    std::memset(&r.value, 0x3C, sizeof r.value);
    r.ok = core.decode(frame, r.name, r.value, r.kind);
    return r;
}

bool untouched(const DecodeResult& r)
{
    if (r.name != "kept" || r.kind != 99)
        return false;
    const auto* raw = reinterpret_cast<const unsigned char*>(&r.value);
    for (size_t i = 0; i < sizeof r.value; ++i)
        if (raw[i] != 0x3C)
            return false;
    return true;
}

} // namespace

class TstTervanCoreFrames : public QObject
{
    Q_OBJECT

private slots:
    void readRequests_data();
    void readRequests();
    void writeRequests_data();
    void writeRequests();
    void writeReplacesBuffer();
    void unknownNames_data();
    void unknownNames();
    void addressChangesFrames_data();
    void addressChangesFrames();
    void repliesDecode_data();
    void repliesDecode();
    void repliesRefused_data();
    void repliesRefused();
    void truncatedReplies_data();
    void truncatedReplies();
    void emptyReplies_data();
    void emptyReplies();
    void everyRegisterRoundTrip();
};

void TstTervanCoreFrames::readRequests_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("MACAddress at FF") << 0xFF << "MACAddress" << hex("FF 02 80 03 03 01 01 00 89");
    QTest::newRow("ReadFlow at 20") << 0x20 << "ReadFlow" << hex("20 02 80 03 68 01 B9 00 C7");
    QTest::newRow("ReadFlow at 21") << 0x21 << "ReadFlow" << hex("21 02 80 03 68 01 B9 00 C8");
    QTest::newRow("MACAddress at 21") << 0x21 << "MACAddress" << hex("21 02 80 03 03 01 01 00 AB");
    QTest::newRow("CM at 00") << 0x00 << "CM" << hex("00 02 80 03 69 01 03 00 F2");
    QTest::newRow("ZeroSensorOut at FF") << 0xFF << "ZeroSensorOut" << hex("FF 02 80 03 99 99 99 00 4F");
}

void TstTervanCoreFrames::readRequests()
{
    QFETCH(int, address);
    QFETCH(QString, name);
    QFETCH(QByteArray, frame);
    TervanCore core;
    core.setAddress(quint8(address));
    QByteArray out;
    QString err;
    QVERIFY2(core.encodeRead(name, out, err), qPrintable(err));
    QCOMPARE(out.toHex(' '), frame.toHex(' '));
}

void TstTervanCoreFrames::writeRequests_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("DigitalSetpoint 50 at 20")
        << 0x20 << "DigitalSetpoint" << "50" << hex("20 02 81 05 69 01 A4 00 80 00 36");
    QTest::newRow("CM 1 at FF") << 0xFF << "CM" << "1" << hex("FF 02 81 04 69 01 03 01 00 F4");
    QTest::newRow("MACAddress 33 at 21") << 0x21 << "MACAddress" << "33" << hex("21 02 81 04 03 01 01 21 00 CE");
    QTest::newRow("full scale 55000 at 20")
        << 0x20 << "TargetGasFullScaleRange" << "55000" << hex("20 02 81 05 66 01 03 D8 D6 00 C0");
    QTest::newRow("serial number text at 20")
        << 0x20 << "MFCSerialNumber" << "SN-1" << hex("20 02 81 07 64 01 07 53 4E 2D 31 00 15");
}

void TstTervanCoreFrames::writeRequests()
{
    QFETCH(int, address);
    QFETCH(QString, name);
    QFETCH(QString, input);
    QFETCH(QByteArray, frame);
    TervanCore core;
    core.setAddress(quint8(address));
    QByteArray out;
    QString err;
    QVERIFY2(core.encodeWrite(name, input, out, err), qPrintable(err));
    QCOMPARE(out.toHex(' '), frame.toHex(' '));

    // The row-based entry point builds the same frame.
    QByteArray viaRow;
    QVERIFY2(core.encodeWriteFrame(core.cmdByName(name), input, viaRow, err), qPrintable(err));
    QCOMPARE(viaRow, frame);
}

void TstTervanCoreFrames::writeReplacesBuffer()
{
    TervanCore core;
    core.setAddress(0x20);
    QByteArray frame = hex("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F");
    QString err;
    QVERIFY(core.encodeWriteFrame(core.cmdByName("DigitalSetpoint"), "50", frame, err));
    QCOMPARE(frame, hex("20 02 81 05 69 01 A4 00 80 00 36"));

    // A refused value leaves the previous frame as it was.
    QTest::ignoreMessage(QtDebugMsg, "Can't encode command: DigitalSetpoint data type: UFRAC16, with input 250!");
    QVERIFY(!core.encodeWriteFrame(core.cmdByName("DigitalSetpoint"), "250", frame, err));
    QCOMPARE(frame, hex("20 02 81 05 69 01 A4 00 80 00 36"));
    QCOMPARE(err, QString("Can't encode command: DigitalSetpoint data type: UFRAC16, with input 250!"));
}

void TstTervanCoreFrames::unknownNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("write");
    QTest::newRow("read Undefined") << "Undefined" << false;
    QTest::newRow("write Undefined") << "Undefined" << true;
    QTest::newRow("read readflow") << "readflow" << false;
    QTest::newRow("read READFLOW") << "READFLOW" << false;
    QTest::newRow("write digitalSetpoint") << "digitalSetpoint" << true;
    QTest::newRow("read with blank") << "ReadFlow " << false;
    QTest::newRow("read empty name") << "" << false;
    QTest::newRow("write unknown") << "NoSuchRegister" << true;
    QTest::newRow("read AppDelay") << "AppDelay" << false;
}

void TstTervanCoreFrames::unknownNames()
{
    QFETCH(QString, name);
    QFETCH(bool, write);
    TervanCore core;
    QSignalSpy panic(&core, &TervanCore::core_panic);
    const QByteArray sentinel = hex("77");
    QByteArray frame = write ? sentinel : QByteArray();
    QString err;
    const bool ok = write ? core.encodeWrite(name, "1", frame, err) : core.encodeRead(name, frame, err);
    QVERIFY(!ok);
    QCOMPARE(err, QString::fromUtf8("未定义MFC命令: ") + name);
    QCOMPARE(frame, write ? sentinel : QByteArray());
    QCOMPARE(panic.count(), 0);
}

void TstTervanCoreFrames::addressChangesFrames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("input"); // empty: a read
    QTest::newRow("read ReadFlow") << "ReadFlow" << "";
    QTest::newRow("read K1") << "K1" << "";
    QTest::newRow("write CM") << "CM" << "2";
    QTest::newRow("write K1") << "K1" << "12.5";
    QTest::newRow("write text") << "ProductName" << "abc";
}

void TstTervanCoreFrames::addressChangesFrames()
{
    QFETCH(QString, name);
    QFETCH(QString, input);
    TervanCore core;
    auto encode = [&](QByteArray& f) {
        QString err;
        return input.isEmpty() ? core.encodeRead(name, f, err) : core.encodeWrite(name, input, f, err);
    };
    QByteArray before;
    QVERIFY(encode(before));
    QCOMPARE(quint8(before.at(0)), quint8(0xFF));
    core.setAddress(0x21);
    QByteArray after;
    QVERIFY(encode(after));
    QCOMPARE(after.size(), before.size());
    QCOMPARE(quint8(after.at(0)), quint8(0x21));
    QCOMPARE(after.mid(1, after.size() - 2), before.mid(1, before.size() - 2));
    QCOMPARE(quint8(after.at(after.size() - 1)), quint8(quint8(before.at(before.size() - 1)) + 0x21 - 0xFF));
}

void TstTervanCoreFrames::repliesDecode_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("value");
    QTest::newRow("ReadFlow 37.5") << hex(kFlowReply) << "ReadFlow" << 37.5;
    QTest::newRow("DigitalSetpoint 50 with op 81") << hex(kSetpointReply) << "DigitalSetpoint" << 50.0;
    QTest::newRow("pad not zero") << withReplySum(hex("06 00 02 80 05 68 01 B9 00 70 55 00")) << "ReadFlow"
                                  << 37.5;
    QTest::newRow("pad FF") << withReplySum(hex("06 00 02 81 05 69 01 A4 00 80 FF 00")) << "DigitalSetpoint"
                            << 50.0;
}

void TstTervanCoreFrames::repliesDecode()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, name);
    QFETCH(double, value);
    TervanCore core;
    const DecodeResult r = decodeWith(core, frame);
    QVERIFY(r.ok);
    QCOMPARE(r.name, name);
    QCOMPARE(r.kind, int(KIND_DOUBLE));
    QCOMPARE(r.value.f64, value);
}

void TstTervanCoreFrames::repliesRefused_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("wrong checksum") << hex("06 00 02 80 05 68 01 B9 00 70 00 18");
    QTest::newRow("wrong checksum 81") << hex("06 00 02 81 05 69 01 A4 00 80 00 17");
    QTest::newRow("op 82") << withReplySum(hex("06 00 02 82 05 68 01 B9 00 70 00 00"));
    QTest::newRow("op 00") << withReplySum(hex("06 00 02 00 05 68 01 B9 00 70 00 00"));
    QTest::newRow("NAK instead of ACK") << withReplySum(hex("15 00 02 80 05 68 01 B9 00 70 00 00"));
    QTest::newRow("byte 1 not zero") << withReplySum(hex("06 01 02 80 05 68 01 B9 00 70 00 00"));
    QTest::newRow("byte 2 not 02") << withReplySum(hex("06 00 03 80 05 68 01 B9 00 70 00 00"));
    QTest::newRow("LEN one short") << withReplySum(hex("06 00 02 80 04 68 01 B9 00 70 00 00"));
    QTest::newRow("LEN one long") << withReplySum(hex("06 00 02 80 06 68 01 B9 00 70 00 00"));
    QTest::newRow("LEN zero") << withReplySum(hex("06 00 02 80 00 68 01 B9 00 70 00 00"));
    QTest::newRow("LEN 2 in a 9-byte reply, text register") << withReplySum(hex("06 00 02 80 02 01 01 07 00"));
    QTest::newRow("LEN 2 in a 9-byte reply, UINT8 register") << withReplySum(hex("06 00 02 80 02 69 01 03 00"));
    QTest::newRow("code not in table") << withReplySum(hex("06 00 02 80 05 69 01 FF 00 70 00 00"));
    QTest::newRow("code FFFFFF") << withReplySum(hex("06 00 02 80 05 FF FF FF 00 70 00 00"));
    QTest::newRow("code 000000") << withReplySum(hex("06 00 02 80 05 00 00 00 00 70 00 00"));
    QTest::newRow("ten bytes UFRAC16") << withReplySum(hex("06 00 02 80 03 68 01 B9 00 00"));
    QTest::newRow("ten bytes UINT16") << withReplySum(hex("06 00 02 80 03 69 01 A6 00 00"));
    QTest::newRow("ten bytes FLOAT32") << withReplySum(hex("06 00 02 80 03 A1 01 01 00 00"));
    QTest::newRow("ten bytes UINT8") << withReplySum(hex("06 00 02 80 03 69 01 03 00 00"));
    QTest::newRow("trailing byte") << hex("06 00 02 80 05 68 01 B9 00 70 00 19 00");
    QTest::newRow("empty") << QByteArray();
}

void TstTervanCoreFrames::repliesRefused()
{
    QFETCH(QByteArray, frame);
    TervanCore core;
    const DecodeResult r = decodeWith(core, frame);
    QVERIFY(!r.ok);
    QVERIFY(untouched(r));
}

void TstTervanCoreFrames::truncatedReplies_data()
{
    QTest::addColumn<QByteArray>("frame");
    const QList<QPair<const char*, QByteArray>> whole = {
        {"ReadFlow", hex(kFlowReply)},
        {"DigitalSetpoint", hex(kSetpointReply)},
        {"SensorGain", withReplySum(hex("06 00 02 80 07 A1 01 01 00 00 80 3F 00 00"))},
        {"ProductName", withReplySum(hex("06 00 02 80 06 01 01 07 41 42 43 00 00"))},
    };
    for (const auto& w : whole)
        for (int n = 0; n < w.second.size(); ++n)
            QTest::addRow("%s first %d bytes", w.first, n) << w.second.left(n);
}

void TstTervanCoreFrames::truncatedReplies()
{
    QFETCH(QByteArray, frame);
    TervanCore core;
    const DecodeResult r = decodeWith(core, frame);
    QVERIFY(!r.ok);
    QVERIFY(untouched(r));
}

void TstTervanCoreFrames::emptyReplies_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("name");
    QTest::newRow("TEXT32 ProductName") << withReplySum(hex("06 00 02 80 03 01 01 07 00 00")) << "ProductName";
    QTest::newRow("TEXT8 FirmwareVersion op 81") << withReplySum(hex("06 00 02 81 03 64 01 05 00 00"))
                                                 << "FirmwareVersion";
}

// A reply without value bytes passes the frame checks; for a text register it is an empty text.
void TstTervanCoreFrames::emptyReplies()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, name);
    TervanCore core;
    const DecodeResult r = decodeWith(core, frame);
    QVERIFY(r.ok);
    QCOMPARE(r.name, name);
    QCOMPARE(r.kind, int(KIND_TEXT));
    QCOMPARE(r.value.text[0], '\0');
}

// Every register's write frame, turned into the device's echo, decodes back to that register and value.
void TstTervanCoreFrames::everyRegisterRoundTrip()
{
    TervanCore core;
    core.setAddress(0x20);
    int checked = 0;
    for (const QString& name : core.cmdList()) {
        if (name == "Undefined")
            continue;
        const TervanCore::mfc_cmd_t row = core.cmdByName(name);
        QString input;
        if (row.type.startsWith("TEXT"))
            input = "v" + name;
        else if (row.type == "UFRAC16")
            input = "12.5";
        else if (row.range)
            input = row.max;
        else
            input = "1";
        QByteArray frame;
        QString err;
        QVERIFY2(core.encodeWrite(name, input, frame, err), qPrintable(name + ": " + err));
        QByteArray echo = hex("06 00");
        echo.append(frame.mid(1, frame.size() - 2));
        echo.append('\0');
        echo = withReplySum(echo);

        const DecodeResult r = decodeWith(core, echo);
        QVERIFY2(r.ok, qPrintable(name));
        QCOMPARE(r.name, name);
        QCOMPARE(r.kind, core.kindOf(name));
        switch (r.kind) {
        case KIND_UINT8: QCOMPARE(QString::number(r.value.u8), input); break;
        case KIND_UINT16: QCOMPARE(QString::number(r.value.u16), input); break;
        case KIND_UINT32: QCOMPARE(QString::number(r.value.u32), input); break;
        case KIND_INT32: QCOMPARE(QString::number(r.value.i32), input); break;
        case KIND_FLOAT: QCOMPARE(r.value.f32, input.toFloat()); break;
        case KIND_DOUBLE: QVERIFY2(std::fabs(r.value.f64 - input.toDouble()) < 1e-4, qPrintable(name)); break;
        case KIND_TEXT: QCOMPARE(QString::fromLocal8Bit(r.value.text), input); break;
        default: QFAIL(qPrintable("no kind for " + name));
        }
        ++checked;
    }
    QCOMPARE(checked, 199);
}

QTEST_GUILESS_MAIN(TstTervanCoreFrames)
#include "tst_tervancore_frames.moc"
