// Gas settings of the others page: target-gas range, conversion factor,
// soft start, delay and shut-off level, each behind a confirmation box.
#include "ui_othersv3.h"

#include "languagedictionary.h"

#include <QDebug>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
constexpr double FACTOR_MIN = 0.3;
constexpr double FACTOR_MAX = 2.0;
constexpr quint16 NO_CAL_GAS_RANGE = 65535;
constexpr double NO_GAS_FACTOR = -2.0;

QGroupBox* makeGroup(const QString& title, const QList<QWidget*>& row, bool stretchEach)
{
    auto* group = new QGroupBox(title);
    auto* box = new QHBoxLayout(group);
    for (QWidget* w : row) {
        if (w)
            box->addWidget(w, stretchEach ? 1 : 0);
        else
            box->addStretch();
    }
    return group;
}

// The range label grows to "[15000,55000]sccm" once the ranges are known; the
// "Set" button then goes to a second line, at the right as in the other groups.
QGroupBox* makeTwoLineGroup(const QString& title, const QList<QWidget*>& line, QWidget* last)
{
    auto* group = new QGroupBox(title);
    auto* first = new QHBoxLayout;
    for (QWidget* w : line)
        first->addWidget(w);
    first->addStretch();
    auto* second = new QHBoxLayout;
    second->addStretch();
    second->addWidget(last);
    auto* box = new QVBoxLayout(group);
    box->addLayout(first);
    box->addLayout(second);
    return group;
}
} // namespace

void UI_OthersV3::createGasGroups()
{
    const QString setText = m_lang->translate(QStringLiteral("Set"));
    auto makeSet = [&](const char* name) {
        auto* b = new QPushButton(setText);
        b->setObjectName(QLatin1String(name));
        // The style's minimum of 80 px is more than the short caption needs.
        b->setMinimumWidth(b->fontMetrics().horizontalAdvance(setText) + 24);
        return b;
    };

    m_targetRange = new QSpinBox;
    m_targetRange->setObjectName(QStringLiteral("targetRange"));
    m_targetRange->setRange(100, 51000);
    m_targetRangeLabel = new QLabel(QStringLiteral("SCCM"));
    m_targetRangeLabel->setObjectName(QStringLiteral("targetRangeLabel"));
    m_targetRangeSet = makeSet("targetRangeSet");
    m_gasGroups << makeTwoLineGroup(m_lang->translate(QStringLiteral("TargetGasRange")),
                                    {m_targetRange, m_targetRangeLabel}, m_targetRangeSet);

    m_factor = new QDoubleSpinBox;
    m_factor->setObjectName(QStringLiteral("factor"));
    m_factor->setRange(FACTOR_MIN, FACTOR_MAX);
    m_factor->setSingleStep(0.1);
    m_factorLabel = new QLabel(m_lang->translate(QStringLiteral("[%1,%2]"))
                                   .arg(FACTOR_MIN, 0, 'g', 6)
                                   .arg(FACTOR_MAX, 0, 'g', 6));
    m_factorLabel->setObjectName(QStringLiteral("factorLabel"));
    m_factorSet = makeSet("factorSet");
    m_gasGroups << makeGroup(m_lang->translate(QStringLiteral("Transfor")),
                             {m_factor, m_factorLabel, m_factorSet}, false);

    m_softStart = new QDoubleSpinBox;
    m_softStart->setObjectName(QStringLiteral("softStart"));
    m_softStart->setRange(0, 100);
    m_softStartSet = makeSet("softStartSet");
    m_gasGroups << makeGroup(m_lang->translate(QStringLiteral("SoftStart")),
                             {new QLabel(m_lang->translate(QStringLiteral("F.S.%/S"))), m_softStart,
                              new QLabel(QStringLiteral("F.S.%")), m_softStartSet},
                             true);

    m_delay = new QSpinBox;
    m_delay->setObjectName(QStringLiteral("delay"));
    m_delay->setRange(0, 25549);
    m_delaySet = makeSet("delaySet");
    m_gasGroups << makeGroup(m_lang->translate(QStringLiteral("Delay")),
                             {m_delay, new QLabel(QStringLiteral("ms")), nullptr, m_delaySet}, false);

    m_shutoffLevel = new QDoubleSpinBox;
    m_shutoffLevel->setObjectName(QStringLiteral("shutoffLevel"));
    m_shutoffLevel->setRange(0, 99.99);
    m_shutoffLevelSet = makeSet("shutoffLevelSet");
    m_gasGroups << makeGroup(m_lang->translate(QStringLiteral("ShutoffLevel")),
                             {new QLabel(m_lang->translate(QStringLiteral("Less"))), m_shutoffLevel,
                              new QLabel(m_lang->translate(QStringLiteral("F.S.% Close"))),
                              m_shutoffLevelSet},
                             false);
}

