#include "ui_test.h"

#include "dpiscaler.h"
#include "languagedictionary.h"
#include "logger.h"
#include "ui_basev3.h"
#include "ui_drvv3.h"
#include "ui_manualcalv3.h"
#include "ui_normalv3.h"
#include "ui_othersv3.h"
#include "ui_productv3.h"
#include "ui_toolsv3.h"
#include "ui_usercalv3.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QMenuBar>
#include <QMessageBox>
#include <QMoveEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSerialPortInfo>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <tuple>

namespace {

QStringList systemPortNames()
{
    QStringList names;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        names << info.portName();
    return names;
}

// A title bar's height, at least: how far a new engineering window moves
// down from an open one, and the band at the top of each that stays in view.
constexpr int kTitleBar = 30;
// How much of that band stays in view: the start of the title, and room to grab it.
constexpr int kTitleInView = 100;

// Top-left corner for a frame of `size` near `pos`, moved the least to lie whole within `area`.
QPoint keptInside(const QPoint& pos, const QSize& size, const QRect& area)
{
    return {qBound(area.left(), pos.x(), area.x() + area.width() - size.width()),
            qBound(area.top(), pos.y(), area.y() + area.height() - size.height())};
}

// Where a window of `size` goes with nothing in the way: beside `mainFrame`,
// right before left, on a side none of `open` takes if there is one; else over
// it at the edge of `area` where it has more room, which hides the least of it.
QPoint besideMain(const QRect& area, const QRect& mainFrame, const QSize& size, const QList<QRect>& open)
{
    QList<QPoint> beside;
    if (mainFrame.right() + size.width() <= area.right())
        beside << keptInside({mainFrame.right() + 1, mainFrame.top()}, size, area);
    if (mainFrame.left() - size.width() >= area.left())
        beside << keptInside({mainFrame.left() - size.width(), mainFrame.top()}, size, area);
    if (beside.isEmpty()) {
        const bool right = area.right() - mainFrame.right() >= mainFrame.left() - area.left();
        return keptInside({right ? area.right() + 1 - size.width() : area.left(), mainFrame.top()}, size, area);
    }
    for (const QPoint& at : beside)
        if (std::none_of(open.begin(), open.end(), [&](const QRect& r) { return r.intersects(QRect(at, size)); }))
            return at;
    return beside.first();
}

// The lengths from one of `edges` to `first` or to `end`, from `low` up to `high`, `high` first.
QList<int> lengthsToSides(const QList<int>& edges, int first, int end, int low, int high)
{
    QList<int> found{high};
    for (int edge : edges)
        for (int length : {end - edge, edge - first})
            if (length >= low && length < high && !found.contains(length))
                found << length;
    return found;
}

// The stretches of `band` that none of `covers` overlaps: the longest, and all together.
QPair<int, int> uncovered(const QRect& band, const QList<QRect>& covers)
{
    QList<QPair<int, int>> spans;
    for (const QRect& cover : covers) {
        const QRect part = cover & band;
        if (!part.isEmpty())
            spans << qMakePair(part.left(), part.right() + 1);
    }
    std::sort(spans.begin(), spans.end());
    int longest = 0, total = 0, from = band.left();
    for (const auto& span : spans) {
        longest = qMax(longest, span.first - from);
        total += qMax(0, span.first - from);
        from = qMax(from, span.second);
    }
    const int last = qMax(0, band.right() + 1 - from);
    return {qMax(longest, last), total + last};
}

// What `placed` hides of the title bands of `open` (bottom first): how far it
// leaves them short of kTitleInView, and how much of them it covers, in
// pixels. A band counts for what the windows above left of it in view.
QPair<int, int> titlesHidden(const QList<QRect>& open, const QRect& placed, const QRect& area, int titleBar)
{
    QPair<int, int> hidden{0, 0};
    for (int i = 0; i < open.size(); ++i) {
        const QRect band = QRect(open[i].topLeft(), QSize(open[i].width(), titleBar)) & area;
        QList<QRect> above = open.mid(i + 1);
        const QPair<int, int> before = uncovered(band, above);
        above << placed;
        const QPair<int, int> after = uncovered(band, above);
        hidden.first += qMax(0, qMin(kTitleInView, before.first) - after.first);
        hidden.second += before.second - after.second;
    }
    return hidden;
}

// The decorations the window manager puts around `w` (none offscreen).
QMargins frameMargins(const QWidget* w)
{
    const QRect client = w->geometry(), frame = w->frameGeometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

bool wholeOnAScreen(const QRect& frame)
{
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().contains(frame))
            return true;
    return false;
}

} // namespace

UI_Test::UI_Test(QWidget* parent)
    : QMainWindow(parent)
{
    init(systemPortNames());
}

