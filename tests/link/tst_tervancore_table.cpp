// The register table: every row, the name lists, lookups and kinds.
#include "tervancore.h"

#include <QSet>
#include <QtTest>

namespace {

struct Row
{
    const char* name;
    quint32 code;
    const char* type;
    bool range;
    const char* min;
    const char* max;
};

// The device's register map as the firmware documents it, in table order
// (the closing "Undefined" row is not listed here).
const Row kRows[] = {
    {"CM", 0x690103, "UINT8", false, "", ""},
    {"DefaultCM", 0x690104, "UINT8", false, "", ""},
    {"EEPROMProgram", 0x690106, "UINT8", false, "", ""},
    {"HoldFollow", 0x690105, "UINT8", false, "", ""},
    {"Delay", 0x6901A6, "UINT16", false, "", ""},
    {"DigitalSetpoint", 0x6901A4, "UFRAC16", false, "", ""},
    {"ReadActiveSetpoint", 0x6901A5, "UFRAC16", false, "", ""},
    {"ReadVoltageSetpoint", 0x6901A3, "UFRAC16", false, "", ""},
    {"ReadCurrentSetpoint", 0x6901B3, "UFRAC16", false, "", ""},
    {"SoftstartRate", 0x6A01A4, "UFRAC16", false, "", ""},
    {"ShutoffLevel", 0x6A01A2, "UFRAC16", false, "", ""},
    {"ZeroConstant", 0x6801CB, "UINT8", false, "", ""},
    {"ReadFlow", 0x6801B9, "UFRAC16", false, "", ""},
    {"ZeroStatusAndSetting", 0x6801BA, "UINT8", false, "", ""},
    {"ReadUnzeroedSensor", 0x6801A9, "UFRAC16", false, "", ""},
    {"ReadUnfilteredSensor", 0x6801AA, "UFRAC16", false, "", ""},
    {"SelectDisableRangeConstant", 0x6801C0, "UINT8", true, "0", "10"},
    {"RangeConstantRangeNo1", 0x6801C1, "UFIXED16.16", true, "0.9", "3"},
    {"RangeConstantRangeNo2", 0x6801C2, "UFIXED16.16", true, "0.9", "3"},
    {"RangeConstantRangeNo3", 0x6801C3, "UFIXED16.16", true, "0.9", "3"},
    {"RangeConstantRangeNo4", 0x6801C4, "UFIXED16.16", true, "0.9", "3"},
    {"RangeConstantRangeNo5", 0x6801C5, "UFIXED16.16", true, "0.9", "3"},
    {"RangeConstantRangeNo6", 0x6801C6, "UFIXED16.16", true, "0.9", "3"},
    {"RangeConstantRangeNo7", 0x6801C7, "UFIXED16.16", true, "0.9", "3"},
    {"RangeConstantRangeNo8", 0x6801C8, "UFIXED16.16", true, "0.9", "3"},
    {"RangeConstantRangeNo9", 0x6801C9, "UFIXED16.16", true, "0.9", "3"},
    {"RangeConstantRangeNo10", 0x6801CA, "UFIXED16.16", true, "0.9", "3"},
    {"ValveCommandMode", 0x6A01A1, "UINT8", false, "0", "1"},
    {"ValveCommand", 0x6A0101, "UINT8", true, "0", "6"},
    {"SetValveDrive", 0x6A0190, "UINT16", false, "", ""},
    {"ReadValveVoltage", 0x6A0191, "UINT16", true, "0", "4095"},
    {"ReadValveCurrent", 0x6A0192, "UINT16", true, "0", "4095"},
    {"HighThreshold", 0x6A0193, "UINT16", true, "0", "4095"},
    {"LowThreshold", 0x6A0194, "UINT16", true, "0", "4095"},
    {"FloatThreshold", 0x6A0195, "UINT16", true, "0", "4095"},
    {"ZeroThreshold", 0x6A0196, "UINT16", true, "0", "4095"},
    {"ReadValveCommandVoltage", 0x6A0197, "UINT16", true, "0", "4095"},
    {"ValveResistanceOffset", 0x6A0198, "UINT16", true, "0", "4095"},
    {"ValveResistanceGain", 0x6A0199, "UINT16", true, "0", "4095"},
    {"ValveStartCurrent", 0x6A019A, "UINT16", false, "", ""},
    {"MaxValvePWM", 0x6A019B, "UINT16", false, "", ""},
    {"ValveType", 0x6A019C, "UINT8", true, "0", "1"},
    {"ReadTotalTimeOnTimer", 0xA40101, "UINT32", false, "", ""},
    {"ReadTotalControledFlowTime", 0xA40102, "UINT32", false, "", ""},
    {"ReadControlledFlowAccumulator", 0xA40103, "FLOAT32", false, "", ""},
    {"ControlFlowAccumulatorMode", 0xA40105, "UINT8", true, "0", "3"},
    {"ReadAlarms", 0x6501A0, "UINT16", true, "0", "1"},
    {"SupplierCode", 0x010101, "UINT16", false, "", ""},
    {"ProductType", 0x010102, "UINT16", false, "", ""},
    {"ProductName", 0x010107, "TEXT32", false, "", ""},
    {"RevisionCode", 0x010104, "UINT16", false, "", ""},
    {"ProductCode", 0x010103, "TEXT32", false, "", ""},
    {"DeviceType", 0x640101, "TEXT16", false, "", ""},
    {"Manufacturer", 0x640103, "TEXT32", false, "", ""},
    {"ModelIdentifier", 0x640104, "TEXT16", false, "", ""},
    {"FirmwareVersion", 0x640105, "TEXT8", false, "", ""},
    {"PCBVersion", 0x640106, "TEXT8", false, "", ""},
    {"MFCSerialNumber", 0x640107, "TEXT16", false, "", ""},
    {"SensorSerialNumber", 0x640108, "TEXT16", false, "", ""},
    {"ManufacturingLocation", 0x640109, "TEXT32", false, "", ""},
    {"ManufacturingDate", 0x64010A, "TEXT16", false, "", ""},
    {"CalibrationLocation", 0x64010B, "TEXT32", false, "", ""},
    {"CalibrationDate", 0x64010C, "TEXT16", false, "", ""},
    {"CalibrationOperator", 0x64010D, "TEXT32", false, "", ""},
    {"CalibrationStandardIdentifier", 0x64010E, "TEXT16", false, "", ""},
    {"TargetGasName", 0x660101, "TEXT32", false, "", ""},
    {"TargetGasCode", 0x660102, "UINT16", false, "", ""},
    {"TargetGasFullScaleRange", 0x660103, "UINT16", true, "0", "55000"},
    {"TargetGas2CalibrationGas", 0x660104, "FIXED16.16", true, "0", "2"},
    {"TargetGasCpTempCorrection", 0x660105, "FIXED16.16", true, "-1", "1"},
    {"CalibrationGasName", 0x660106, "TEXT32", false, "", ""},
    {"CalibrationGaseCode", 0x660107, "UINT16", false, "", ""},
    {"CalibrationGasFullScaleRange", 0x660108, "UINT16", true, "1", "50000"},
    {"CalibrationGas2N2Conversion", 0x660109, "UFIXED16.16", true, "0", "2"},
    {"CalibrationTemperature", 0x66010A, "UINT16", true, "0", "4095"},
    {"CalibrationGasCpTempCorrection", 0x66010B, "FIXED16.16", true, "-1", "1"},
    {"CalTabValueX1", 0x660110, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX2", 0x660111, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX3", 0x660112, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX4", 0x660113, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX5", 0x660114, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX6", 0x660115, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX7", 0x660116, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX8", 0x660117, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX9", 0x660118, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX10", 0x660119, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX11", 0x66011A, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX12", 0x66011B, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX13", 0x66011C, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX14", 0x66011D, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX15", 0x66011E, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX16", 0x66011F, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX17", 0x660120, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX18", 0x660121, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX19", 0x660122, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX20", 0x660123, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX21", 0x660124, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX22", 0x660125, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX23", 0x660126, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX24", 0x660127, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX25", 0x660128, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX26", 0x660129, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX27", 0x66012A, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX28", 0x66012B, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX29", 0x66012C, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX30", 0x66012D, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX31", 0x66012E, "FIXED16.16", true, "0", "2"},
    {"CalTabValueX32", 0x66012F, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY1", 0x660130, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY2", 0x660131, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY3", 0x660132, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY4", 0x660133, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY5", 0x660134, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY6", 0x660135, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY7", 0x660136, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY8", 0x660137, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY9", 0x660138, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY10", 0x660139, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY11", 0x66013A, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY12", 0x66013B, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY13", 0x66013C, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY14", 0x66013D, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY15", 0x66013E, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY16", 0x66013F, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY17", 0x660140, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY18", 0x660141, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY19", 0x660142, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY20", 0x660143, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY21", 0x660144, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY22", 0x660145, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY23", 0x660146, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY24", 0x660147, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY25", 0x660148, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY26", 0x660149, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY27", 0x66014A, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY28", 0x66014B, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY29", 0x66014C, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY30", 0x66014D, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY31", 0x66014E, "FIXED16.16", true, "0", "2"},
    {"CalTabValueY32", 0x66014F, "FIXED16.16", true, "0", "2"},
    {"VoltageSetpointGain", 0xA00101, "FIXED16.16", false, "0", "1.5"},
    {"VoltageSetpointOffset", 0xA00102, "FIXED16.16", false, "-0.5", "0.5"},
    {"CurrentSetpointGain", 0xA00103, "FIXED16.16", false, "0.5", "1.5"},
    {"CurrentSetpointOffset", 0xA00104, "FIXED16.16", false, "-0.5", "0.5"},
    {"ReadVoltageADC", 0xA00105, "INT32", false, "", ""},
    {"ReadCurrentADC", 0xA00106, "INT32", false, "", ""},
    {"SensorGain", 0xA10101, "FLOAT32", false, "", ""},
    {"SensorOffset", 0xA10102, "FLOAT32", false, "", ""},
    {"ReadNumeratorOfSensorRatio", 0xA10103, "INT32", false, "", ""},
    {"ReadDenominatorofSensorRatio", 0xA10104, "INT32", false, "", ""},
    {"ReadSensorRatio", 0xA10105, "FLOAT32", false, "", ""},
    {"DigitalPot", 0xA10106, "UINT8", false, "", ""},
    {"VoltagePWMGain", 0xA20101, "FIXED16.16", false, "0.5", "2.5"},
    {"VoltagePWMOffset", 0xA20102, "FIXED16.16", true, "-0.5", "0.5"},
    {"CurrentPWMGain", 0xA20103, "FIXED16.16", false, "0.5", "1.5"},
    {"CurrentPWMOffset", 0xA20104, "FIXED16.16", false, "-0.5", "0.5"},
    {"SetVoltagePWM", 0xA20105, "UINT16", false, "", ""},
    {"SetCurrentPWM", 0xA20106, "UINT16", false, "", ""},
    {"FilterConstantA1", 0xA30101, "FLOAT32", false, "", ""},
    {"FilterConstantB1", 0xA30102, "FLOAT32", false, "", ""},
    {"FilterConstantA2", 0xA30103, "FLOAT32", false, "", ""},
    {"FilterConstantB2", 0xA30104, "FLOAT32", false, "", ""},
    {"FilterConstantA3", 0xA30105, "FLOAT32", false, "", ""},
    {"FilterConstantB3", 0xA30106, "FLOAT32", false, "", ""},
    {"ReadTemperature", 0xA30107, "UINT16", true, "0", "4095"},
    {"MACAddress", 0x030101, "UINT8", true, "32", "95"},
    {"BaudRate", 0x030102, "UINT16", false, "", ""},
    {"Reset", 0x030103, "UINT8", true, "1", "1"},
    {"K1", 0xA3010A, "FLOAT32", true, "0", "10000"},
    {"K2", 0xA3010B, "FLOAT32", true, "0", "10000"},
    {"K3", 0xA3010C, "FLOAT32", true, "0", "10000"},
    {"T", 0xA3010D, "FLOAT32", false, "", ""},
    {"FilterS", 0xA3010E, "FLOAT32", true, "0", "10000"},
    {"FilterF", 0xA3010F, "FLOAT32", true, "0", "10000"},
    {"fTt", 0xA30110, "FLOAT32", true, "0", "10000"},
    {"fN", 0xA30111, "FLOAT32", true, "0", "10000"},
    {"fb", 0xA30112, "FLOAT32", true, "0", "10000"},
    {"LowStartVavle", 0x6A01A5, "UINT16", false, "", ""},
    {"Gain1", 0xA30113, "FLOAT32", true, "-1000", "1000"},
    {"Gain2", 0xA30114, "FLOAT32", true, "-1000", "1000"},
    {"Gain3", 0xA30115, "FLOAT32", true, "-1000", "1000"},
    {"Gain4", 0xA30116, "FLOAT32", true, "-1000", "1000"},
    {"Gain5", 0xA30117, "FLOAT32", true, "-1000", "1000"},
    {"IntChange1", 0xA30118, "FLOAT32", false, "", ""},
    {"IntChange2", 0xA30122, "FLOAT32", false, "", ""},
    {"IntChange3", 0xA30125, "FLOAT32", false, "", ""},
    {"ErrorBand", 0xA30119, "FLOAT32", false, "", ""},
    {"Gain6", 0xA30120, "FLOAT32", false, "", ""},
    {"Gain7", 0xA30121, "FLOAT32", false, "", ""},
    {"Gain8", 0xA30124, "FLOAT32", false, "", ""},
    {"LowSetpoint", 0x6A01A6, "FLOAT32", false, "", ""},
    {"LowSetPoint1", 0x6A01A9, "FLOAT32", false, "", ""},
    {"LowSetPoint2", 0x6A01AA, "FLOAT32", false, "", ""},
    {"EnableDisalbeAlarms", 0x6501A2, "UINT16", false, "", ""},
    {"ClearAlarms", 0x6501A1, "UINT8", false, "", ""},
    {"TargetNullValue", 0xA10107, "FIXED16.16", false, "", ""},
    {"ZeroSensorOut", 0x999999, "UINT8", false, "", ""},
    {"NoFlowCouse", 0xA30123, "FLOAT32", false, "", ""},
    {"SetpointStartCurrent", 0x6A01AB, "FLOAT32", false, "", ""},
};
constexpr int kRowCount = int(sizeof(kRows) / sizeof(kRows[0]));

int expectedKind(const QString& type)
{
    if (type == "UINT8")
        return KIND_UINT8;
    if (type == "UINT16")
        return KIND_UINT16;
    if (type == "UINT32")
        return KIND_UINT32;
    if (type == "INT32")
        return KIND_INT32;
    if (type == "FLOAT32")
        return KIND_FLOAT;
    if (type == "FRAC16.16" || type == "UFRAC16" || type == "FIXED16.16" || type == "UFIXED16.16")
        return KIND_DOUBLE;
    if (type.startsWith("TEXT"))
        return KIND_TEXT;
    return -1;
}

void verifyDefaultRow(const TervanCore::mfc_cmd_t& r)
{
    QCOMPARE(r.name, QString("Undefined"));
    QCOMPARE(r.code, 0xFFFFFFFFu);
    QVERIFY(r.type.isEmpty());
    QCOMPARE(r.range, false);
    QVERIFY(r.min.isEmpty());
    QVERIFY(r.max.isEmpty());
}

} // namespace

class TstTervanCoreTable : public QObject
{
    Q_OBJECT

private slots:
    void cmdListInTableOrder();
    void everyRow_data();
    void everyRow();
    void typeCounts_data();
    void typeCounts();
    void rangeFlags();
    void codeGroups_data();
    void codeGroups();
    void namesAndCodesUnique();
    void nameLists_data();
    void nameLists();
    void nameMisses_data();
    void nameMisses();
    void codeLookups_data();
    void codeLookups();
    void needCheck_data();
    void needCheck();
    void kinds_data();
    void kinds();
    void addressAfterConstruction();
    void instancesAreIndependent();
};

void TstTervanCoreTable::cmdListInTableOrder()
{
    TervanCore core;
    const QStringList list = core.cmdList();
    QCOMPARE(list.size(), 200);
    QCOMPARE(list.first(), QString("CM"));
    QCOMPARE(list.last(), QString("Undefined"));
    QCOMPARE(kRowCount, 199);
    for (int i = 0; i < kRowCount; ++i)
        QCOMPARE(list.at(i), QString(kRows[i].name));
}

void TstTervanCoreTable::everyRow_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < kRowCount; ++i)
        QTest::newRow(kRows[i].name) << i;
}

