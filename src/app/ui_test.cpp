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

namespace {

QStringList systemPortNames()
{
    QStringList names;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        names << info.portName();
    return names;
}

// How far an engineering window keeps its corner from another one's: about a
// title bar, so that neither hides the other's.
constexpr int kCornerGap = 32;

// Top-left corner for a frame of `size` near `pos`, moved the least to lie whole within `area`.
QPoint keptInside(const QPoint& pos, const QSize& size, const QRect& area)
{
    return {qBound(area.left(), pos.x(), area.x() + area.width() - size.width()),
            qBound(area.top(), pos.y(), area.y() + area.height() - size.height())};
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
    // A window that is open and whole on a screen stays where the user put it;
    // a new one, or one moved off the screen, goes beside the main window.
    if (!page->isVisible() || !wholeOnAScreen(page->frameGeometry())) {
        QList<QRect> open;
        for (const QWidget* other : {static_cast<QWidget*>(m_manualCal), static_cast<QWidget*>(m_userCal),
                                     static_cast<QWidget*>(m_tools)})
            if (other != page && other->isVisible())
                open << other->frameGeometry();
        // A window not shown yet has no decorations: it will get the main window's.
        const bool shown = page->isVisible();
        const QMargins frame = frameMargins(shown ? page : this);
        const QRect available = screen()->availableGeometry();
        // On a small screen a window gives up some of its size, down to its
        // minimum, so that it need not cover an open one's corner.
        const QSize room = available.size() - QSize(frame.left() + frame.right(), frame.top() + frame.bottom())
            - QSize(kCornerGap, kCornerGap) * open.size();
        const QSize wanted = shown ? page->size() : page->sizeHint().boundedTo(room).expandedTo(page->minimumSizeHint());
        page->setGeometry(engineeringGeometry(available, frameGeometry(), wanted, frame, open));
    }
    page->setWindowState(page->windowState() & ~Qt::WindowMinimized);
    page->show();
    page->raise();
    page->activateWindow();
}

QRect UI_Test::engineeringGeometry(const QRect& available, const QRect& mainFrame, const QSize& wanted,
                                   const QMargins& frame, const QList<QRect>& openFrames)
{
    const QSize size = (wanted + QSize(frame.left() + frame.right(), frame.top() + frame.bottom()))
                           .boundedTo(available.size());
    const auto coversOpen = [&](const QPoint& at) {
        for (const QRect& r : openFrames)
            if (r.intersects(QRect(at, size)))
                return true;
        return false;
    };
    // Beside the main window, right before left, on a side no open window takes if there is one.
    QList<QPoint> beside;
    if (mainFrame.right() + size.width() <= available.right())
        beside << keptInside({mainFrame.right() + 1, mainFrame.top()}, size, available);
    if (mainFrame.left() - size.width() >= available.left())
        beside << keptInside({mainFrame.left() - size.width(), mainFrame.top()}, size, available);
    QPoint base;
    if (beside.isEmpty()) {
        // Over the main window at the screen's edge where it has more room: it hides the least of it.
        const bool right = available.right() - mainFrame.right() >= mainFrame.left() - available.left();
        base = keptInside({right ? available.right() + 1 - size.width() : available.left(), mainFrame.top()},
                          size, available);
    } else {
        base = beside.first();
        for (const QPoint& at : beside)
            if (!coversOpen(at)) {
                base = at;
                break;
            }
    }
    // Off the corners of the open windows: the nearest place down and right
    // first that keeps the gap, else the one farthest from every corner.
    const auto gap = [&openFrames](const QPoint& at) {
        int g = kCornerGap;
        for (const QRect& r : openFrames)
            g = qMin(g, qMax(qAbs(r.left() - at.x()), qAbs(r.top() - at.y())));
        return g;
    };
    QPoint best = base;
    int bestGap = gap(base);
    for (int ring = 1; ring <= 8 && bestGap < kCornerGap; ++ring)
        for (int i = ring; i >= -ring; --i)
            for (int j = ring; j >= -ring; --j) {
                const QPoint at = keptInside(base + QPoint(i, j) * kCornerGap, size, available);
                if (qMax(qAbs(i), qAbs(j)) == ring && gap(at) > bestGap) {
                    best = at;
                    bestGap = gap(at);
                }
            }
    return QRect(best, size).marginsRemoved(frame);
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
