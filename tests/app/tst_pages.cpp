// The base panel and the product information page, fed with replies directly.
#include "apptestutil.h"

#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using apptest::makeReg;

class TestPages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void baseDeviceButtons_data();
    void baseDeviceButtons();
    void baseFields();
    void baseSignals();
    void productFields_data();
    void productFields();
    void productValveType();

private:
    apptest::WorkDir* m_dir = nullptr;
};

void TestPages::initTestCase()
{
    m_dir = new apptest::WorkDir;
    m_dir->writeIni({{"lang", "en"}});
}

void TestPages::cleanupTestCase()
{
    delete m_dir;
}

void TestPages::baseDeviceButtons_data()
{
    QTest::addColumn<bool>("show");
    QTest::addColumn<int>("columns");
    QTest::newRow("hidden") << false << 6;
    QTest::newRow("shown") << true << 7;
}

void TestPages::baseDeviceButtons()
{
    QFETCH(bool, show);
    QFETCH(int, columns);
    UI_BaseV3 base(show);
    base.show();
    QCOMPARE(base.layout()->count(), columns);
    // Unplaced buttons have no parent, so they are not part of the panel.
    QCOMPARE(base.findChild<QPushButton*>("writeEepromButton") != nullptr, show);
    QCOMPARE(base.findChild<QPushButton*>("resetMfcButton") != nullptr, show);
    QVERIFY(base.findChild<QPushButton*>("resetAppButton")->isVisible());
    QVERIFY(base.findChild<QPushButton*>("langButton")->isVisible());
}

void TestPages::baseFields()
{
    UI_BaseV3 base(false);
    QCOMPARE(base.readList(), (QStringList{"MACAddress", "TargetGasName", "CalibrationGasName", "TargetGasFullScaleRange"}));
    auto field = [&](const char* name) { return base.findChild<QLineEdit*>(name); };
    for (const char* n : {"addressEdit", "targetGasEdit", "gasRangeEdit", "calGasEdit"}) {
        QVERIFY(field(n)->text().isEmpty());
        QVERIFY(field(n)->isReadOnly());
    }
    QCOMPARE(field("unitEdit")->text(), QStringLiteral("SCCM"));

    base.mfc_ack(makeReg("TargetGasFullScaleRange", 0, "100.00000000"));
    base.mfc_ack(makeReg("MACAddress", 42));
    base.mfc_ack(makeReg("TargetGasName", 0, "N2"));
    base.mfc_ack(makeReg("CalibrationGasName", 0, "Ar"));
    QCOMPARE(field("gasRangeEdit")->text(), QStringLiteral("100.00000000"));
    QCOMPARE(field("addressEdit")->text(), QStringLiteral("42"));
    QCOMPARE(field("targetGasEdit")->text(), QStringLiteral("N2"));
    QCOMPARE(field("calGasEdit")->text(), QStringLiteral("Ar"));
    QCOMPARE(field("unitEdit")->text(), QStringLiteral("SCCM"));

    base.mfc_ack(makeReg("TargetGasName", 0, "He"));
    base.mfc_ack(makeReg("ReadFlow", 0, "12.50000000"));
    base.mfc_ack(makeReg("Manufacturer", 0, "X"));
    QCOMPARE(field("targetGasEdit")->text(), QStringLiteral("He"));
    QCOMPARE(field("gasRangeEdit")->text(), QStringLiteral("100.00000000"));
    QCOMPARE(field("addressEdit")->text(), QStringLiteral("42"));
    QCOMPARE(field("calGasEdit")->text(), QStringLiteral("Ar"));
}

void TestPages::baseSignals()
{
    UI_BaseV3 base(true);
    QSignalSpy restart(&base, &UI_BaseV3::onClicked_appRestart);
    QSignalSpy lang(&base, &UI_BaseV3::onClicked_changedLang);
    QSignalSpy eeprom(&base, &UI_BaseV3::onClicked_writeEEPROM);
    QSignalSpy reset(&base, &UI_BaseV3::onClicked_resetMFC);
    base.findChild<QPushButton*>("resetAppButton")->click();
    base.findChild<QPushButton*>("langButton")->click();
    base.findChild<QPushButton*>("langButton")->click();
    base.findChild<QPushButton*>("writeEepromButton")->click();
    QCOMPARE(restart.count(), 1);
    QCOMPARE(lang.count(), 2);
    QCOMPARE(eeprom.count(), 1);
    QCOMPARE(reset.count(), 0);
    QCOMPARE(restart.first().first().toBool(), false);
}