void TstTervanCoreTable::everyRow()
{
    QFETCH(int, index);
    const Row& e = kRows[index];
    TervanCore core;

    const TervanCore::mfc_cmd_t byName = core.cmdByName(e.name);
    QCOMPARE(byName.name, QString(e.name));
    QCOMPARE(byName.code, e.code);
    QCOMPARE(byName.type, QString(e.type));
    QCOMPARE(byName.range, e.range);
    QCOMPARE(byName.min, QString(e.min));
    QCOMPARE(byName.max, QString(e.max));

    const TervanCore::mfc_cmd_t byCode = core.cmdByCode(e.code);
    QCOMPARE(byCode.name, QString(e.name));
    QCOMPARE(byCode.code, e.code);
    QCOMPARE(byCode.type, QString(e.type));
    QCOMPARE(byCode.range, e.range);
    QCOMPARE(byCode.min, QString(e.min));
    QCOMPARE(byCode.max, QString(e.max));

    QCOMPARE(core.kindOf(e.name), expectedKind(e.type));
}

void TstTervanCoreTable::typeCounts_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("count");
    QTest::newRow("UINT8") << "UINT8" << 16;
    QTest::newRow("UINT16") << "UINT16" << 28;
    QTest::newRow("UINT32") << "UINT32" << 2;
    QTest::newRow("INT32") << "INT32" << 4;
    QTest::newRow("FLOAT32") << "FLOAT32" << 36;
    QTest::newRow("FRAC16.16") << "FRAC16.16" << 0;
    QTest::newRow("UFRAC16") << "UFRAC16" << 9;
    QTest::newRow("FIXED16.16") << "FIXED16.16" << 76;
    QTest::newRow("UFIXED16.16") << "UFIXED16.16" << 11;
    QTest::newRow("TEXT8") << "TEXT8" << 2;
    QTest::newRow("TEXT16") << "TEXT16" << 7;
    QTest::newRow("TEXT32") << "TEXT32" << 8;
    QTest::newRow("INT32LE") << "INT32LE" << 0;
}

