#include "tervancore.h"

// The device's register map. Codes are sent most significant byte first; the
// first byte groups related registers. Limits are kept as text and parsed by
// the value encoder of the row's type on every write.

namespace {

struct Row
{
    QString name;
    quint32 code;
    QString type;
    bool range;
    QString min;
    QString max;
};

const QList<Row>& tableRows()
{
    static const QList<Row> rows = {
        {QStringLiteral("CM"), 0x690103, QStringLiteral("UINT8"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("DefaultCM"), 0x690104, QStringLiteral("UINT8"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("EEPROMProgram"), 0x690106, QStringLiteral("UINT8"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("HoldFollow"), 0x690105, QStringLiteral("UINT8"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("Delay"), 0x6901A6, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("DigitalSetpoint"), 0x6901A4, QStringLiteral("UFRAC16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadActiveSetpoint"), 0x6901A5, QStringLiteral("UFRAC16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadVoltageSetpoint"), 0x6901A3, QStringLiteral("UFRAC16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadCurrentSetpoint"), 0x6901B3, QStringLiteral("UFRAC16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("SoftstartRate"), 0x6A01A4, QStringLiteral("UFRAC16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ShutoffLevel"), 0x6A01A2, QStringLiteral("UFRAC16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ZeroConstant"), 0x6801CB, QStringLiteral("UINT8"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadFlow"), 0x6801B9, QStringLiteral("UFRAC16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ZeroStatusAndSetting"), 0x6801BA, QStringLiteral("UINT8"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadUnzeroedSensor"), 0x6801A9, QStringLiteral("UFRAC16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadUnfilteredSensor"), 0x6801AA, QStringLiteral("UFRAC16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("SelectDisableRangeConstant"), 0x6801C0, QStringLiteral("UINT8"), true, QStringLiteral("0"), QStringLiteral("10")},
        {QStringLiteral("RangeConstantRangeNo1"), 0x6801C1, QStringLiteral("UFIXED16.16"), true, QStringLiteral("0.9"), QStringLiteral("3")},
        {QStringLiteral("RangeConstantRangeNo2"), 0x6801C2, QStringLiteral("UFIXED16.16"), true, QStringLiteral("0.9"), QStringLiteral("3")},
        {QStringLiteral("RangeConstantRangeNo3"), 0x6801C3, QStringLiteral("UFIXED16.16"), true, QStringLiteral("0.9"), QStringLiteral("3")},
        {QStringLiteral("RangeConstantRangeNo4"), 0x6801C4, QStringLiteral("UFIXED16.16"), true, QStringLiteral("0.9"), QStringLiteral("3")},
        {QStringLiteral("RangeConstantRangeNo5"), 0x6801C5, QStringLiteral("UFIXED16.16"), true, QStringLiteral("0.9"), QStringLiteral("3")},
        {QStringLiteral("RangeConstantRangeNo6"), 0x6801C6, QStringLiteral("UFIXED16.16"), true, QStringLiteral("0.9"), QStringLiteral("3")},
        {QStringLiteral("RangeConstantRangeNo7"), 0x6801C7, QStringLiteral("UFIXED16.16"), true, QStringLiteral("0.9"), QStringLiteral("3")},
        {QStringLiteral("RangeConstantRangeNo8"), 0x6801C8, QStringLiteral("UFIXED16.16"), true, QStringLiteral("0.9"), QStringLiteral("3")},
        {QStringLiteral("RangeConstantRangeNo9"), 0x6801C9, QStringLiteral("UFIXED16.16"), true, QStringLiteral("0.9"), QStringLiteral("3")},
        {QStringLiteral("RangeConstantRangeNo10"), 0x6801CA, QStringLiteral("UFIXED16.16"), true, QStringLiteral("0.9"), QStringLiteral("3")},
        {QStringLiteral("ValveCommandMode"), 0x6A01A1, QStringLiteral("UINT8"), false, QStringLiteral("0"), QStringLiteral("1")},
        {QStringLiteral("ValveCommand"), 0x6A0101, QStringLiteral("UINT8"), true, QStringLiteral("0"), QStringLiteral("6")},
        {QStringLiteral("SetValveDrive"), 0x6A0190, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadValveVoltage"), 0x6A0191, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("4095")},
        {QStringLiteral("ReadValveCurrent"), 0x6A0192, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("4095")},
        {QStringLiteral("HighThreshold"), 0x6A0193, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("4095")},
        {QStringLiteral("LowThreshold"), 0x6A0194, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("4095")},
        {QStringLiteral("FloatThreshold"), 0x6A0195, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("4095")},
        {QStringLiteral("ZeroThreshold"), 0x6A0196, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("4095")},
        {QStringLiteral("ReadValveCommandVoltage"), 0x6A0197, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("4095")},
        {QStringLiteral("ValveResistanceOffset"), 0x6A0198, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("4095")},
        {QStringLiteral("ValveResistanceGain"), 0x6A0199, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("4095")},
        {QStringLiteral("ValveStartCurrent"), 0x6A019A, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("MaxValvePWM"), 0x6A019B, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ValveType"), 0x6A019C, QStringLiteral("UINT8"), true, QStringLiteral("0"), QStringLiteral("1")},
        {QStringLiteral("ReadTotalTimeOnTimer"), 0xA40101, QStringLiteral("UINT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadTotalControledFlowTime"), 0xA40102, QStringLiteral("UINT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadControlledFlowAccumulator"), 0xA40103, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ControlFlowAccumulatorMode"), 0xA40105, QStringLiteral("UINT8"), true, QStringLiteral("0"), QStringLiteral("3")},
        {QStringLiteral("ReadAlarms"), 0x6501A0, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("1")},
        {QStringLiteral("SupplierCode"), 0x010101, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ProductType"), 0x010102, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ProductName"), 0x010107, QStringLiteral("TEXT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("RevisionCode"), 0x010104, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ProductCode"), 0x010103, QStringLiteral("TEXT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("DeviceType"), 0x640101, QStringLiteral("TEXT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("Manufacturer"), 0x640103, QStringLiteral("TEXT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ModelIdentifier"), 0x640104, QStringLiteral("TEXT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("FirmwareVersion"), 0x640105, QStringLiteral("TEXT8"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("PCBVersion"), 0x640106, QStringLiteral("TEXT8"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("MFCSerialNumber"), 0x640107, QStringLiteral("TEXT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("SensorSerialNumber"), 0x640108, QStringLiteral("TEXT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ManufacturingLocation"), 0x640109, QStringLiteral("TEXT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ManufacturingDate"), 0x64010A, QStringLiteral("TEXT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("CalibrationLocation"), 0x64010B, QStringLiteral("TEXT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("CalibrationDate"), 0x64010C, QStringLiteral("TEXT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("CalibrationOperator"), 0x64010D, QStringLiteral("TEXT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("CalibrationStandardIdentifier"), 0x64010E, QStringLiteral("TEXT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("TargetGasName"), 0x660101, QStringLiteral("TEXT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("TargetGasCode"), 0x660102, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("TargetGasFullScaleRange"), 0x660103, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("55000")},
        {QStringLiteral("TargetGas2CalibrationGas"), 0x660104, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("TargetGasCpTempCorrection"), 0x660105, QStringLiteral("FIXED16.16"), true, QStringLiteral("-1"), QStringLiteral("1")},
        {QStringLiteral("CalibrationGasName"), 0x660106, QStringLiteral("TEXT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("CalibrationGaseCode"), 0x660107, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("CalibrationGasFullScaleRange"), 0x660108, QStringLiteral("UINT16"), true, QStringLiteral("1"), QStringLiteral("50000")},
        {QStringLiteral("CalibrationGas2N2Conversion"), 0x660109, QStringLiteral("UFIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalibrationTemperature"), 0x66010A, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("4095")},
        {QStringLiteral("CalibrationGasCpTempCorrection"), 0x66010B, QStringLiteral("FIXED16.16"), true, QStringLiteral("-1"), QStringLiteral("1")},
        {QStringLiteral("CalTabValueX1"), 0x660110, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX2"), 0x660111, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX3"), 0x660112, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX4"), 0x660113, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX5"), 0x660114, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX6"), 0x660115, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX7"), 0x660116, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX8"), 0x660117, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX9"), 0x660118, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX10"), 0x660119, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX11"), 0x66011A, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX12"), 0x66011B, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX13"), 0x66011C, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX14"), 0x66011D, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX15"), 0x66011E, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX16"), 0x66011F, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX17"), 0x660120, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX18"), 0x660121, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX19"), 0x660122, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX20"), 0x660123, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX21"), 0x660124, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX22"), 0x660125, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX23"), 0x660126, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX24"), 0x660127, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX25"), 0x660128, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX26"), 0x660129, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX27"), 0x66012A, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX28"), 0x66012B, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX29"), 0x66012C, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX30"), 0x66012D, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX31"), 0x66012E, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueX32"), 0x66012F, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY1"), 0x660130, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY2"), 0x660131, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY3"), 0x660132, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY4"), 0x660133, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY5"), 0x660134, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY6"), 0x660135, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY7"), 0x660136, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY8"), 0x660137, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY9"), 0x660138, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY10"), 0x660139, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY11"), 0x66013A, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY12"), 0x66013B, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY13"), 0x66013C, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY14"), 0x66013D, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY15"), 0x66013E, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY16"), 0x66013F, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY17"), 0x660140, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY18"), 0x660141, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY19"), 0x660142, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY20"), 0x660143, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY21"), 0x660144, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY22"), 0x660145, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY23"), 0x660146, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY24"), 0x660147, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY25"), 0x660148, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY26"), 0x660149, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY27"), 0x66014A, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY28"), 0x66014B, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY29"), 0x66014C, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY30"), 0x66014D, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY31"), 0x66014E, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("CalTabValueY32"), 0x66014F, QStringLiteral("FIXED16.16"), true, QStringLiteral("0"), QStringLiteral("2")},
        {QStringLiteral("VoltageSetpointGain"), 0xA00101, QStringLiteral("FIXED16.16"), false, QStringLiteral("0"), QStringLiteral("1.5")},
        {QStringLiteral("VoltageSetpointOffset"), 0xA00102, QStringLiteral("FIXED16.16"), false, QStringLiteral("-0.5"), QStringLiteral("0.5")},
        {QStringLiteral("CurrentSetpointGain"), 0xA00103, QStringLiteral("FIXED16.16"), false, QStringLiteral("0.5"), QStringLiteral("1.5")},
        {QStringLiteral("CurrentSetpointOffset"), 0xA00104, QStringLiteral("FIXED16.16"), false, QStringLiteral("-0.5"), QStringLiteral("0.5")},
        {QStringLiteral("ReadVoltageADC"), 0xA00105, QStringLiteral("INT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadCurrentADC"), 0xA00106, QStringLiteral("INT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("SensorGain"), 0xA10101, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("SensorOffset"), 0xA10102, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadNumeratorOfSensorRatio"), 0xA10103, QStringLiteral("INT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadDenominatorofSensorRatio"), 0xA10104, QStringLiteral("INT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadSensorRatio"), 0xA10105, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("DigitalPot"), 0xA10106, QStringLiteral("UINT8"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("VoltagePWMGain"), 0xA20101, QStringLiteral("FIXED16.16"), false, QStringLiteral("0.5"), QStringLiteral("2.5")},
        {QStringLiteral("VoltagePWMOffset"), 0xA20102, QStringLiteral("FIXED16.16"), true, QStringLiteral("-0.5"), QStringLiteral("0.5")},
        {QStringLiteral("CurrentPWMGain"), 0xA20103, QStringLiteral("FIXED16.16"), false, QStringLiteral("0.5"), QStringLiteral("1.5")},
        {QStringLiteral("CurrentPWMOffset"), 0xA20104, QStringLiteral("FIXED16.16"), false, QStringLiteral("-0.5"), QStringLiteral("0.5")},
        {QStringLiteral("SetVoltagePWM"), 0xA20105, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("SetCurrentPWM"), 0xA20106, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("FilterConstantA1"), 0xA30101, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("FilterConstantB1"), 0xA30102, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("FilterConstantA2"), 0xA30103, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("FilterConstantB2"), 0xA30104, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("FilterConstantA3"), 0xA30105, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("FilterConstantB3"), 0xA30106, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ReadTemperature"), 0xA30107, QStringLiteral("UINT16"), true, QStringLiteral("0"), QStringLiteral("4095")},
        {QStringLiteral("MACAddress"), 0x030101, QStringLiteral("UINT8"), true, QStringLiteral("32"), QStringLiteral("95")},
        {QStringLiteral("BaudRate"), 0x030102, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("Reset"), 0x030103, QStringLiteral("UINT8"), true, QStringLiteral("1"), QStringLiteral("1")},
        {QStringLiteral("K1"), 0xA3010A, QStringLiteral("FLOAT32"), true, QStringLiteral("0"), QStringLiteral("10000")},
        {QStringLiteral("K2"), 0xA3010B, QStringLiteral("FLOAT32"), true, QStringLiteral("0"), QStringLiteral("10000")},
        {QStringLiteral("K3"), 0xA3010C, QStringLiteral("FLOAT32"), true, QStringLiteral("0"), QStringLiteral("10000")},
        {QStringLiteral("T"), 0xA3010D, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("FilterS"), 0xA3010E, QStringLiteral("FLOAT32"), true, QStringLiteral("0"), QStringLiteral("10000")},
        {QStringLiteral("FilterF"), 0xA3010F, QStringLiteral("FLOAT32"), true, QStringLiteral("0"), QStringLiteral("10000")},
        {QStringLiteral("fTt"), 0xA30110, QStringLiteral("FLOAT32"), true, QStringLiteral("0"), QStringLiteral("10000")},
        {QStringLiteral("fN"), 0xA30111, QStringLiteral("FLOAT32"), true, QStringLiteral("0"), QStringLiteral("10000")},
        {QStringLiteral("fb"), 0xA30112, QStringLiteral("FLOAT32"), true, QStringLiteral("0"), QStringLiteral("10000")},
        {QStringLiteral("LowStartVavle"), 0x6A01A5, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("Gain1"), 0xA30113, QStringLiteral("FLOAT32"), true, QStringLiteral("-1000"), QStringLiteral("1000")},
        {QStringLiteral("Gain2"), 0xA30114, QStringLiteral("FLOAT32"), true, QStringLiteral("-1000"), QStringLiteral("1000")},
        {QStringLiteral("Gain3"), 0xA30115, QStringLiteral("FLOAT32"), true, QStringLiteral("-1000"), QStringLiteral("1000")},
        {QStringLiteral("Gain4"), 0xA30116, QStringLiteral("FLOAT32"), true, QStringLiteral("-1000"), QStringLiteral("1000")},
        {QStringLiteral("Gain5"), 0xA30117, QStringLiteral("FLOAT32"), true, QStringLiteral("-1000"), QStringLiteral("1000")},
        {QStringLiteral("IntChange1"), 0xA30118, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("IntChange2"), 0xA30122, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("IntChange3"), 0xA30125, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ErrorBand"), 0xA30119, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("Gain6"), 0xA30120, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("Gain7"), 0xA30121, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("Gain8"), 0xA30124, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("LowSetpoint"), 0x6A01A6, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("LowSetPoint1"), 0x6A01A9, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("LowSetPoint2"), 0x6A01AA, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("EnableDisalbeAlarms"), 0x6501A2, QStringLiteral("UINT16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ClearAlarms"), 0x6501A1, QStringLiteral("UINT8"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("TargetNullValue"), 0xA10107, QStringLiteral("FIXED16.16"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("ZeroSensorOut"), 0x999999, QStringLiteral("UINT8"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("NoFlowCouse"), 0xA30123, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("SetpointStartCurrent"), 0x6A01AB, QStringLiteral("FLOAT32"), false, QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("Undefined"), 0xFFFFFFFF, QStringLiteral("Undefined"), false, QStringLiteral(""), QStringLiteral("")},
    };
    return rows;
}

// Kind of each value type name, in the order the type names are tested.
int kindOfType(const QString& type)
{
    static const QList<QPair<QString, int>> kinds = {
        {QStringLiteral("UINT8"), KIND_UINT8},
        {QStringLiteral("UINT16"), KIND_UINT16},
        {QStringLiteral("UINT32"), KIND_UINT32},
        {QStringLiteral("INT32"), KIND_INT32},
        {QStringLiteral("FRAC16.16"), KIND_DOUBLE},
        {QStringLiteral("UFRAC16"), KIND_DOUBLE},
        {QStringLiteral("FIXED16.16"), KIND_DOUBLE},
        {QStringLiteral("UFIXED16.16"), KIND_DOUBLE},
        {QStringLiteral("TEXT8"), KIND_TEXT},
        {QStringLiteral("TEXT16"), KIND_TEXT},
        {QStringLiteral("TEXT32"), KIND_TEXT},
        {QStringLiteral("FLOAT32"), KIND_FLOAT},
    };
    for (const auto& k : kinds) {
        if (k.first == type)
            return k.second;
    }
    return -1;
}

} // namespace

