#pragma once

// Helpers shared by the main-window tests: a private working directory (the
// program keeps tervancal.ini in the working directory), a watcher that answers
// message boxes without blocking the test, and small probes.

#include "ui_basev3.h"
#include "ui_drvv3.h"
#include "ui_normalv3.h"
#include "ui_othersv3.h"
#include "ui_productv3.h"
#include "ui_test.h"
#include "simdevice.h"
#include "tervanhalv3.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace apptest {

// Makes a fresh temporary directory the working directory for its lifetime.
class WorkDir
{
public:
    WorkDir() : m_old(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~WorkDir() { QDir::setCurrent(m_old); }
    QString path() const { return m_dir.path(); }
    QString iniPath() const { return m_dir.filePath(QStringLiteral("tervancal.ini")); }
    void writeIni(const QVariantMap& keys) const
    {
        QFile::remove(iniPath());
        QSettings s(iniPath(), QSettings::IniFormat);
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            s.setValue(it.key(), it.value());
        s.sync();
    }
    QVariantMap readIni() const
    {
        QSettings s(iniPath(), QSettings::IniFormat);
        QVariantMap m;
        for (const QString& k : s.allKeys())
            m.insert(k, s.value(k));
        return m;
    }

private:
    QTemporaryDir m_dir;
    QString m_old;
};

// Watches for modal message boxes and presses the button with the given
// caption (any button when the caption is empty), recording what each box said.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(const QString& button = QString()) : m_button(button)
    {
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::poll);
        m_timer.start(20);
    }
    void setButton(const QString& button) { m_button = button; }
    QStringList titles;
    QStringList texts;
    QStringList buttons; // captions of all buttons of the last box

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == m_lastBox)
            return;
        m_lastBox = box;
        titles << box->windowTitle();
        texts << box->text();
        buttons.clear();
        QAbstractButton* target = nullptr;
        for (QAbstractButton* b : box->buttons()) {
            buttons << b->text();
            if (m_button.isEmpty() || b->text() == m_button)
                target = target ? target : b;
        }
        if (target)
            target->click();
        else
            box->reject();
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

// The start-up read list as the window builds it: base panel first, then
// every new name of the product, normal and others pages.
inline QStringList expectedStartupNames(UI_Test& w)
{
    QStringList names = w.findChild<UI_BaseV3*>()->readList();
    const QList<QStringList> lists = {w.findChild<UI_ProductV3*>()->readList(),
                                      w.findChild<UI_NormalV3*>()->readList(),
                                      w.findChild<UI_OthersV3*>()->readList()};
    for (const QStringList& l : lists)
        for (const QString& n : l)
            if (!names.contains(n))
                names << n;
    return names;
}

// Open file descriptors of this process that refer to `path`.
inline int openDescriptorsOn(const QString& path)
{
    int n = 0;
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& e : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        const QString link = QFile::symLinkTarget(fds.filePath(e));
        if (!link.isEmpty() && (link == path || link == target))
            ++n;
    }
    return n;
}

inline TervanCore::mfc_reg_t makeReg(const QString& cmd, quint8 firstByte = 0, const QString& output = QString())
{
    TervanCore::mfc_reg_t r;
    r.cmd = cmd;
    r.type = KIND_UINT8;
    r.value.u8 = firstByte;
    r.output = output.isNull() ? QString::number(firstByte) : output;
    return r;
}

// Index of the first request at or after `from` that names `cmd`, or -1.
inline int indexOf(const QList<SimDevice::Request>& reqs, const QString& cmd, int from = 0)
{
    for (int i = from; i < reqs.size(); ++i)
        if (reqs.at(i).cmd == cmd)
            return i;
    return -1;
}

// Builds a window on `dev` and waits until every start-up read was answered.
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

} // namespace apptest