void TstTervanCoreTable::typeCounts()
{
    QFETCH(QString, type);
    QFETCH(int, count);
    TervanCore core;
    int n = 0;
    for (const QString& name : core.cmdList())
        if (core.cmdByName(name).type == type)
            ++n;
    QCOMPARE(n, count);
}

void TstTervanCoreTable::rangeFlags()
{
    TervanCore core;
    int ranged = 0;
    QStringList limitsNotEnforced;
    for (const QString& name : core.cmdList()) {
        const TervanCore::mfc_cmd_t r = core.cmdByName(name);
        if (r.range)
            ++ranged;
        else if (!r.min.isEmpty() || !r.max.isEmpty())
            limitsNotEnforced << name;
        if (r.range) {
            // A ranged row always carries both limits.
            QVERIFY2(!r.min.isEmpty() && !r.max.isEmpty(), qPrintable(name));
        }
    }
    QCOMPARE(ranged, 113);
    QCOMPARE(limitsNotEnforced,
             QStringList({"ValveCommandMode", "VoltageSetpointOffset", "CurrentSetpointGain",
                          "CurrentSetpointOffset", "VoltagePWMGain", "CurrentPWMGain",
                          "CurrentPWMOffset"}));
}

void TstTervanCoreTable::codeGroups_data()
{
    QTest::addColumn<int>("firstByte");
    QTest::addColumn<int>("count");
    QTest::newRow("69 control") << 0x69 << 9;
    QTest::newRow("6A valve") << 0x6A << 22;
    QTest::newRow("68 flow") << 0x68 << 16;
    QTest::newRow("65 alarms") << 0x65 << 3;
    QTest::newRow("66 gas") << 0x66 << 75;
    QTest::newRow("64 identity") << 0x64 << 13;
    QTest::newRow("01 supplier") << 0x01 << 5;
    QTest::newRow("03 comms") << 0x03 << 3;
    QTest::newRow("A0 setpoint") << 0xA0 << 6;
    QTest::newRow("A1 sensor") << 0xA1 << 7;
    QTest::newRow("A2 pwm") << 0xA2 << 6;
    QTest::newRow("A3 control") << 0xA3 << 29;
    QTest::newRow("A4 counters") << 0xA4 << 4;
}