TervanCore::TervanCore(QObject* parent)
    : QObject(parent)
{
    const QStringList excluded = {QStringLiteral("EEPROMProgram"), QStringLiteral("Reset"),
                                  QStringLiteral("ClearAlarms"), QStringLiteral("ZeroSensorOut")};
    m_noReadList = excluded;
    m_noReadAllList = excluded;
    m_readOnlyList = QStringList{
        QStringLiteral("ReadActiveSetpoint"), QStringLiteral("ReadVoltageSetpoint"),
        QStringLiteral("ReadCurrentSetpoint"), QStringLiteral("ReadFlow"),
        QStringLiteral("ReadUnzeroedSensor"), QStringLiteral("ReadUnfilteredSensor"),
        QStringLiteral("ReadValveVoltage"), QStringLiteral("ReadValveCurrent"),
        QStringLiteral("ReadValveCommandVoltage"), QStringLiteral("ReadTotalTimeOnTimer"),
        QStringLiteral("ReadTotalControledFlowTime"), QStringLiteral("ReadControlledFlowAccumulator"),
        QStringLiteral("ReadAlarms"), QStringLiteral("FirmwareVersion"),
        QStringLiteral("ReadVoltageADC"), QStringLiteral("ReadCurrentADC"),
        QStringLiteral("ReadNumeratorOfSensorRatio"), QStringLiteral("ReadDenominatorofSensorRatio"),
        QStringLiteral("ReadSensorRatio"), QStringLiteral("ReadTemperature"),
        QStringLiteral("K3"), QStringLiteral("ZeroSensorOut")};
    m_noCheckList = QStringList{
        QStringLiteral("EEPROMProgram"), QStringLiteral("ReadActiveSetpoint"),
        QStringLiteral("ReadVoltageSetpoint"), QStringLiteral("ReadCurrentSetpoint"),
        QStringLiteral("ZeroConstant"), QStringLiteral("ReadFlow"),
        QStringLiteral("ZeroStatusAndSetting"), QStringLiteral("ReadUnzeroedSensor"),
        QStringLiteral("ReadUnfilteredSensor"), QStringLiteral("ReadValveVoltage"),
        QStringLiteral("ReadValveCurrent"), QStringLiteral("ReadValveCommandVoltage"),
        QStringLiteral("ReadTotalTimeOnTimer"), QStringLiteral("ReadTotalControledFlowTime"),
        QStringLiteral("ReadControlledFlowAccumulator"), QStringLiteral("ControlFlowAccumulatorMode"),
        QStringLiteral("ReadAlarms"), QStringLiteral("FirmwareVersion"),
        QStringLiteral("ReadVoltageADC"), QStringLiteral("ReadCurrentADC"),
        QStringLiteral("ReadNumeratorOfSensorRatio"), QStringLiteral("ReadDenominatorofSensorRatio"),
        QStringLiteral("ReadSensorRatio"), QStringLiteral("SetVoltagePWM"),
        QStringLiteral("SetCurrentPWM"), QStringLiteral("ReadTemperature"),
        QStringLiteral("BaudRate"), QStringLiteral("Reset"), QStringLiteral("K3"),
        QStringLiteral("ClearAlarms"), QStringLiteral("ZeroSensorOut")};
    m_address = 0xFF;
    buildCmdTable();
}