UI_Test::UI_Test(const QStringList& ports, QWidget* parent)
    : QMainWindow(parent)
{
    init(ports);
}

void UI_Test::init(const QStringList& ports)
{
    qRegisterMetaType<mfc_frame_t>();
    qRegisterMetaType<TervanCore::mfc_reg_t>();

    m_lang = new LanguageDictionary();
    m_logger = new Logger(QStringLiteral("main"));

    buildUi();
    buildMenu();
    makeConnections();

    setWindowTitle(QStringLiteral("Varnoc V1.03"));
    setWindowIcon(QIcon(QStringLiteral(":/varnoc.png")));
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    DpiScaler scaler;
    setFixedSize(scaler.scale(880), scaler.scale(730));

    updateStatusBar();
    searchPorts(ports);
}

UI_Test::~UI_Test()
{
    // Nothing a page does while being torn down may reach a half-deleted window.
    for (QObject* page : {static_cast<QObject*>(m_drv), static_cast<QObject*>(m_product),
                          static_cast<QObject*>(m_base), static_cast<QObject*>(m_normal),
                          static_cast<QObject*>(m_others), static_cast<QObject*>(m_userCal),
                          static_cast<QObject*>(m_tools), static_cast<QObject*>(m_manualCal)})
        disconnect(page, nullptr, this, nullptr);
    m_pageOrder.clear(); // nor may their windows' events reach the filter that looks them up

    delete m_lang;
    delete m_logger;
    delete m_drv;
    delete m_product;
    delete m_base;
    delete m_normal;
    delete m_others;
    delete m_userCal;
    delete m_tools;
    delete m_manualCal;
    delete m_activity;
    delete m_tabs;
    delete m_central;
}

void UI_Test::buildUi()
{
    m_central = new QWidget();
    m_tabs = new QTabWidget();
    m_tabs->setEnabled(false);

    m_drv = new UI_DrvV3();
    m_product = new UI_ProductV3();
    m_base = new UI_BaseV3(false);
    m_normal = new UI_NormalV3(false);
    m_userCal = new UI_UserCalV3();
    m_others = new UI_OthersV3();
    m_tools = new UI_ToolsV3();
    m_manualCal = new UI_ManualCalV3();

    m_activity = new QProgressBar();
    m_activity->setObjectName(QStringLiteral("activityBar"));
    m_activity->setOrientation(Qt::Vertical);
    m_activity->setRange(0, 100);
    m_activity->setValue(0);

    m_tabs->addTab(m_drv, m_lang->translate(QStringLiteral("Communication")));
    m_tabs->addTab(m_product, m_lang->translate(QStringLiteral("ProductInformation")));
    m_tabs->addTab(m_normal, m_lang->translate(QStringLiteral("NormalInformation")));
    m_tabs->addTab(m_others, m_lang->translate(QStringLiteral("Others")));

    auto* row = new QHBoxLayout();
    row->addWidget(m_tabs);
    row->addWidget(m_activity);
    auto* column = new QVBoxLayout(m_central);
    column->addLayout(row);
    column->addWidget(m_base);
    setCentralWidget(m_central);
}

void UI_Test::buildMenu()
{
    // Each engineering page opens beside the main window, so the live flow of
    // the normal page stays in view while calibrating. Usable once a device
    // has been found.
    const QList<QPair<QString, QWidget*>> entries = {{QStringLiteral("ManulCalib"), m_manualCal},
                                                     {QStringLiteral("UserCal"), m_userCal},
                                                     {QStringLiteral("Tools"), m_tools}};
    for (const auto& entry : entries) {
        const QString title = m_lang->translate(entry.first);
        QWidget* page = entry.second;
        QAction* action = menuBar()->addAction(title);
        action->setObjectName(entry.first);
        action->setEnabled(false);
        connect(action, &QAction::triggered, this, [this, page, title]() { showEngineeringPage(page, title); });
        m_pageActions << action;
    }
}

void UI_Test::showEngineeringPage(QWidget* page, const QString& title)
{
    page->setWindowTitle(title);
    page->setWindowIcon(windowIcon());
    // An open window that is whole on a screen stays where the user put it; a
    // new one goes beside the main window; a minimised one comes back where it
    // was unless it would now hide a title bar, and one moved off the screen
    // comes back the shortest way.
    const bool open = page->isVisible();
    if (!open || page->isMinimized() || !wholeOnAScreen(page->frameGeometry()))
        placeEngineeringPage(page, open);
    m_pageOrder.removeOne(page);
    m_pageOrder << page;
    page->setWindowState(page->windowState() & ~Qt::WindowMinimized);
    page->show();
    page->raise();
    page->activateWindow();
    if (QWindow* window = page->windowHandle())
        window->installEventFilter(this); // once: Qt does not install a filter twice
}