void TstTervanCoreTable::codeGroups()
{
    QFETCH(int, firstByte);
    QFETCH(int, count);
    TervanCore core;
    int n = 0;
    for (const QString& name : core.cmdList()) {
        const TervanCore::mfc_cmd_t r = core.cmdByName(name);
        if (r.name == "Undefined" || r.name == "ZeroSensorOut")
            continue;
        QVERIFY2(r.code <= 0xFFFFFF, qPrintable(name));
        QVERIFY2(((r.code >> 8) & 0xFF) == 0x01, qPrintable(name));
        if (int(r.code >> 16) == firstByte)
            ++n;
    }
    QCOMPARE(n, count);
}

void TstTervanCoreTable::namesAndCodesUnique()
{
    TervanCore core;
    const QStringList list = core.cmdList();
    QCOMPARE(QSet<QString>(list.begin(), list.end()).size(), 200);
    QSet<quint32> codes;
    for (const QString& name : list) {
        if (name == "Undefined")
            continue;
        const TervanCore::mfc_cmd_t r = core.cmdByName(name);
        QCOMPARE(r.name, name);
        QVERIFY2(!codes.contains(r.code), qPrintable(name));
        codes.insert(r.code);
        // The code map must lead back to this very row.
        QCOMPARE(core.cmdByCode(r.code).name, name);
        QVERIFY(core.kindOf(name) >= KIND_UINT8);
    }
    QCOMPARE(codes.size(), 199);
}