void TestPages::productFields_data()
{
    QTest::addColumn<QString>("reg");
    QTest::addColumn<QString>("label");
    QTest::newRow("ProductName") << "ModelIdentifier" << "ProductName";
    QTest::newRow("ProductType") << "DeviceType" << "ProductType";
    QTest::newRow("serial") << "MFCSerialNumber" << "MFCSerialNumber";
    QTest::newRow("cal standard") << "CalibrationStandardIdentifier" << "CalibrationStandardIdentifier";
    QTest::newRow("mfg date") << "ManufacturingDate" << "ManufacturingDate";
}

void TestPages::productFields()
{
    QFETCH(QString, reg);
    QFETCH(QString, label);
    UI_ProductV3 page;
    page.show();
    QCOMPARE(page.readList(),
             (QStringList{"Manufacturer", "ModelIdentifier", "DeviceType", "FirmwareVersion", "PCBVersion",
                          "MFCSerialNumber", "ProductCode", "SensorSerialNumber", "ManufacturingLocation",
                          "ManufacturingDate", "CalibrationLocation", "CalibrationDate",
                          "CalibrationStandardIdentifier", "ValveType"}));
    const QList<QLineEdit*> fields = page.findChildren<QLineEdit*>();
    QCOMPARE(fields.size(), 13);
    for (QLineEdit* f : fields) {
        QVERIFY(f->text().isEmpty());
        QVERIFY(f->isReadOnly());
    }

    page.mfc_ack(makeReg(reg, 0, "VALUE-1"));
    // The filled field is the one laid out right under the label.
    QLineEdit* filled = nullptr;
    for (QLineEdit* f : fields) {
        if (!f->text().isEmpty()) {
            QVERIFY(!filled);
            filled = f;
        }
    }
    QVERIFY(filled);
    QCOMPARE(filled->text(), QStringLiteral("VALUE-1"));
    QLabel* labelAbove = nullptr;
    for (QLabel* l : page.findChildren<QLabel*>()) {
        if (l->text() == label)
            labelAbove = l;
    }
    QVERIFY(labelAbove);
    QCOMPARE(labelAbove->parentWidget(), filled->parentWidget());
    QVERIFY(labelAbove->geometry().bottom() <= filled->geometry().top());
    QVERIFY(filled->geometry().top() - labelAbove->geometry().bottom() < 20);

    // Registers outside the list change nothing.
    page.mfc_ack(makeReg("ReadFlow", 0, "1.00000000"));
    page.mfc_ack(makeReg("MACAddress", 40));
    int nonEmpty = 0;
    for (QLineEdit* f : fields)
        nonEmpty += f->text().isEmpty() ? 0 : 1;
    QCOMPARE(nonEmpty, 1);
}

void TestPages::productValveType()
{
    UI_ProductV3 page;
    auto* nc = page.findChild<QRadioButton*>("ncRadio");
    auto* no = page.findChild<QRadioButton*>("noRadio");
    QVERIFY(!nc->isChecked() && !no->isChecked());
    QVERIFY(!nc->isEnabled() && !no->isEnabled());

    apptest::BoxAnswerer answerer;
    page.mfc_ack(makeReg("ValveType", 0));
    QVERIFY(nc->isChecked() && !no->isChecked());
    page.mfc_ack(makeReg("ValveType", 1));
    QVERIFY(!nc->isChecked() && no->isChecked());
    QCOMPARE(answerer.texts.size(), 0);

    page.mfc_ack(makeReg("ValveType", 2));
    QCOMPARE(answerer.texts, QStringList{"Undefined Vavle type."});
    QCOMPARE(answerer.titles, QStringList{"Undefined Vavle type."});
    QCOMPARE(answerer.buttons, QStringList{"OK"});
    page.mfc_ack(makeReg("ValveType", 7));
    QCOMPARE(answerer.texts.size(), 2);
    QVERIFY(!nc->isChecked() && no->isChecked());
}

QTEST_MAIN(TestPages)
#include "tst_pages.moc"