void UI_Test::placeEngineeringPage(QWidget* page, bool open)
{
    QList<QRect> others; // a minimised one shows no title bar to keep in view
    for (const QWidget* other : qAsConst(m_pageOrder))
        if (other != page && other->isVisible() && !other->isMinimized())
            others << other->frameGeometry();
    const QMargins frame = engineeringMargins(page);
    const QRect current = open ? page->geometry().marginsAdded(frame) : QRect();
    QRect area = screen()->availableGeometry();
    for (const QScreen* s : QGuiApplication::screens())
        if (open && s->availableGeometry().contains(current))
            area = s->availableGeometry();
    page->setGeometry(engineeringGeometry(area, frameGeometry(), others, open ? page->size() : page->sizeHint(),
                                          page->minimumSizeHint(), frame, current));
    // Until the window manager has framed it, its decorations are a guess.
    if (!open && !m_pageMarginsKnown && !m_pagesToCheck.contains(page))
        m_pagesToCheck << page;
}

QMargins UI_Test::engineeringMargins(const QWidget* page)
{
    // The window manager frames a window before it maps it: an open page has
    // its own. One not shown yet gets what the pages got before, or, before
    // any was framed, the main window's as the best guess.
    if (page->isVisible() && page->windowHandle() && page->windowHandle()->isExposed()) {
        m_pageMargins = frameMargins(page);
        m_pageMarginsKnown = true;
        return m_pageMargins;
    }
    return m_pageMarginsKnown ? m_pageMargins : frameMargins(this);
}

bool UI_Test::eventFilter(QObject* watched, QEvent* e)
{
    QWidget* page = nullptr;
    for (QWidget* p : qAsConst(m_pageOrder))
        page = p->windowHandle() == watched ? p : page;
    if (page && e->type() == QEvent::FocusIn) { // the user brought it up: it lies over the others now
        m_pageOrder.removeOne(page);
        m_pageOrder << page;
    } else if (page && e->type() == QEvent::Expose && page->windowHandle()->isExposed()
               && m_pagesToCheck.removeOne(page)) {
        // Framed now: placed with guessed decorations it may stand partly off
        // the screen; then it moves the least to come whole.
        engineeringMargins(page);
        if (!wholeOnAScreen(page->frameGeometry()))
            placeEngineeringPage(page, true);
    }
    return QMainWindow::eventFilter(watched, e);
}