void TstTervanCoreTable::nameLists_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QStringList>("expected");
    const QStringList noRead{"EEPROMProgram", "Reset", "ClearAlarms", "ZeroSensorOut"};
    QTest::newRow("noReadList") << "noRead" << noRead;
    QTest::newRow("noReadAllList") << "noReadAll" << noRead;
    QTest::newRow("readOnlyList")
        << "readOnly"
        << QStringList{"ReadActiveSetpoint", "ReadVoltageSetpoint", "ReadCurrentSetpoint", "ReadFlow",
                       "ReadUnzeroedSensor", "ReadUnfilteredSensor", "ReadValveVoltage", "ReadValveCurrent",
                       "ReadValveCommandVoltage", "ReadTotalTimeOnTimer", "ReadTotalControledFlowTime",
                       "ReadControlledFlowAccumulator", "ReadAlarms", "FirmwareVersion", "ReadVoltageADC",
                       "ReadCurrentADC", "ReadNumeratorOfSensorRatio", "ReadDenominatorofSensorRatio",
                       "ReadSensorRatio", "ReadTemperature", "K3", "ZeroSensorOut"};
    QTest::newRow("noCheckList")
        << "noCheck"
        << QStringList{"EEPROMProgram", "ReadActiveSetpoint", "ReadVoltageSetpoint", "ReadCurrentSetpoint",
                       "ZeroConstant", "ReadFlow", "ZeroStatusAndSetting", "ReadUnzeroedSensor",
                       "ReadUnfilteredSensor", "ReadValveVoltage", "ReadValveCurrent", "ReadValveCommandVoltage",
                       "ReadTotalTimeOnTimer", "ReadTotalControledFlowTime", "ReadControlledFlowAccumulator",
                       "ControlFlowAccumulatorMode", "ReadAlarms", "FirmwareVersion", "ReadVoltageADC",
                       "ReadCurrentADC", "ReadNumeratorOfSensorRatio", "ReadDenominatorofSensorRatio",
                       "ReadSensorRatio", "SetVoltagePWM", "SetCurrentPWM", "ReadTemperature", "BaudRate",
                       "Reset", "K3", "ClearAlarms", "ZeroSensorOut"};
}

