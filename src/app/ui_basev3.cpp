#include "ui_basev3.h"

#include "languagedictionary.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

UI_BaseV3::UI_BaseV3(bool showDeviceButtons, QWidget* parent)
    : QWidget(parent)
    , m_showDeviceButtons(showDeviceButtons)
{
    m_regList << QStringLiteral("MACAddress") << QStringLiteral("TargetGasName")
              << QStringLiteral("CalibrationGasName") << QStringLiteral("TargetGasFullScaleRange");
    buildUi();

    connect(m_resetAppButton, &QPushButton::clicked, this, &UI_BaseV3::onClicked_appRestart);
    connect(m_langButton, &QPushButton::clicked, this, &UI_BaseV3::onClicked_changedLang);
    connect(m_writeEepromButton, &QPushButton::clicked, this, &UI_BaseV3::onClicked_writeEEPROM);
    connect(m_resetMfcButton, &QPushButton::clicked, this, &UI_BaseV3::onClicked_resetMFC);
}

UI_BaseV3::~UI_BaseV3()
{
    // The device buttons are parentless when they were never laid out.
    delete m_langButton;
    delete m_resetAppButton;
    delete m_writeEepromButton;
    delete m_resetMfcButton;
    delete m_addressEdit;
    delete m_calGasEdit;
    delete m_gasRangeEdit;
    delete m_unitEdit;
    delete m_targetGasEdit;
}

void UI_BaseV3::buildUi()
{
    LanguageDictionary lang;

    m_resetAppButton = new QPushButton(lang.translate(QStringLiteral("Reset App")));
    m_resetAppButton->setObjectName(QStringLiteral("resetAppButton"));
    m_langButton = new QPushButton(lang.translate(QStringLiteral("切换到中文")));
    m_langButton->setObjectName(QStringLiteral("langButton"));
    m_writeEepromButton = new QPushButton(lang.translate(QStringLiteral("Write E2PROM")));
    m_writeEepromButton->setObjectName(QStringLiteral("writeEepromButton"));
    m_resetMfcButton = new QPushButton(lang.translate(QStringLiteral("Reset MFC")));
    m_resetMfcButton->setObjectName(QStringLiteral("resetMfcButton"));

    auto makeField = [](const QString& name) {
        auto* edit = new QLineEdit();
        edit->setReadOnly(true);
        edit->setObjectName(name);
        return edit;
    };
    m_addressEdit = makeField(QStringLiteral("addressEdit"));
    m_targetGasEdit = makeField(QStringLiteral("targetGasEdit"));
    m_gasRangeEdit = makeField(QStringLiteral("gasRangeEdit"));
    m_unitEdit = makeField(QStringLiteral("unitEdit"));
    m_unitEdit->setText(QStringLiteral("SCCM"));
    m_calGasEdit = makeField(QStringLiteral("calGasEdit"));

    auto* row = new QHBoxLayout(this);
    auto addColumn = [row](QWidget* top, QWidget* bottom) {
        auto* column = new QVBoxLayout();
        column->addWidget(top);
        column->addWidget(bottom);
        row->addLayout(column);
    };
    auto addField = [&](const char* caption, QLineEdit* field) {
        addColumn(new QLabel(lang.translate(QString::fromUtf8(caption))), field);
    };

    addColumn(m_resetAppButton, m_langButton);
    if (m_showDeviceButtons)
        addColumn(m_writeEepromButton, m_resetMfcButton);
    addField("Address", m_addressEdit);
    addField("Target Gas", m_targetGasEdit);
    addField("Target Gas Range", m_gasRangeEdit);
    addField("Unit ", m_unitEdit);
    addField("Calibrate Gas", m_calGasEdit);
}

QStringList UI_BaseV3::readList()
{
    return m_regList;
}

void UI_BaseV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    if (!m_regList.contains(reg.cmd))
        return;
    if (reg.cmd == QLatin1String("MACAddress"))
        m_addressEdit->setText(reg.output);
    else if (reg.cmd == QLatin1String("TargetGasName"))
        m_targetGasEdit->setText(reg.output);
    else if (reg.cmd == QLatin1String("TargetGasFullScaleRange"))
        m_gasRangeEdit->setText(reg.output);
    else if (reg.cmd == QLatin1String("CalibrationGasName"))
        m_calGasEdit->setText(reg.output);
}
