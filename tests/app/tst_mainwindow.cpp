// The main window on a simulated device: start-up reads, refused requests, timeouts, fixed sequences,
// address and baud-rate changes. Without one: the status line, settings, the schedule window, closing.
#include "apptestutil.h"
#include "languagedictionary.h"

using namespace apptest;

Q_DECLARE_METATYPE(QMargins)

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_dev.setValue(QStringLiteral("TargetGasName"), QStringLiteral("He"));
        m_dev.setRawValue(QStringLiteral("ValveType"), QByteArray(1, 2)); // undefined: a box says so
        QObject guard;
        QTimer::singleShot(8000, &guard, [] { // a box that held up its caller would hold the test
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        QVERIFY(startWindowOn(m_dev, m_w));
    }
    void cleanupTestCase() { m_w.reset(); }

    void startupReads()
    {
        // The probe and its confirmation, then each start-up register once, in order, 2 s later, all while
        // the box stayed open.
        QStringList wire;
        for (const SimDevice::Request& r : m_dev.requests())
            wire << r.cmd + (r.write ? "=" : "@") + QString::number(r.address);
        const QStringList reads = expectedStartupNames(*m_w).replaceInStrings(QRegularExpression("$"), "@32");
        QCOMPARE(wire.mid(0, reads.size() + 2), (QStringList{"MACAddress@255", "MACAddress@255"} + reads));
        const qint64 gap = m_dev.requests().at(2).atMs - m_dev.requests().at(1).atMs;
        QVERIFY2(gap >= 1850, qPrintable(QString::number(gap)));
        auto* box = m_w->findChild<UI_ProductV3*>()->findChild<QMessageBox*>();
        QVERIFY(box && box->isVisible());
        QCOMPARE(box->windowTitle() + "|" + box->text(), QStringLiteral("Undefined Vavle type.|Undefined Vavle type."));
        box->close();
        QStringList shown;
        for (const char* field : {"addressEdit", "targetGasEdit", "ModelIdentifier", "MFCSerialNumber"})
            shown << find<QLineEdit>(m_w.get(), field)->text();
        QCOMPARE(shown, (QStringList{"32", "He", "TV-100", "SN12345"}));
        auto* nc = find<QRadioButton>(m_w.get(), "ncRadio");
        auto* no = find<QRadioButton>(m_w.get(), "noRadio");
        QVERIFY(!nc->isChecked() && !no->isChecked());
        m_w->mfc_ack(makeReply(QStringLiteral("ValveType"), 1));
        QVERIFY(!nc->isChecked() && no->isChecked());
        m_w->mfc_ack(makeReply(QStringLiteral("ValveType"), 0));
        QVERIFY(nc->isChecked() && !no->isChecked());
        QCOMPARE(statusStyle(*m_w), kWhite);
        find<QRadioButton>(m_w.get(), "valveFullOpen")->click(); // the pages' requests reach the device
        QTRY_COMPARE(m_dev.value(QStringLiteral("ValveCommand")), QStringLiteral("2"));
    }

    void refusedRequestsAndTimeouts()
    {
        m_dev.clearRequests();
        m_w->commands_req({makeFrame(QStringLiteral("PCBVersion"), MFC_READ),
                           makeFrame(QStringLiteral("NoSuchRegister"), MFC_READ)});
        QCOMPARE(statusText(*m_w) + statusStyle(*m_w), "cmd: NoSuchRegister read opertation encode fail!" + kRed);
        QTRY_COMPARE(statusStyle(*m_w), kWhite); // nothing of the list went out; polling brings the line back
        QCOMPARE(m_dev.requestCount(QStringLiteral("PCBVersion")), 0);

        m_w->error_limit_req(true, QStringLiteral("LIMIT"));
        int sendsAtTimeout = -1;
        QString failed;
        QObject ctx;
        connect(m_w->findChild<UI_DrvV3*>()->hal(), &TervanHALV3::timeout, &ctx, [&](const QStringList& cmds) {
            failed = failed.isEmpty() ? cmds.value(0) : failed;
            sendsAtTimeout = sendsAtTimeout < 0 ? m_dev.requestCount(failed) : sendsAtTimeout;
        });
        m_dev.clearRequests();
        m_dev.setSilent(true);
        QTRY_COMPARE_WITH_TIMEOUT(statusStyle(*m_w), kRed, 10000);
        QCOMPARE(statusText(*m_w).split("\r\n").first(), failed);
        QCOMPARE(sendsAtTimeout, 5);
        QCOMPARE(find<QLineEdit>(m_w.get(), "flowEdit")->text(), QStringLiteral("0.00"));
        m_dev.setSilent(false);
        QTRY_COMPARE_WITH_TIMEOUT(statusText(*m_w) + statusStyle(*m_w), "LIMIT" + kYellow, 5000);
        m_w->error_limit_req(false, QString());
    }

    void fixedSequences() // what the base panel's "Write E2PROM" and "Reset MFC" would send
    {
        m_dev.clearRequests();
        m_w->onClicked_writeEEPROM(false);
        m_w->onClicked_resetMFC(false);
        QTRY_VERIFY_WITH_TIMEOUT(m_dev.requestCount(QStringLiteral("CM")) == 1, 10000);
        const QList<SimDevice::Request> reqs = m_dev.requests();
        const int e = indexOf(reqs, "EEPROMProgram"), r = indexOf(reqs, "Reset"), c = indexOf(reqs, "CM");
        QVERIFY(e >= 0 && r == e + 1 && reqs.at(e).write && reqs.at(r).write && !reqs.at(c).write);
        // 2 s behind the commit; behind the reset, which the device does not answer, a reply timeout and 3 s.
        const qint64 commit = reqs.at(r).atMs - reqs.at(e).atMs, reset = reqs.at(c).atMs - reqs.at(r).atMs;
        QVERIFY2(commit >= 1850 && reset >= 2900, qPrintable(QStringLiteral("%1 %2").arg(commit).arg(reset)));
        QCOMPARE(statusStyle(*m_w), kWhite);
    }

    void addressChange()
    {
        find<QSpinBox>(m_w.get(), "addressSpin")->setValue(40);
        m_dev.clearRequests();
        find<QPushButton>(m_w.get(), "setAddrButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(gapAfter("MACAddress") >= 0, 5000);
        const QList<SimDevice::Request> reqs = m_dev.requests();
        const int i = indexOf(reqs, "MACAddress");
        QVERIFY(reqs.at(i).write && reqs.at(i).address == 32 && reqs.at(i).valueBytes == QByteArray(1, 40));
        // The queue is held for a second; then requests go to the new address.
        QVERIFY2(gapAfter("MACAddress") >= 930, qPrintable(QString::number(gapAfter("MACAddress"))));
        QCOMPARE(reqs.at(i + 1).address, quint8(40));
        QTRY_COMPARE(find<QLineEdit>(m_w.get(), "addressEdit")->text(), QStringLiteral("40"));
        QCOMPARE(statusStyle(*m_w), kWhite);
    }

    void statusLine()
    {
        UI_Test w(QStringList{}); // "No valid COM!"
        w.mfc_ack(makeReply(QStringLiteral("Manufacturer"), "X")); // a reply clears an error
        QCOMPARE(statusText(w) + statusStyle(w), kWhite);
        auto* others = w.findChild<UI_OthersV3*>(); // the pages' warnings, each set and cleared on its own
        for (const QString& on : QStringList{"limit alarm record", "alarm", "limit alarm", "alarm record", ""}) {
            emit others->error_limit_req(on.contains("limit"), "A");
            emit others->error_alarmWarning_req(on.contains("alarm"), "B");
            emit w.findChild<UI_NormalV3*>()->error_record_req(on.contains("record"), "C");
            const QString text = QString(on).replace("limit", "A").replace("alarm", "B").replace("record", "C");
            QCOMPARE(statusText(w) + statusStyle(w), text + (on.isEmpty() ? kWhite : kYellow));
        }
        w.error_limit_req(true, "A"); // an error hides the warnings until the next reply
        w.mfc_nack({"ReadFlow", "CM"});
        QCOMPARE(statusText(w) + statusStyle(w), "ReadFlow\r\nCM" + kRed);
        QStatusTipEvent tip{QString()}; // the mouse passing over the menu bar
        QApplication::sendEvent(&w, &tip);
        QCOMPARE(statusText(w) + statusStyle(w), "ReadFlow\r\nCM" + kRed);
        w.error_alarmWarning_req(true, "B2");
        QCOMPARE(statusStyle(w), kRed);
        w.mfc_ack(makeReply(QStringLiteral("ReadFlow"), 1.0));
        QCOMPARE(statusText(w) + statusStyle(w), "A B2" + kYellow);
        auto* bar = find<QProgressBar>(&w, "activityBar"); // one step per reply; after 100 it starts again at 1
        QString steps;
        for (int i = 0; i < 110; ++i) {
            w.mfc_ack(makeReply(QStringLiteral("Manufacturer"), "X"));
            steps += QStringLiteral(" %1").arg(bar->value());
        }
        QVERIFY2((steps + " ").contains(" 98 99 100 100 1 2 "), qPrintable(steps));
        w.writeXYTable_req(QVector<double>(31, 0.5).toList(), QVector<double>(32, 0.5).toList());
        QCOMPARE(statusText(w), QStringLiteral("Calibration table needs 32 X and 32 Y values, got 31 and 32."));
        w.writeXYTable_req(QVector<double>(32, 0.5).toList(), QVector<double>(33, 0.5).toList());
        QCOMPARE(statusText(w) + statusStyle(w), "Calibration table needs 32 X and 32 Y values, got 32 and 33." + kRed);
    }

    void engineeringGeometry_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("main"); // its frame
        QTest::addColumn<QMargins>("frame"); // the pages' decorations
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("checks");
        const QMargins openbox(1, 30, 1, 5); // a resizable window gets a grip below
        const QRect fullHd(0, 0, 1920, 1080), mainAt100(100, 100, 882, 761);
        QTest::newRow("every order on common screens") << QRect() << QRect() << QMargins() << "" << "";
        QTest::newRow("restored over one opened meanwhile") << fullHd << mainAt100 << openbox << "U mU M U" << "titles";
        QTest::newRow("restored the shortest way") << fullHd << mainAt100 << openbox << "U mU M @0,300 U"
                                                   << "titles near";
        QTest::newRow("restored where it was") << fullHd << mainAt100 << openbox << "U @900,200 mU U U" << "stays";
        QTest::newRow("chosen twice, framed after placing") << QRect(0, 0, 1366, 768) << QRect(100, 0, 882, 761)
                                                            << openbox << "T T" << "stays";
        QTest::newRow("reopened off the main window") << fullHd << QRect(1032, 309, 888, 771) << openbox
                                                      << "T U M cU U" << "titles clear";
        // Too narrow to keep Tools' title in view beside UserCal at UserCal's least width, decorations counted.
        QTest::newRow("squeezed to its least") << QRect(0, 0, 758, 600) << QRect(0, 0, 882, 761)
                                               << QMargins(4, 37, 4, 4) << "T U" << "";
        QTest::newRow("through the menu") << QRect() << QRect() << QMargins() << "U mU M! U U" << "titles";
    }

    void engineeringGeometry()
    {
        // The engineering windows opened, minimised, closed and chosen again as a user would. Each lies whole on the
        // screen at no less than its minimum; "titles": at least 100 px of the top band (30 px) of every open window
        // stays uncovered by those above it; "clear": the last one chosen leaves the main window clear; "stays": one
        // chosen again stays where it was; "near": or moves no more than 100 px. "M!": placed as with nothing else
        // open.
        QFETCH(QRect, screen);
        QFETCH(QRect, main);
        QFETCH(QMargins, frame);
        QFETCH(QString, steps);
        QFETCH(QString, checks);
        const auto pagesOf = [](const QWidgetList& skip) { // the engineering windows, as the menu names them
            QList<QWidget*> found;
            for (const char* name : {"UI_ManualCalV3", "UI_UserCalV3", "UI_ToolsV3"})
                for (QWidget* page : QApplication::topLevelWidgets())
                    found << (page->inherits(name) && !skip.contains(page) ? QList<QWidget*>{page} : QList<QWidget*>());
            return found;
        };
        const auto sizesOf = [](const QList<QWidget*>& widgets) {
            QList<Page> sizes;
            for (const QWidget* page : widgets)
                sizes << Page{page->sizeHint(), page->minimumSizeHint()};
            return sizes;
        };
        const QList<Page> own = sizesOf(pagesOf({}));
        QCOMPARE(own.size(), 3);
        const QList<Page> measured{{{479, 338}, {479, 338}}, {{774, 700}, {650, 540}}, {{923, 891}, {575, 340}}};
        if (QTest::currentDataTag() == QLatin1String("through the menu")) { // a window without a device
            const QWidgetList before = QApplication::topLevelWidgets();
            UI_Test w(QStringList{});
            const QList<QWidget*> widgets = pagesOf(before);
            const QString wrong = choose(sizesOf(widgets), steps, checks, w.screen()->availableGeometry(),
                                         w.frameGeometry(), frame, frame, &w, widgets);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            return;
        }
        if (!steps.isEmpty()) {
            const QString wrong = choose(measured, steps, checks, screen, main, fixed(frame), frame);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            return;
        }
        // Every order, with their own sizes here and as measured on a desktop, on common screens (a panel below,
        // above or none; a second screen left or right of the first), the main window in four places, without and
        // with decorations, the pages' own or, before one is framed, the main window's.
        const QList<QRect> screens{{0, 0, 1024, 728},   {0, 0, 1280, 1024},   {0, 30, 1280, 994},
                                   {0, 0, 1366, 728},   {-1366, 0, 1366, 768}, {0, 0, 1600, 960},
                                   {1920, 0, 1600, 1000}, {0, 0, 1920, 1040}, {0, 30, 1920, 1050}};
        const QList<QMargins> frames{QMargins(), QMargins(1, 30, 1, 1), QMargins(4, 37, 4, 4), QMargins(1, 30, 1, 5)};
        for (const QList<Page>& pages : {own, measured})
            for (const QRect& area : screens)
                for (const QMargins& decor : frames) {
                    main = QRect(QPoint(), QSize(880, 730).grownBy(fixed(decor)));
                    const QPoint far = area.bottomRight() - main.bottomRight();
                    for (const QPoint& at : {area.topLeft(), area.center() - QPoint(main.width() / 2, 300),
                                             QPoint(far.x(), area.top()), far}) {
                        main.moveTopLeft(at);
                        QStringList order{"M", "U", "T"};
                        do {
                            const QString wrong = choose(pages, order.join(' '), "titles beside", area, main,
                                                         fixed(decor), decor);
                            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
                        } while (std::next_permutation(order.begin(), order.end()));
                    }
                }
        // Nothing is given up where no title needs it: Tools opened third on 1600x1000 with a panel.
        QList<QRect> open;
        for (const Page& page : measured)
            open << UI_Test::engineeringGeometry({0, 0, 1600, 960}, {0, 0, 882, 761}, open, page.first, page.second,
                                                 {1, 30, 1, 1}).marginsAdded({1, 30, 1, 1});
        QCOMPARE(open.last().size(), measured.last().first + QSize(2, 31));
    }

    void settingsAndDictionary()
    {
        WorkDir dir; // a bad language entry becomes "en"; the slope bounds a user entered stay
        dir.writeIni({{"lang", "CN"}, {"yx_rate_min", "0.5"}});
        QCOMPARE(LanguageDictionary().language(), QStringLiteral("en"));
        QCOMPARE(dir.readIni(), (QVariantMap{{"lang", "en"}, {"yx_rate_min", "0.5"}}));
        dir.writeIni({{"lang", "cn"}});
        const LanguageDictionary cn;
        QCOMPARE(cn.translate("Clear") + "|" + cn.translate("Unit ") + "|" + cn.translate("Something else"),
                 QStringLiteral("清除报警|单位 |Something else")); // later entries win; blanks and case count
    }

    void scheduleAndClose() // closes the last window: keep last
    {
        UI_Test w(QStringList{});
        w.move(120, 90);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // The normal page's schedule window stands beside the window and follows it; a second click hides it.
        QWidget* schedule = w.findChild<UI_NormalV3*>()->m_scheduleWindow;
        w.findChild<QTabWidget*>()->setEnabled(true); // as once a device is found
        find<QPushButton>(&w, "scheduleButton")->click();
        QCOMPARE(schedule->pos(), w.pos() + QPoint(w.frameGeometry().width(), 38));
        w.move(300, 200);
        QTRY_COMPARE(schedule->pos(), QPoint(300 + w.frameGeometry().width(), 200 + 38));
        find<QPushButton>(&w, "scheduleButton")->click();
        QVERIFY(!schedule->isVisible());
        BoxAnswerer answer(QStringLiteral("Cancel"));
        QVERIFY(!w.close());
        QCOMPARE(answer.titles + answer.texts + answer.buttons,
                 (QStringList{"Sure to close", "Are you sure to close the window?", "Sure", "Cancel"}));
        answer.setButton(QStringLiteral("no such button")); // the box closed without a button
        QVERIFY(!w.close());
        answer.setButton(QStringLiteral("Sure"));
        QVERIFY(w.close() && !w.isVisible());
    }

    void baudRateChange() // restarts the application: keep last
    {
        auto* drv = m_w->findChild<UI_DrvV3*>();
        qint64 restartAt = 0;
        int resetsBeforeRestart = -1;
        QObject ctx;
        connect(drv, &UI_DrvV3::restart_req, &ctx, [&] {
            restartAt = QDateTime::currentMSecsSinceEpoch();
            resetsBeforeRestart = m_dev.requestCount(QStringLiteral("Reset"));
        });
        find<QComboBox>(m_w.get(), "baudCombo")->setCurrentText(QStringLiteral("19200"));
        m_dev.clearRequests();
        BoxAnswerer answer;
        find<QPushButton>(m_w.get(), "setBpsButton")->click();
        QCOMPARE(answer.texts, QStringList{"Change baudrate will restart application."});
        QTRY_VERIFY_WITH_TIMEOUT(restartAt > 0, 8000);
        const QList<SimDevice::Request> reqs = m_dev.requests();
        const int ib = indexOf(reqs, "BaudRate"), ie = indexOf(reqs, "EEPROMProgram");
        QVERIFY(ib >= 0 && ie > ib && reqs.at(ib).write && reqs.at(ie).write);
        QCOMPARE(m_dev.value(QStringLiteral("BaudRate")), QStringLiteral("19200"));
        // The restart comes a second after the commit, once the Reset frame is out.
        QVERIFY2(restartAt - reqs.at(ie).atMs >= 930, qPrintable(QString::number(restartAt - reqs.at(ie).atMs)));
        QVERIFY(resetsBeforeRestart == 1 && !drv->hal()->isOpen());
    }

private:
    using Page = QPair<QSize, QSize>; // size hint, minimum

    struct Shown // an engineering window as a user sees it
    {
        int page;
        QRect frame;
        bool minimised;
    };

    // The main window's decorations where the pages get `frame`: fixed in size, it has no grip below, its lower
    // border as thin as its sides.
    static QMargins fixed(const QMargins& frame) { return {frame.left(), frame.top(), frame.right(), frame.left()}; }

    // What a user finds wrong with the windows `shown` (bottom first) after choosing `chosen`, if anything.
    static QString wrongWith(const QList<Shown>& shown, int chosen, const QList<Page>& pages, const QString& checks,
                             const QRect& screen, const QRect& main, const QMargins& frame)
    {
        for (int i = 0; i < shown.size(); ++i) {
            const Shown& s = shown[i];
            const QSize client = s.frame.marginsRemoved(frame).size();
            if (!screen.contains(s.frame) || client.expandedTo(pages[s.page].second) != client)
                return QStringLiteral("not whole at its minimum or more");
            if (checks.contains("clear") && s.page == chosen && s.frame.intersects(main))
                return QStringLiteral("covers the main window");
            int run = 0, longest = 0; // the longest stretch of the band uncovered
            for (int x = s.frame.left(); !s.minimised && x <= s.frame.right(); ++x) {
                const QRect column(x, s.frame.top(), 1, 30);
                const bool covered = std::any_of(shown.begin() + i + 1, shown.end(), [&](const Shown& r) {
                    return !r.minimised && r.frame.intersects(column);
                });
                run = covered ? 0 : run + 1;
                longest = qMax(longest, run);
            }
            if (checks.contains("titles") && !s.minimised && longest < 100)
                return QStringLiteral("hides the title of page %1").arg(s.page);
        }
        return {};
    }

    // Runs `steps` as the main window's menu does: a page's letter (M, U, T) chooses it, "mX" minimises it, "cX"
    // closes it, "@x,y" moves the main window there. A page is placed with the main window's decorations `guess`
    // until one has been framed with its own `frame`, and corrected once framed. With `w`, runs them through its
    // menu and its engineering windows `widgets` instead. Says what a user finds wrong.
    static QString choose(const QList<Page>& pages, const QString& steps, const QString& checks, const QRect& screen,
                          QRect main, const QMargins& guess, QMargins frame, UI_Test* w = nullptr,
                          const QList<QWidget*>& widgets = {})
    {
        QList<Shown> shown;
        bool framed = false;
        for (const QString& step : steps.split(' ')) {
            const int k = QStringLiteral("MUT").indexOf(step.at(step.startsWith('m') || step.startsWith('c')));
            const auto at = std::find_if(shown.begin(), shown.end(), [k](const Shown& s) { return s.page == k; });
            const Shown was = at != shown.end() ? *at : Shown{k, QRect(), false};
            if (step.startsWith('@')) {
                main.moveTopLeft(QPoint(step.mid(1).section(',', 0, 0).toInt(), step.section(',', 1).toInt()));
                continue;
            }
            if (step.startsWith('m') || step.startsWith('c')) {
                if (w)
                    step.startsWith('m') ? widgets[k]->showMinimized() : (void)widgets[k]->close();
                if (step.startsWith('m'))
                    at->minimised = true;
                else
                    shown.erase(at);
                continue;
            }
            if (at != shown.end())
                shown.erase(at);
            QList<QRect> open;
            for (const Shown& s : shown)
                if (!s.minimised)
                    open << s.frame;
            Shown now{k, was.frame, false};
            if (w) {
                QAction* entry = find<QAction>(w, QStringList{"ManulCalib", "UserCal", "Tools"}.at(k));
                entry->setEnabled(true); // as once a device is found
                entry->trigger();
                if (!QTest::qWaitForWindowExposed(widgets[k])) // framed now: a guessed place is mended
                    return QStringLiteral("not shown");
                const QRect g = widgets[k]->geometry();
                now.frame = widgets[k]->frameGeometry();
                frame = QMargins(g.left() - now.frame.left(), g.top() - now.frame.top(),
                                 now.frame.right() - g.right(), now.frame.bottom() - g.bottom());
            } else if (was.frame.isNull() || was.minimised || !screen.contains(was.frame)) {
                const auto place = [&](const QMargins& m, const QRect& current) {
                    const QSize hint = current.isNull() ? pages[k].first : current.marginsRemoved(frame).size();
                    return UI_Test::engineeringGeometry(screen, main, open, hint, pages[k].second, m, current)
                        .marginsAdded(frame);
                };
                now.frame = place(framed ? frame : guess, was.frame);
                if (!framed && !screen.contains(now.frame))
                    now.frame = place(frame, now.frame);
                framed = true;
            }
            const auto free = [&](QRect side) { // a side of the main window with room that no open one takes
                side.moveTop(qBound(screen.top(), side.top(), screen.bottom() + 1 - side.height()));
                const auto in = [&](const QRect& r) { return r.intersects(side); };
                return screen.contains(side) && std::none_of(open.begin(), open.end(), in) ? side : QRect();
            };
            const QRect right = free(QRect(main.topRight() + QPoint(1, 0), now.frame.size()));
            const QRect left = free(QRect(main.topLeft() - QPoint(now.frame.width(), 0), now.frame.size()));
            const QSize client = now.frame.marginsRemoved(frame).size();
            QString wrong;
            if (checks.contains("beside") && open.isEmpty() && guess == frame
                && client != pages[k].first.boundedTo(screen.marginsRemoved(frame).size()))
                wrong = "not at its full size";
            else if (checks.contains("beside") && was.frame.isNull() && now.frame != right && now.frame != left
                     && (!right.isNull() || !left.isNull()))
                wrong = "not beside the main window";
            else if (checks.contains("stays") && !was.frame.isNull() && screen.contains(was.frame)
                     && now.frame != was.frame)
                wrong = "moved when chosen again";
            else if (checks.contains("near") && !was.frame.isNull()
                     && (now.frame.topLeft() - was.frame.topLeft()).manhattanLength() > 100)
                wrong = "jumped when chosen again";
            else if (step.endsWith('!')
                     && now.frame.marginsRemoved(frame)
                            != UI_Test::engineeringGeometry(screen, main, {}, pages[k].first, pages[k].second, frame))
                wrong = "not placed as with nothing else open";
            shown << now;
            wrong = wrong.isEmpty() ? wrongWith(shown, k, pages, checks, screen, main, frame) : wrong;
            if (!wrong.isEmpty()) {
                QDebug(&wrong) << ": page" << k << "at" << now.frame << "after" << step << "of" << steps << "on"
                               << screen << "beside" << main;
                return wrong;
            }
        }
        return {};
    }

    qint64 gapAfter(const QString& cmd) // ms from the first request of cmd to the next request
    {
        const QList<SimDevice::Request> reqs = m_dev.requests();
        const int i = indexOf(reqs, cmd);
        return i >= 0 && i + 1 < reqs.size() ? reqs.at(i + 1).atMs - reqs.at(i).atMs : -1;
    }

    WorkDir m_dir;
    SimDevice m_dev;
    std::unique_ptr<UI_Test> m_w;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