void TstTervanCoreTable::nameLists()
{
    QFETCH(QString, which);
    QFETCH(QStringList, expected);
    TervanCore core;
    QStringList actual;
    if (which == "noRead")
        actual = core.noReadList();
    else if (which == "noReadAll")
        actual = core.noReadAllList();
    else if (which == "readOnly")
        actual = core.readOnlyList();
    else
        actual = core.noCheckList();
    QCOMPARE(actual, expected);
    // Every listed name is a register of the table.
    for (const QString& name : actual)
        QCOMPARE(core.cmdByName(name).name, name);
}

void TstTervanCoreTable::nameMisses_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("closing row") << "Undefined";
    QTest::newRow("lower case") << "readflow";
    QTest::newRow("upper case") << "READFLOW";
    QTest::newRow("leading blank") << " ReadFlow";
    QTest::newRow("trailing blank") << "ReadFlow ";
    QTest::newRow("corrected spelling") << "LowStartValve";
    QTest::newRow("empty") << "";
    QTest::newRow("unknown") << "NoSuchRegister";
}

void TstTervanCoreTable::nameMisses()
{
    QFETCH(QString, name);
    TervanCore core;
    verifyDefaultRow(core.cmdByName(name));
    QCOMPARE(core.kindOf(name), -1);
}

