// The language dictionary, the settings file and the language switch.
#include "apptestutil.h"
#include "languagedictionary.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

using apptest::WorkDir;

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void translate_data();
    void translate();
    void settingsCheck_data();
    void settingsCheck();
    void windowTexts_data();
    void windowTexts();
    void pageTexts();
    // Leaves the event loop flag set by QCoreApplication::exit: keep last.
    void toggleKeepsOtherKeys_data();
    void toggleKeepsOtherKeys();
    void chineseAfterSwitch();
};

void TestLanguage::translate_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("en keeps text") << "en" << "Communication" << "Communication";
    QTest::newRow("en language key") << "en" << QString::fromUtf8("切换到中文") << QString::fromUtf8("切换到中文");
    QTest::newRow("cn language key") << "cn" << QString::fromUtf8("切换到中文") << "Change to English";
    QTest::newRow("cn later Clear wins") << "cn" << "Clear" << QString::fromUtf8("清除报警");
    QTest::newRow("cn later TempLowAlarm wins") << "cn" << "TempLowAlarm" << QString::fromUtf8("低温报警");
    QTest::newRow("cn repeated key") << "cn" << "Regigster operator" << QString::fromUtf8("寄存器操作");
    QTest::newRow("cn Unit with blank") << "cn" << "Unit " << QString::fromUtf8("单位 ");
    QTest::newRow("cn Unit without blank") << "cn" << "Unit" << "Unit";
    QTest::newRow("en Unit with blank") << "en" << "Unit " << "Unit ";
    QTest::newRow("cn case counts") << "cn" << "F.S.% close" << QString::fromUtf8("F.S.% 关闭");
    QTest::newRow("cn case counts 2") << "cn" << "F.S.% Close" << QString::fromUtf8("F.S.%关闭");
    QTest::newRow("cn tab") << "cn" << "Others" << QString::fromUtf8("其它项目");
    QTest::newRow("cn no device") << "cn" << "NO MFC device!" << QString::fromUtf8("没有找到MFC设备！");
    QTest::newRow("cn no port") << "cn" << "No valid COM!" << QString::fromUtf8("没有可用串口！");
    QTest::newRow("cn open fail") << "cn" << "Open fail!" << QString::fromUtf8("打开串口失败!");
    QTest::newRow("cn close box") << "cn" << "Are you sure to close the window?" << QString::fromUtf8("确认关闭Tervan软件吗？");
    QTest::newRow("cn crlf") << "cn" << "Flow input error!\r\nShould be monotonically increasing."
                             << QString::fromUtf8("流量输入错误!\r\n流量应该满足单调递增原则!");
    QTest::newRow("cn valve NC") << "cn" << "NC" << QString::fromUtf8("NC(常闭)");
    QTest::newRow("cn unknown") << "cn" << "Something else" << "Something else";
}

void TestLanguage::translate()
{
    QFETCH(QString, lang);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    WorkDir dir;
    dir.writeIni({{"lang", lang}});
    LanguageDictionary dict;
    QCOMPARE(dict.language(), lang);
    QCOMPARE(dict.translate(text), expected);
}

void TestLanguage::settingsCheck_data()
{
    QTest::addColumn<bool>("haveFile");
    QTest::addColumn<QVariantMap>("before");
    QTest::addColumn<QVariantMap>("after");
    QTest::addColumn<QString>("language");

    const QVariantMap en{{"lang", "en"}};
    QTest::newRow("no file") << false << QVariantMap() << en << "en";
    QTest::newRow("empty file") << true << QVariantMap() << en << "en";
    QTest::newRow("en kept") << true << en << en << "en";
    QTest::newRow("cn kept") << true << QVariantMap{{"lang", "cn"}} << QVariantMap{{"lang", "cn"}} << "cn";
    QTest::newRow("capitals") << true << QVariantMap{{"lang", "CN"}} << en << "en";
    QTest::newRow("trailing blank") << true << QVariantMap{{"lang", "cn "}} << en << "en";
    QTest::newRow("other language") << true << QVariantMap{{"lang", "de"}} << en << "en";
    // The slope bounds a user entered survive a missing or bad language entry.
    QTest::newRow("slope kept, no lang") << true << QVariantMap{{"yx_rate_min", "0.5"}}
                                         << QVariantMap{{"lang", "en"}, {"yx_rate_min", "0.5"}} << "en";
    QTest::newRow("slopes kept, bad lang") << true
                                           << QVariantMap{{"lang", "xx"}, {"yx_rate_min", "0.5"}, {"yx_rate_max", "3"}}
                                           << QVariantMap{{"lang", "en"}, {"yx_rate_min", "0.5"}, {"yx_rate_max", "3"}}
                                           << "en";
}

