// The engineering pages' place in the program: the main window's menu opens
// each in a window of its own beside the main window, in either language,
// once a device has been found; the windows close with the main window.
#include "caltestutil.h"
#include "ui_manualcalv3.h"
#include "ui_toolsv3.h"
#include "ui_usercalv3.h"

#include <QAction>
#include <QtTest>

using apptest::WorkDir;

namespace {

QWidget* pageNamed(const QString& action)
{
    if (action == QLatin1String("ManulCalib"))
        return caltest::topLevel<UI_ManualCalV3>();
    if (action == QLatin1String("UserCal"))
        return caltest::topLevel<UI_UserCalV3>();
    return caltest::topLevel<UI_ToolsV3>();
}

} // namespace

class TestEngineering : public QObject
{
    Q_OBJECT

private slots:
    void menuWaitsForDevice();
    void menuOpensPage_data();
    void menuOpensPage();
};

void TestEngineering::menuWaitsForDevice()
{
    WorkDir dir;
    UI_Test w(QStringList{QStringLiteral("/nonexistent/ttyNone")});
    for (const char* name : {"ManulCalib", "UserCal", "Tools"}) {
        QAction* action = w.findChild<QAction*>(QLatin1String(name));
        QVERIFY2(action, name);
        QVERIFY2(!action->isEnabled(), name);
    }
}

void TestEngineering::menuOpensPage_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("title");

    QTest::newRow("cn manual") << "cn" << "ManulCalib" << QString::fromUtf8("人工校准");
    QTest::newRow("en user") << "en" << "UserCal" << "UserCal";
    QTest::newRow("cn tools") << "cn" << "Tools" << QString::fromUtf8("工具");
}

void TestEngineering::menuOpensPage()
{
    QFETCH(QString, lang);
    QFETCH(QString, action);
    QFETCH(QString, title);

    WorkDir dir;
    dir.writeIni({{QStringLiteral("lang"), lang}});
    SimDevice dev;
    std::unique_ptr<UI_Test> w;
    QVERIFY(apptest::startWindowOn(dev, w));
    w->show();

    QAction* entry = w->findChild<QAction*>(action);
    QVERIFY(entry && entry->isEnabled());
    QCOMPARE(entry->text(), title);
    QWidget* page = pageNamed(action);
    QVERIFY(page && !page->isVisible());
    entry->trigger();
    QVERIFY(page->isVisible());
    QCOMPARE(page->windowTitle(), title);
    // Beside the main window, not over it: the live flow stays in view.
    QVERIFY(page->x() >= w->x() + w->frameGeometry().width());

    apptest::BoxAnswerer answer(lang == QLatin1String("cn") ? QString::fromUtf8("确认") : QStringLiteral("Sure"));
    QVERIFY(w->close());
    QVERIFY(!page->isVisible());
}

QTEST_MAIN(TestEngineering)
#include "tst_engineering.moc"
