// The program's restart loop, as main() runs it: a real event loop per pass;
// restart, a baud-rate change, two language switches, then a close.
#include "apploop.h"
#include "apptestutil.h"

using namespace apptest;

namespace {
int g_argc = 0;
char** g_argv = nullptr;

int openDescriptors(const QString& target = QString())
{
    int n = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& e : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System))
        n += target.isEmpty() || QFile::symLinkTarget(fds.filePath(e)) == target ? 1 : 0;
    return n;
}
} // namespace

class TestRestart : public QObject
{
    Q_OBJECT

private slots:
    void restartsThenClose()
    {
        WorkDir dir;
        dir.writeIni({{"lang", "en"}, {"yx_rate_min", "0.5"}});
        int passes = 0;
        int alive = 0; // windows and transports
        QStringList seen; // per pass: objects left, descriptors on the port, language button, first tab
        QList<int> descriptors;
        auto factory = [&]() -> QWidget* {
            ++passes;
            auto* dev = new SimDevice;
            const QString pty = QFileInfo(dev->slavePath()).canonicalFilePath();
            const int before = openDescriptors(pty);
            auto* w = new UI_Test(QStringList{dev->slavePath()});
            dev->setParent(w);
            const int left = alive;
            alive += 2;
            QObject::connect(w, &QObject::destroyed, [&alive] { --alive; });
            QObject::connect(w->findChild<UI_DrvV3*>()->hal(), &QObject::destroyed, [&alive] { --alive; });
            QTimer::singleShot(30000, w, [] { QCoreApplication::exit(-5); });
            auto* poll = new QTimer(w);
            QObject::connect(poll, &QTimer::timeout, w, [&, w, dev, pty, before, left, poll] {
                if (dev->requestCount(QStringLiteral("Manufacturer")) < 1 || !w->isVisible())
                    return; // the device has been found and the start-up reads run
                poll->stop();
                descriptors << openDescriptors();
                QMessageBox qtButtons; // Qt's own captions speak the program's language too
                qtButtons.setStandardButtons(QMessageBox::Cancel);
                seen << QStringLiteral("%1 %2 %3|%4|%5").arg(left).arg(openDescriptors(pty) - before)
                            .arg(find<QPushButton>(w, "langButton")->text(), w->findChild<QTabWidget*>()->tabText(0),
                                 qtButtons.button(QMessageBox::Cancel)->text());
                if (passes == 1) {
                    find<QPushButton>(w, "resetAppButton")->click();
                } else if (passes == 2) {
                    BoxAnswerer answer;
                    find<QPushButton>(w, "setBpsButton")->click();
                    seen.last() += answer.windows == QList<QWidget*>{w} ? "|over the window" : "|elsewhere";
                } else if (passes < 5) {
                    find<QPushButton>(w, "langButton")->click();
                } else {
                    (new BoxAnswerer(QStringLiteral("Sure")))->setParent(w);
                    QTimer::singleShot(0, w, [w] { w->close(); });
                }
            });
            poll->start(50);
            return w;
        };

        QCOMPARE(runApplicationLoop(g_argc, g_argv, factory), 0);
        QCOMPARE(alive, 0);
        const QString en = QStringLiteral("0 1 切换到中文|Communication|Cancel");
        QCOMPARE(seen, (QStringList{en, en + "|over the window", en, QStringLiteral("0 1 Change to English|通信信息|取消"), en}));
        // Rebuilding leaks no descriptor: the count never grows past the second pass's.
        QCOMPARE(*std::max_element(descriptors.begin() + 1, descriptors.end()), descriptors.at(1));
        QCOMPARE(dir.readIni(), (QVariantMap{{"lang", "en"}, {"yx_rate_min", "0.5"}})); // the user's other settings stay
    }

    // A baud-rate change the device never confirmed leaves nothing pending:
    // a later EEPROMProgram reply of another page resets nothing.
    void failedBaudChange()
    {
        QApplication app(g_argc, g_argv);
        WorkDir dir;
        SimDevice dev;
        std::unique_ptr<UI_Test> w;
        QVERIFY(startWindowOn(dev, w));
        auto* drv = w->findChild<UI_DrvV3*>();
        QSignalSpy restart(drv, &UI_DrvV3::restart_req);
        dev.setSilentFor({QStringLiteral("BaudRate")});
        find<QComboBox>(drv, "baudCombo")->setCurrentText(QStringLiteral("19200"));
        {
            BoxAnswerer answer;
            find<QPushButton>(drv, "setBpsButton")->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(drv->findChild<QMessageBox*>(), 10000);
        auto* notice = drv->findChild<QMessageBox*>();
        QVERIFY(notice->isVisible());
        QCOMPARE(dev.requestCount(QStringLiteral("BaudRate")), 5);
        QCOMPARE(notice->text(), QStringLiteral("The baud rate was not changed: the device did not confirm it."));
        QCOMPARE(find<QComboBox>(drv, "baudCombo")->currentText(), QStringLiteral("9600"));

        dev.setSilentFor({});
        w->onClicked_writeEEPROM(true);
        QTRY_COMPARE_WITH_TIMEOUT(dev.requestCount(QStringLiteral("EEPROMProgram")), 1, 5000);
        QTest::qWait(UI_DrvV3::RESTART_AFTER_RESET_MS + 1500);
        QCOMPARE(restart.count(), 0);
        QCOMPARE(dev.requestCount(QStringLiteral("Reset")), 0);
    }
};

// The loop under test builds its own application object, so no QTEST_MAIN.
int main(int argc, char** argv)
{
    g_argc = argc;
    g_argv = argv;
    TestRestart tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_restart.moc"