void TestLanguage::settingsCheck()
{
    QFETCH(bool, haveFile);
    QFETCH(QVariantMap, before);
    QFETCH(QVariantMap, after);
    QFETCH(QString, language);
    WorkDir dir;
    if (haveFile)
        dir.writeIni(before);
    {
        LanguageDictionary dict;
        QCOMPARE(dict.language(), language);
    }
    QVERIFY(QFile::exists(dir.iniPath()));
    QCOMPARE(dir.readIni(), after);
    // Keys stay outside any group, which Qt's INI format writes as [General].
    QFile f(dir.iniPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray content = f.readAll();
    QVERIFY2(content.contains("[General]"), content.constData());
    QVERIFY2(content.contains("lang=" + language.toUtf8()), content.constData());
}

void TestLanguage::windowTexts_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QStringList>("tabs");
    QTest::addColumn<QString>("langButton");
    QTest::addColumn<QString>("status");

    QTest::newRow("en") << "en" << QStringList{"Communication", "ProductInformation", "NormalInformation", "Others"}
                        << QString::fromUtf8("切换到中文") << "No valid COM!";
    QTest::newRow("cn") << "cn"
                        << QStringList{QString::fromUtf8("通信信息"), QString::fromUtf8("产品信息"),
                                       QString::fromUtf8("常规信息"), QString::fromUtf8("其它项目")}
                        << "Change to English" << QString::fromUtf8("没有可用串口！");
}

void TestLanguage::windowTexts()
{
    QFETCH(QString, lang);
    QFETCH(QStringList, tabs);
    QFETCH(QString, langButton);
    QFETCH(QString, status);
    WorkDir dir;
    dir.writeIni({{"lang", lang}});
    UI_Test w(QStringList{});
    auto* tabWidget = w.findChild<QTabWidget*>();
    QVERIFY(tabWidget);
    QStringList titles;
    for (int i = 0; i < tabWidget->count(); ++i)
        titles << tabWidget->tabText(i);
    QCOMPARE(titles, tabs);
    QCOMPARE(w.findChild<QPushButton*>("langButton")->text(), langButton);
    QCOMPARE(apptest::statusText(w), status);
    // The title is never translated.
    QCOMPARE(w.windowTitle(), QStringLiteral("Varnoc V1.03"));
}

void TestLanguage::pageTexts()
{
    WorkDir dir;
    dir.writeIni({{"lang", "cn"}});
    UI_BaseV3 base(false);
    QCOMPARE(base.findChild<QPushButton*>("resetAppButton")->text(), QString::fromUtf8("重启应用程序"));
    QCOMPARE(base.findChild<QLineEdit*>("unitEdit")->text(), QStringLiteral("SCCM"));
    QStringList labels;
    for (QLabel* l : base.findChildren<QLabel*>())
        labels << l->text();
    QVERIFY2(labels.contains(QString::fromUtf8("单位 ")), qPrintable(labels.join('|')));
    QVERIFY(labels.contains(QString::fromUtf8("地址")));

    UI_ProductV3 product;
    QCOMPARE(product.findChild<QRadioButton*>("ncRadio")->text(), QString::fromUtf8("NC(常闭)"));
    QCOMPARE(product.findChild<QRadioButton*>("noRadio")->text(), QString::fromUtf8("NO(常开)"));
}

void TestLanguage::toggleKeepsOtherKeys_data()
{
    QTest::addColumn<QVariantMap>("before");
    QTest::addColumn<QString>("newLang");

    QTest::newRow("cn to en, slopes kept")
        << QVariantMap{{"lang", "cn"}, {"yx_rate_min", "0.5"}, {"yx_rate_max", "3"}} << "en";
    QTest::newRow("en to cn, slopes kept")
        << QVariantMap{{"lang", "en"}, {"yx_rate_min", "0.5"}, {"yx_rate_max", "3"}} << "cn";
}

void TestLanguage::toggleKeepsOtherKeys()
{
    QFETCH(QVariantMap, before);
    QFETCH(QString, newLang);
    WorkDir dir;
    dir.writeIni(before);
    UI_Test w(QStringList{});
    w.findChild<QPushButton*>("langButton")->click();
    QVariantMap after = before;
    after.insert("lang", newLang);
    QCOMPARE(dir.readIni(), after);
}

void TestLanguage::chineseAfterSwitch()
{
    WorkDir dir;
    dir.writeIni({{"lang", "en"}});
    {
        UI_Test w(QStringList{});
        QCOMPARE(w.findChild<QPushButton*>("langButton")->text(), QString::fromUtf8("切换到中文"));
        w.onClicked_changedLang(false);
    }
    QCOMPARE(dir.readIni().value("lang").toString(), QStringLiteral("cn"));
    {
        UI_Test w(QStringList{});
        auto* tabWidget = w.findChild<QTabWidget*>();
        QCOMPARE(tabWidget->tabText(0), QString::fromUtf8("通信信息"));
        QCOMPARE(tabWidget->tabText(3), QString::fromUtf8("其它项目"));
        QCOMPARE(w.findChild<QPushButton*>("langButton")->text(), QStringLiteral("Change to English"));
        w.onClicked_changedLang(false);
    }
    QCOMPARE(dir.readIni().value("lang").toString(), QStringLiteral("en"));
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
