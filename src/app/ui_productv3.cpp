#include "ui_productv3.h"

#include "languagedictionary.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include <iterator>

namespace {

struct FieldSpec
{
    const char* caption;
    const char* reg;
};

const FieldSpec kLeft[] = {
    {"Manufacturer", "Manufacturer"},
    {"ProductName", "ModelIdentifier"},
    {"ProductType", "DeviceType"},
    {"FirmwareVersion", "FirmwareVersion"},
    {"PCBVersion", "PCBVersion"},
};
const FieldSpec kMiddle[] = {
    {"MFCSerialNumber", "MFCSerialNumber"},
    {"ProductCode", "ProductCode"},
    {"SensorSerialNumber", "SensorSerialNumber"},
};
const FieldSpec kRight[] = {
    {"ManufacturingDate", "ManufacturingDate"},
    {"ManufacturingLocation", "ManufacturingLocation"},
    {"CalibrationDate", "CalibrationDate"},
    {"CalibrationLocation", "CalibrationLocation"},
    {"CalibrationStandardIdentifier", "CalibrationStandardIdentifier"},
};

} // namespace

UI_ProductV3::UI_ProductV3(QWidget* parent)
    : QWidget(parent)
{
    m_regList << QStringLiteral("Manufacturer") << QStringLiteral("ModelIdentifier")
              << QStringLiteral("DeviceType") << QStringLiteral("FirmwareVersion")
              << QStringLiteral("PCBVersion") << QStringLiteral("MFCSerialNumber")
              << QStringLiteral("ProductCode") << QStringLiteral("SensorSerialNumber")
              << QStringLiteral("ManufacturingLocation") << QStringLiteral("ManufacturingDate")
              << QStringLiteral("CalibrationLocation") << QStringLiteral("CalibrationDate")
              << QStringLiteral("CalibrationStandardIdentifier") << QStringLiteral("ValveType");
    buildUi();
}

UI_ProductV3::~UI_ProductV3()
{
    qDeleteAll(m_fields);
    delete m_ncRadio;
    delete m_noRadio;
}

void UI_ProductV3::buildUi()
{
    LanguageDictionary lang;

    auto fillBox = [&](QGroupBox* box, const FieldSpec* specs, int count) {
        auto* column = new QVBoxLayout(box);
        for (int i = 0; i < count; ++i) {
            auto* edit = new QLineEdit();
            edit->setReadOnly(true);
            edit->setObjectName(QString::fromLatin1(specs[i].reg));
            m_fields.insert(QString::fromLatin1(specs[i].reg), edit);
            column->addWidget(new QLabel(lang.translate(QString::fromLatin1(specs[i].caption))));
            column->addWidget(edit);
        }
        column->addStretch();
    };

    auto* leftBox = new QGroupBox();
    fillBox(leftBox, kLeft, int(std::size(kLeft)));

    auto* middleBox = new QGroupBox();
    fillBox(middleBox, kMiddle, int(std::size(kMiddle)));
    auto* valveBox = new QGroupBox(lang.translate(QStringLiteral("Valve Type")));
    m_ncRadio = new QRadioButton(lang.translate(QStringLiteral("NC")));
    m_ncRadio->setObjectName(QStringLiteral("ncRadio"));
    m_noRadio = new QRadioButton(lang.translate(QStringLiteral("NO")));
    m_noRadio->setObjectName(QStringLiteral("noRadio"));
    m_ncRadio->setEnabled(false);
    m_noRadio->setEnabled(false);
    auto* valveColumn = new QVBoxLayout(valveBox);
    valveColumn->addWidget(m_ncRadio);
    valveColumn->addWidget(m_noRadio);
    auto* middleColumn = new QVBoxLayout();
    middleColumn->addWidget(middleBox, 8);
    middleColumn->addWidget(valveBox, 4);
    middleColumn->addStretch(6);

    auto* rightBox = new QGroupBox();
    fillBox(rightBox, kRight, int(std::size(kRight)));

    auto* row = new QHBoxLayout(this);
    row->addWidget(leftBox);
    row->addLayout(middleColumn);
    row->addWidget(rightBox);
}

QStringList UI_ProductV3::readList()
{
    return m_regList;
}

void UI_ProductV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    if (!m_regList.contains(reg.cmd))
        return;
    if (reg.cmd != QLatin1String("ValveType")) {
        if (QLineEdit* field = m_fields.value(reg.cmd))
            field->setText(reg.output);
        return;
    }
    switch (reg.value.u8) {
    case 0:
        m_ncRadio->setChecked(true);
        break;
    case 1:
        m_noRadio->setChecked(true);
        break;
    default: {
        // Not exec(): this runs inside the link's reply handling, which must
        // go on (the start-up reads) while the box is open.
        auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Undefined Vavle type."),
                                    QStringLiteral("Undefined Vavle type."), QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        break;
    }
    }
}
