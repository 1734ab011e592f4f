#pragma once

// Helpers shared by the tests of the others page and the flow record:
//
//   OthersTest::WorkDir dir;  dir.enter("en");   // temp cwd with tervancal.ini
//   page.mfc_ack(makeReply("Delay", 500));       // a reply as the transport builds it
//   OthersTest::BoxAnswer answer("Sure");          // clicks the next message box's button
//   QStringList sent = OthersTest::framesText(spy); // "cmd|op|input|bg" per frame

#include "mfcframe.h"
#include "replyutil.h"
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