// 0 for "Sure", 1 for "Cancel"; the box has no escape button, so only a click ends it.
int UI_OthersV3::askConfirmation(const QString& text)
{
    return QMessageBox::information(this, QString(), text, m_lang->translate(QStringLiteral("Sure")),
                                    m_lang->translate(QStringLiteral("Cancel")), QString(), 1, -1);
}

QString UI_OthersV3::languageText(const QString& en, const QString& cn) const
{
    const QString lang = m_lang->language();
    if (lang == QLatin1String("en"))
        return en;
    if (lang == QLatin1String("cn"))
        return cn;
    // The dictionary only ever reports "en" or "cn".
    qDebug() << "Guard fail.";
    std::exit(1);
}

void UI_OthersV3::onClicked_fullrange(bool)
{
    const QString name = QStringLiteral("TargetGasFullScaleRange");
    if (askConfirmation(m_lang->translate(QStringLiteral("Be sure to change fullrange?"))) == 1) {
        requestRead(name, false);
        return;
    }
    requestWriteAndProgram(name, QString::number(m_targetRange->value()));
}

void UI_OthersV3::onClicked_transform(bool)
{
    const QString text = languageText(QStringLiteral("Change gas transtor also change fullrange?"),
                                      QStringLiteral("修改气体转换系数同时会修改气体满量程?"));
    if (askConfirmation(text) == 1) {
        requestRead(QStringLiteral("TargetGas2CalibrationGas"), false);
        return;
    }
    const double factor = m_factor->value();
    requestWriteAndProgram(QStringLiteral("TargetGas2CalibrationGas"), QString::number(factor, 'g', 6));

    // The device does not follow the factor with its range; the page does.
    float range = float(factor * m_calGasRange);
    if (range > FLOW_RANGE_CAP)
        range = FLOW_RANGE_CAP;
    const int rounded = int(range + 0.5f);
    requestWriteAndProgram(QStringLiteral("TargetGasFullScaleRange"), QString::number(rounded));
}

void UI_OthersV3::onClicked_softStart(bool)
{
    const QString text = languageText(QStringLiteral("Sure to change softstart?"),
                                      QStringLiteral("确认更改软起动数值？"));
    if (askConfirmation(text) == 1) {
        requestRead(QStringLiteral("SoftstartRate"), false);
        return;
    }
    requestWriteAndProgram(QStringLiteral("SoftstartRate"), QString::number(m_softStart->value(), 'g', 6));
}

void UI_OthersV3::onClicked_delay(bool)
{
    const QString text = languageText(QStringLiteral("Sure to change delay?"),
                                      QStringLiteral("确认更改延迟时间？"));
    if (askConfirmation(text) == 1) {
        requestRead(QStringLiteral("Delay"), false);
        return;
    }
    requestWriteAndProgram(QStringLiteral("Delay"), QString::number(m_delay->value()));
}

void UI_OthersV3::onClicked_shutoffLevel(bool)
{
    const QString text = languageText(QStringLiteral("Sure to change shutoff level?"),
                                      QStringLiteral("确认更改关闭比率？"));
    if (askConfirmation(text) == 1) {
        requestRead(QStringLiteral("ShutoffLevel"), false);
        return;
    }
    requestWriteAndProgram(QStringLiteral("ShutoffLevel"),
                           QString::number(m_shutoffLevel->value(), 'g', 6));
}

void UI_OthersV3::updateGasRanges()
{
    const bool factorKnown = std::fabs(m_gasFactor - NO_GAS_FACTOR) >= 0.01;
    if (m_calGasRange != NO_CAL_GAS_RANGE && factorKnown) {
        const double b = m_gasFactor * m_calGasRange;
        const long low = std::min<long>(std::lround(0.3 * b), FLOW_RANGE_CAP);
        const long high = std::min<long>(std::lround(1.1 * b), FLOW_RANGE_CAP);
        m_targetRange->setRange(int(low), int(high));
        m_targetRangeLabel->setText(QStringLiteral("[%1,%2]sccm").arg(low).arg(high));
    }

    // A range of 0 would divide to infinity: the factor keeps its own bound.
    const double max = m_calGasRange == 0
        ? FACTOR_MAX
        : std::min(double(FLOW_RANGE_CAP) / m_calGasRange, FACTOR_MAX);
    m_factor->setRange(FACTOR_MIN, max);
    m_factorLabel->setText(QStringLiteral("[%1,%2]").arg(FACTOR_MIN, 0, 'g', 6).arg(max, 0, 'f', 2));
}