void TstTervanCoreTable::codeLookups_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("999999") << quint32(0x999999) << "ZeroSensorOut";
    QTest::newRow("MACAddress") << quint32(0x030101) << "MACAddress";
    QTest::newRow("Reset") << quint32(0x030103) << "Reset";
    QTest::newRow("ReadFlow") << quint32(0x6801B9) << "ReadFlow";
    QTest::newRow("closing code") << quint32(0xFFFFFFFF) << "Undefined";
    QTest::newRow("FFFFFF") << quint32(0xFFFFFF) << "Undefined";
    QTest::newRow("zero") << quint32(0) << "Undefined";
    QTest::newRow("gap in group") << quint32(0x6901FF) << "Undefined";
    QTest::newRow("middle byte 02") << quint32(0x6802B9) << "Undefined";
    QTest::newRow("above 24 bits") << quint32(0x016801B9) << "Undefined";
}

void TstTervanCoreTable::codeLookups()
{
    QFETCH(quint32, code);
    QFETCH(QString, name);
    TervanCore core;
    const TervanCore::mfc_cmd_t r = core.cmdByCode(code);
    if (name == "Undefined") {
        verifyDefaultRow(r);
    } else {
        QCOMPARE(r.name, name);
        QCOMPARE(r.code, code);
    }
}

