#pragma once

// Helpers shared by the tests of the others page and the flow record:
//
//   OthersTest::WorkDir dir;  dir.enter("en");   // temp cwd with tervancal.ini
//   page.mfc_ack(OthersTest::reply("Delay", 500)); // a reply as the transport builds it
//   OthersTest::BoxAnswer answer("Sure");          // clicks the next message box's button
//   QStringList sent = OthersTest::framesText(spy); // "cmd|op|input|bg" per frame

#include "mfcframe.h"
#include "tervancore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>

#include <cstring>

namespace OthersTest {

// Runs the test inside a temporary working directory holding tervancal.ini,
// so the dictionary and the "record" folder stay out of the build tree.
class WorkDir
{
public:
    bool enter(const QString& lang)
    {
        if (!m_dir.isValid() || !QDir::setCurrent(m_dir.path()))
            return false;
        setLanguage(lang);
        return true;
    }
    static void setLanguage(const QString& lang)
    {
        QSettings s(QStringLiteral("tervancal.ini"), QSettings::IniFormat);
        s.clear();
        s.setValue(QStringLiteral("lang"), lang);
        s.sync();
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// The value kind of each register the page reads, as the register table gives it.
inline int kindOf(const QString& cmd)
{
    static const QMap<QString, int> kinds{
        {"TargetGasFullScaleRange", KIND_UINT16},
        {"CalibrationGasFullScaleRange", KIND_UINT16},
        {"TargetGas2CalibrationGas", KIND_DOUBLE},
        {"SoftstartRate", KIND_DOUBLE},
        {"ShutoffLevel", KIND_DOUBLE},
        {"Delay", KIND_UINT16},
        {"ReadAlarms", KIND_UINT16},
        {"EnableDisalbeAlarms", KIND_UINT16},
        {"ReadControlledFlowAccumulator", KIND_FLOAT},
        {"ReadFlow", KIND_DOUBLE},
        {"MFCSerialNumber", KIND_TEXT},
        {"ZeroConstant", KIND_UINT8},
        {"TargetNullValue", KIND_DOUBLE},
        {"ValveCommandMode", KIND_UINT8},
        {"ValveCommand", KIND_UINT8},
        {"ReadValveVoltage", KIND_UINT16},
        {"ReadTemperature", KIND_UINT16},
        {"ControlFlowAccumulatorMode", KIND_UINT8},
        {"ReadActiveSetpoint", KIND_DOUBLE},
    };
    return kinds.value(cmd, -1);
}

// A decoded reply filled the way the transport fills it: name, kind, value area, output text.
inline TervanCore::mfc_reg_t reply(const QString& cmd, const QVariant& v)
{
    TervanCore::mfc_reg_t reg;
    reg.cmd = cmd;
    reg.type = kindOf(cmd);
    switch (reg.type) {
    case KIND_UINT8:
        reg.value.u8 = quint8(v.toUInt());
        reg.output = QString::number(reg.value.u8);
        break;
    case KIND_UINT16:
        reg.value.u16 = quint16(v.toUInt());
        reg.output = QString::number(reg.value.u16);
        break;
    case KIND_FLOAT:
        reg.value.f32 = v.toFloat();
        reg.output = QString::number(double(reg.value.f32), 'f', 8);
        break;
    case KIND_DOUBLE:
        reg.value.f64 = v.toDouble();
        reg.output = QString::number(reg.value.f64, 'f', 8);
        break;
    case KIND_TEXT: {
        const QByteArray bytes = v.toString().toUtf8().left(TervanCore::VALUE_AREA_SIZE - 1);
        std::memcpy(reg.value.text, bytes.constData(), size_t(bytes.size()));
        reg.output = QString::fromUtf8(bytes);
        break;
    }
    default:
        break;
    }
    return reg;
}

inline QString frameText(const mfc_frame_t& f)
{
    return QStringLiteral("%1|%2|%3|%4")
        .arg(f.cmd)
        .arg(f.op)
        .arg(f.input)
        .arg(f.background ? QStringLiteral("bg") : QStringLiteral("fg"));
}

// One entry per commands_req emission, its frames joined by "; ".
inline QStringList requestsText(const QSignalSpy& spy)
{
    QStringList out;
    for (const QList<QVariant>& args : spy) {
        QStringList frames;
        for (const mfc_frame_t& f : args.at(0).value<QList<mfc_frame_t>>())
            frames << frameText(f);
        out << frames.join(QStringLiteral("; "));
    }
    return out;
}

// True when no frame in the spy asks for a read-back check.
inline bool noneChecked(const QSignalSpy& spy)
{
    for (const QList<QVariant>& args : spy)
        for (const mfc_frame_t& f : args.at(0).value<QList<mfc_frame_t>>())
            if (f.check)
                return false;
    return true;
}

inline QMessageBox* visibleMessageBox()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->isVisible())
            return box;
    }
    return nullptr;
}

// Clicks the button captioned `button` on the next message box that shows up,
// so that a modal box inside the code under test does not block the test.
class BoxAnswer : public QObject
{
public:
    explicit BoxAnswer(const QString& button)
        : m_button(button)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { tryAnswer(); });
        m_timer.start();
    }
    QString text;         // the box's text
    QStringList buttons;  // the captions it offered
    bool answered = false;

private:
    void tryAnswer()
    {
        QMessageBox* box = visibleMessageBox();
        if (!box)
            return;
        text = box->text();
        buttons.clear();
        QAbstractButton* target = nullptr;
        for (QAbstractButton* b : box->buttons()) {
            buttons << b->text();
            if (b->text() == m_button)
                target = b;
        }
        m_timer.stop();
        answered = true;
        if (target)
            target->click();
        else
            box->done(0); // wrong captions: end the box and let the test fail on them
    }

    QString m_button;
    QTimer m_timer;
};

} // namespace OthersTest