TervanCore::~TervanCore() = default;

void TervanCore::buildCmdTable()
{
    m_undefined = mfc_cmd_t();
    m_undefined.name = QStringLiteral("Undefined");
    m_undefined.code = 0xFFFFFFFF;

    const QList<Row>& rows = tableRows();
    m_cmdList.clear();
    for (const Row& r : rows)
        m_cmdList.append(r.name);

    for (const Row& r : rows) {
        // The closing row stands for "not in the table" and enters no map.
        if (r.name == QLatin1String("Undefined"))
            break;
        mfc_cmd_t row;
        row.name = r.name;
        row.code = r.code;
        row.type = r.type;
        row.range = r.range;
        row.min = r.min;
        row.max = r.max;
        m_codeMap.insert(row.code, row);
        m_nameMap.insert(row.name, row);
        const int kind = kindOfType(row.type);
        if (kind >= 0)
            m_kindMap.insert(row.name, kind);
    }
}

bool TervanCore::needCheck(const QString& name) const
{
    return !m_noCheckList.contains(name);
}

TervanCore::mfc_cmd_t TervanCore::cmdByName(const QString& name) const
{
    return m_nameMap.value(name, m_undefined);
}

TervanCore::mfc_cmd_t TervanCore::cmdByCode(quint32 code) const
{
    return m_codeMap.value(code, m_undefined);
}

int TervanCore::kindOf(const QString& name) const
{
    return m_kindMap.value(name, -1);
}