QRect UI_Test::engineeringGeometry(const QRect& available, const QRect& mainFrame, const QList<QRect>& openFrames,
                                   const QSize& hint, const QSize& minimum, const QMargins& frame,
                                   const QRect& current)
{
    const QSize decorations(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QSize most = (hint + decorations).boundedTo(available.size());
    const QSize least = (minimum + decorations).boundedTo(most);
    const int titleBar = qMax(kTitleBar, frame.top());
    // Where the window may start or end: the edges of the area, of the main
    // window and of the open windows, a title bar down and aside from each
    // open one, and where it would leave enough of an open title bar.
    QList<int> xs{available.left(), available.right() + 1, mainFrame.left(), mainFrame.right() + 1};
    QList<int> ys{available.top(), available.bottom() + 1, mainFrame.top(), mainFrame.bottom() + 1};
    for (const QRect& r : openFrames) {
        xs << r.left() << r.left() + titleBar << r.left() + kTitleInView << r.right() + 1
           << r.right() + 1 - kTitleInView;
        ys << r.top() << r.top() + titleBar << r.bottom() + 1;
    }
    // The sizes that reach from one of those edges to a side of the area.
    QList<QSize> sizes;
    for (int w : lengthsToSides(xs, available.left(), available.right() + 1, least.width(), most.width()))
        for (int h : lengthsToSides(ys, available.top(), available.bottom() + 1, least.height(), most.height()))
            sizes << QSize(w, h);
    const auto shrink = [&most](const QSize& s) { return most.width() - s.width() + most.height() - s.height(); };
    // The full size first, then the least shrunk.
    std::stable_sort(sizes.begin(), sizes.end(),
                     [&shrink](const QSize& a, const QSize& b) { return shrink(a) < shrink(b); });
    // The engineer watches the live flow on the main window.
    const auto mainCovered = [&mainFrame](const QRect& r) {
        const QRect both = r & mainFrame;
        return both.width() * both.height();
    };

    // Lexicographically: short of the title bars to keep in view, size given
    // up, whether it covers the main window, title bars covered, main window
    // covered, distance from the first choice.
    std::tuple<int, int, bool, int, int, int> best{INT_MAX, INT_MAX, true, INT_MAX, INT_MAX, INT_MAX};
    QRect placed;
    for (const QSize& size : sizes) {
        if (std::get<0>(best) == 0 && shrink(size) > std::get<1>(best))
            break;
        const QPoint base = current.isNull() ? besideMain(available, mainFrame, size, openFrames) : current.topLeft();
        QList<int> lefts{base.x()}, tops{base.y()};
        for (int x : xs)
            lefts << x << x - size.width();
        for (int y : ys)
            tops << y << y - size.height();
        for (int x : lefts)
            for (int y : tops) {
                const QRect at(keptInside({x, y}, size, available), size);
                const QPair<int, int> hidden = titlesHidden(openFrames, at, available, titleBar);
                const int onMain = mainCovered(at);
                const std::tuple<int, int, bool, int, int, int> score{hidden.first,  shrink(size), onMain > 0,
                                                                      hidden.second, onMain,
                                                                      (at.topLeft() - base).manhattanLength()};
                if (score < best) {
                    best = score;
                    placed = at;
                }
            }
    }
    if (!current.isNull() && available.contains(current)
        && titlesHidden(openFrames, current, available, titleBar).first <= std::get<0>(best))
        return current.marginsRemoved(frame);
    return placed.marginsRemoved(frame);
}

void UI_Test::makeConnections()
{
    connect(m_base, &UI_BaseV3::onClicked_appRestart, this, &UI_Test::onClicked_appRestart);
    connect(m_base, &UI_BaseV3::onClicked_writeEEPROM, this, &UI_Test::onClicked_writeEEPROM);
    connect(m_base, &UI_BaseV3::onClicked_changedLang, this, &UI_Test::onClicked_changedLang);
    connect(m_base, &UI_BaseV3::onClicked_resetMFC, this, &UI_Test::onClicked_resetMFC);
    connect(m_drv, &UI_DrvV3::search_result, this, &UI_Test::search_result);
    connect(m_drv, &UI_DrvV3::restart_req, this, &UI_Test::onClicked_appRestart);
    connect(m_drv, &UI_DrvV3::changedAddr_req, this, &UI_Test::changedAddr_req);
    connect(m_normal, &UI_NormalV3::commands_req, this, &UI_Test::commands_req);
    connect(m_normal, &UI_NormalV3::schedule_show_req, this, &UI_Test::schedule_show_req);
    connect(m_normal, &UI_NormalV3::error_record_req, this, &UI_Test::error_record_req);
    connect(m_others, &UI_OthersV3::commands_req, this, &UI_Test::commands_req);
    connect(m_others, &UI_OthersV3::error_limit_req, this, &UI_Test::error_limit_req);
    connect(m_others, &UI_OthersV3::error_alarmWarning_req, this, &UI_Test::error_alarmWarning_req);
    connect(m_others, &UI_OthersV3::saveRecord_req, m_normal, &UI_NormalV3::saveRecord_req);
    connect(m_userCal, &UI_UserCalV3::recoverXYTable_req, this, &UI_Test::recoverXYTable_req);
    connect(m_userCal, &UI_UserCalV3::writeXYTable_req, this, &UI_Test::writeXYTable_req);
    connect(m_userCal, &UI_UserCalV3::commands_req, this, &UI_Test::commands_req);
    connect(m_tools, &UI_ToolsV3::commands_req, this, &UI_Test::commands_req);
    connect(m_manualCal, &UI_ManualCalV3::commands_req, this, &UI_Test::commands_req);
}

bool UI_Test::event(QEvent* e)
{
    // The status line belongs to the link's errors and the device's warnings:
    // a menu's status tip would replace their text until the next change.
    if (e->type() == QEvent::StatusTip)
        return true;
    return QMainWindow::event(e);
}

void UI_Test::closeEvent(QCloseEvent* e)
{
    QMessageBox box(QMessageBox::Information, m_lang->translate(QStringLiteral("Sure to close")),
                    m_lang->translate(QStringLiteral("Are you sure to close the window?")),
                    QMessageBox::NoButton, this);
    QPushButton* sure = box.addButton(m_lang->translate(QStringLiteral("Sure")), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(m_lang->translate(QStringLiteral("Cancel")), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.exec();
    if (box.clickedButton() != sure) {
        e->ignore();
        return;
    }
    e->accept();
    // The engineering windows close with the main window; left open they
    // would keep the program running without its link.
    for (QWidget* page : {static_cast<QWidget*>(m_manualCal), static_cast<QWidget*>(m_userCal),
                          static_cast<QWidget*>(m_tools)})
        page->hide();
}

void UI_Test::schedule_show_req()
{
    m_normal->showScheduleWindow(x() + frameGeometry().width(), y() + 38);
}

void UI_Test::moveEvent(QMoveEvent* e)
{
    QMainWindow::moveEvent(e);
    if (m_normal && m_normal->m_scheduleWindow && m_normal->m_scheduleWindow->isVisible())
        schedule_show_req();
}
