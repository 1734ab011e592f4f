// The program's restart loop: a real event loop per pass, as main() runs it.
#include "apploop.h"
#include "apptestutil.h"
#include "simdevice.h"
#include "tervanhalv3.h"

#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

using namespace apptest;

namespace {
int g_argc = 0;
char** g_argv = nullptr;

int openDescriptorCount()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size();
}
} // namespace

class TestRestart : public QObject
{
    Q_OBJECT

private slots:
    void threeRestartsThenClose();
};

void TestRestart::threeRestartsThenClose()
{
    WorkDir dir;
    dir.writeIni({{"lang", "en"}, {"yx_rate_min", "0.5"}});

    int passes = 0;
    int windowsAlive = 0;
    int transportsAlive = 0;
    QStringList failures;
    QStringList langButtons;
    QStringList firstTabs;
    QList<int> descriptors;
    bool cancelKeptWindow = false;

    auto check = [&failures, &passes](bool ok, const QString& what) {
        if (!ok)
            failures << QStringLiteral("pass %1: %2").arg(passes).arg(what);
    };

    auto factory = [&]() -> QWidget* {
        ++passes;
        check(windowsAlive == 0, "a window of the last pass is still alive");
        check(transportsAlive == 0, "a transport of the last pass is still alive");

        auto* dev = new SimDevice;
        const int baseline = openDescriptorsOn(dev->slavePath());
        auto* w = new UI_Test(QStringList{dev->slavePath()});
        dev->setParent(w);
        TervanHALV3* hal = w->findChild<UI_DrvV3*>()->hal();
        ++windowsAlive;
        ++transportsAlive;
        QObject::connect(w, &QObject::destroyed, [&windowsAlive] { --windowsAlive; });
        QObject::connect(hal, &QObject::destroyed, [&transportsAlive] { --transportsAlive; });

        QTimer::singleShot(30000, w, [] { QCoreApplication::exit(-5); });
        auto* poll = new QTimer(w);
        QObject::connect(poll, &QTimer::timeout, w, [&, w, dev, hal, baseline, poll] {
            // Act once the device has been found and the start-up reads run.
            if (dev->requestCount(QStringLiteral("Manufacturer")) < 1 || !w->isVisible())
                return;
            poll->stop();
            int mainWindows = 0;
            for (QWidget* top : QApplication::topLevelWidgets())
                mainWindows += qobject_cast<UI_Test*>(top) ? 1 : 0;
            check(mainWindows == 1, QStringLiteral("%1 main windows").arg(mainWindows));
            check(hal->isOpen(), "port not open");
            const int onPort = openDescriptorsOn(dev->slavePath()) - baseline;
            check(onPort == 1, QStringLiteral("%1 descriptors on the port").arg(onPort));
            descriptors << openDescriptorCount();
            langButtons << w->findChild<QPushButton*>("langButton")->text();
            firstTabs << w->findChild<QTabWidget*>()->tabText(0);

            switch (passes) {
            case 1:
                w->findChild<QPushButton*>("resetAppButton")->click();
                break;
            case 2:
            case 3:
                w->findChild<QPushButton*>("langButton")->click();
                break;
            default: {
                auto* answerer = new BoxAnswerer(QStringLiteral("Cancel"));
                answerer->setParent(w);
                w->close();
                cancelKeptWindow = w->isVisible();
                answerer->setButton(QStringLiteral("Sure"));
                QTimer::singleShot(0, w, [w] { w->close(); });
                break;
            }
            }
        });
        poll->start(50);
        return w;
    };

    const int rc = runApplicationLoop(g_argc, g_argv, factory);

    QVERIFY2(failures.isEmpty(), qPrintable(failures.join("; ")));
    QCOMPARE(rc, 0);
    QCOMPARE(passes, 4);
    QCOMPARE(windowsAlive, 0);
    QCOMPARE(transportsAlive, 0);
    QVERIFY(cancelKeptWindow);
    QCOMPARE(langButtons, (QStringList{QString::fromUtf8("切换到中文"), QString::fromUtf8("切换到中文"),
                                       "Change to English", QString::fromUtf8("切换到中文")}));
    QCOMPARE(firstTabs, (QStringList{"Communication", "Communication", QString::fromUtf8("通信信息"), "Communication"}));
    // Rebuilding leaks no descriptor (ports, timers, pipes): the count never
    // grows past the second pass's (Qt may close a helper descriptor of its own
    // between passes, so it can shrink).
    QCOMPARE(descriptors.size(), 4);
    for (int i = 2; i < descriptors.size(); ++i)
        QVERIFY2(descriptors.at(i) <= descriptors.at(1),
                 qPrintable(QStringLiteral("pass %1: %2 descriptors, pass 1: %3")
                                .arg(i).arg(descriptors.at(i)).arg(descriptors.at(1))));
    // The language switches kept the user's other settings.
    QCOMPARE(dir.readIni(), (QVariantMap{{"lang", "en"}, {"yx_rate_min", "0.5"}}));
}

// The loop under test builds its own application object, so no QTEST_MAIN.
int main(int argc, char** argv)
{
    g_argc = argc;
    g_argv = argv;
    TestRestart tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_restart.moc"