void TstTervanCoreTable::needCheck_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("check");
    QTest::newRow("ReadFlow") << "ReadFlow" << false;
    QTest::newRow("DigitalSetpoint") << "DigitalSetpoint" << true;
    QTest::newRow("BaudRate") << "BaudRate" << false;
    QTest::newRow("Reset") << "Reset" << false;
    QTest::newRow("EEPROMProgram") << "EEPROMProgram" << false;
    QTest::newRow("ControlFlowAccumulatorMode") << "ControlFlowAccumulatorMode" << false;
    QTest::newRow("ZeroSensorOut") << "ZeroSensorOut" << false;
    QTest::newRow("CM") << "CM" << true;
    QTest::newRow("K1") << "K1" << true;
    QTest::newRow("MACAddress") << "MACAddress" << true;
    QTest::newRow("CalTabValueY32") << "CalTabValueY32" << true;
    QTest::newRow("unknown") << "NoSuchRegister" << true;
    QTest::newRow("Undefined") << "Undefined" << true;
    QTest::newRow("other case") << "readflow" << true;
    QTest::newRow("empty") << "" << true;
}

void TstTervanCoreTable::needCheck()
{
    QFETCH(QString, name);
    QFETCH(bool, check);
    TervanCore core;
    QCOMPARE(core.needCheck(name), check);
}

void TstTervanCoreTable::kinds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("kind");
    QTest::newRow("TargetNullValue") << "TargetNullValue" << int(KIND_DOUBLE);
    QTest::newRow("FirmwareVersion") << "FirmwareVersion" << int(KIND_TEXT);
    QTest::newRow("ReadTotalTimeOnTimer") << "ReadTotalTimeOnTimer" << int(KIND_UINT32);
    QTest::newRow("CM") << "CM" << int(KIND_UINT8);
    QTest::newRow("Delay") << "Delay" << int(KIND_UINT16);
    QTest::newRow("ReadVoltageADC") << "ReadVoltageADC" << int(KIND_INT32);
    QTest::newRow("K1") << "K1" << int(KIND_FLOAT);
    QTest::newRow("ReadFlow") << "ReadFlow" << int(KIND_DOUBLE);
    QTest::newRow("RangeConstantRangeNo1") << "RangeConstantRangeNo1" << int(KIND_DOUBLE);
    QTest::newRow("ProductName") << "ProductName" << int(KIND_TEXT);
    QTest::newRow("ZeroSensorOut") << "ZeroSensorOut" << int(KIND_UINT8);
}

void TstTervanCoreTable::kinds()
{
    QFETCH(QString, name);
    QFETCH(int, kind);
    TervanCore core;
    QCOMPARE(core.kindOf(name), kind);
}

void TstTervanCoreTable::addressAfterConstruction()
{
    TervanCore core;
    QCOMPARE(core.address(), quint8(0xFF));
    core.setAddress(0x21);
    QCOMPARE(core.address(), quint8(0x21));
}

void TstTervanCoreTable::instancesAreIndependent()
{
    TervanCore a;
    auto* b = new TervanCore(&a);
    QCOMPARE(b->parent(), &a);
    QCOMPARE(a.cmdList(), b->cmdList());
    for (const QString& name : a.cmdList()) {
        const TervanCore::mfc_cmd_t ra = a.cmdByName(name);
        const TervanCore::mfc_cmd_t rb = b->cmdByName(name);
        QCOMPARE(ra.code, rb.code);
        QCOMPARE(ra.type, rb.type);
    }
    b->setAddress(0x30);
    QCOMPARE(a.address(), quint8(0xFF));
    delete b;
    // The first instance keeps its table after the second is gone.
    QCOMPARE(a.cmdByName("ReadFlow").code, quint32(0x6801B9));
}

QTEST_GUILESS_MAIN(TstTervanCoreTable)
#include "tst_tervancore_table.moc"
