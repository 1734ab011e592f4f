#pragma once

// Fixtures of the main-window, page and engineering-page tests.

#include "replyutil.h"
#include "simdevice.h"
#include "tervanhalv3.h"
#include "ui_basev3.h"
#include "ui_drvv3.h"
#include "ui_normalv3.h"
#include "ui_othersv3.h"
#include "ui_productv3.h"
#include "ui_test.h"
#include "ui_usercalv3.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace apptest {

// Whether the row-th row (from 0) of a function belongs to this run: a test
// registered in shards is run with VARNOC_SHARD=k/n and takes every nth row
// from the kth; run without it, it takes every row.
inline bool inShard(int row)
{
    const QList<QByteArray> kn = qgetenv("VARNOC_SHARD").split('/');
    const int n = kn.size() == 2 ? kn.at(1).toInt() : 0;
    return n <= 0 || row % n == kn.at(0).toInt();
}

// First in a data-driven test function whose rows are spread over shards.
#define VARNOC_SKIP_OTHER_SHARDS()                    \
    do {                                              \
        static int shardRow = 0;                      \
        if (!apptest::inShard(shardRow++))            \
            QSKIP("run by another shard");            \
    } while (0)

// Makes a fresh temporary directory the working directory for its lifetime.
class WorkDir
{
public:
    WorkDir() : m_old(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~WorkDir() { QDir::setCurrent(m_old); }
    QString path() const { return m_dir.path(); }
    void writeIni(const QVariantMap& keys) const // tervancal.ini holds these keys only
    {
        QSettings s(QStringLiteral("tervancal.ini"), QSettings::IniFormat);
        s.clear();
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            s.setValue(it.key(), it.value());
    }
    QVariantMap readIni() const
    {
        QSettings s(QStringLiteral("tervancal.ini"), QSettings::IniFormat);
        QVariantMap m;
        for (const QString& k : s.allKeys())
            m.insert(k, s.value(k));
        return m;
    }

private:
    QTemporaryDir m_dir;
    QString m_old;
};

// Presses the button captioned `button` (any when empty) on each modal box.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(const QString& button = QString()) : m_button(button)
    {
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::poll);
        m_timer.start(20);
    }
    void setButton(const QString& button) { m_button = button; }
    QStringList titles, texts, buttons; // buttons: captions of the last box
    QList<QWidget*> windows;            // the window each box opened over (null: none)

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == m_lastBox)
            return;
        m_lastBox = box;
        titles << box->windowTitle();
        texts << box->text();
        windows << (box->parentWidget() ? box->parentWidget()->window() : nullptr);
        buttons.clear();
        QAbstractButton* target = nullptr;
        for (QAbstractButton* b : box->buttons()) {
            buttons << b->text();
            target = !target && (m_button.isEmpty() || b->text() == m_button) ? b : target;
        }
        target ? target->click() : box->reject();
    }
    QTimer m_timer;
    QString m_button;
    QPointer<QMessageBox> m_lastBox;
};

inline QString statusText(UI_Test& w) { return w.statusBar()->currentMessage(); }
inline QString statusStyle(UI_Test& w) { return w.statusBar()->styleSheet(); }
const QString kRed = QStringLiteral("background-color: rgb(255, 0, 0);");
const QString kYellow = QStringLiteral("background-color: rgb(255, 255, 0);");
const QString kWhite = QStringLiteral("background-color: rgb(255, 255, 255);");

// One entry per commands_req: its frames as "cmd|op|input" ("|bg" for a
// background frame, "|check" for a read-back), joined by "; ".
inline QStringList sent(const QSignalSpy& spy)
{
    QStringList out;
    for (const QList<QVariant>& args : spy) {
        QStringList frames;
        for (const mfc_frame_t& f : args.at(0).value<QList<mfc_frame_t>>())
            frames << QStringLiteral("%1|%2|%3").arg(f.cmd).arg(f.op).arg(f.input) + (f.background ? "|bg" : "")
                    + (f.check ? "|check" : "");
        out << frames.join(QStringLiteral("; "));
    }
    return out;
}

// The named child; the test process stops when there is none.
template<typename T>
T* find(const QObject* parent, const QString& name)
{
    T* child = parent->findChild<T*>(name);
    if (!child)
        qFatal("no child %s", qPrintable(name));
    return child;
}

// The start-up reads as the window merges them: the base panel's names, then
// each new name of the product, normal, others and user calibration pages.
inline QStringList expectedStartupNames(UI_Test& w)
{
    UI_UserCalV3* userCal = nullptr; // a window of its own; all have the same list
    for (QWidget* top : QApplication::topLevelWidgets())
        userCal = userCal ? userCal : qobject_cast<UI_UserCalV3*>(top);
    QStringList names = w.findChild<UI_BaseV3*>()->readList();
    for (const QStringList& l : {w.findChild<UI_ProductV3*>()->readList(), w.findChild<UI_NormalV3*>()->readList(),
                                 w.findChild<UI_OthersV3*>()->readList(), userCal->readList()})
        for (const QString& n : l)
            names << (names.contains(n) ? QStringList() : QStringList{n});
    return names;
}

// Builds a window on `dev` and waits until the last start-up read was answered.
inline bool startWindowOn(SimDevice& dev, std::unique_ptr<UI_Test>& w)
{
    w = std::make_unique<UI_Test>(QStringList{dev.slavePath()});
    const QString last = expectedStartupNames(*w).last();
    bool done = false;
    QObject ctx;
    QObject::connect(w->findChild<UI_DrvV3*>()->hal(), &TervanHALV3::ack, &ctx,
                     [&done, last](const TervanCore::mfc_reg_t& r) { done = done || r.cmd == last; });
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < 20000)
        QTest::qWait(20);
    return done;
}

// Index of the first request that names `cmd`, or -1.
inline int indexOf(const QList<SimDevice::Request>& reqs, const QString& cmd)
{
    for (int i = 0; i < reqs.size(); ++i)
        if (reqs.at(i).cmd == cmd)
            return i;
    return -1;
}

} // namespace apptest
