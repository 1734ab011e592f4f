// The flow plots of the normal page, driven by a test clock: the first window,
// the window following the clock, dragging, the static curve, "Micro Show",
// the time-scale slider, midnight, the retention of old points, the record step.
#include "replyutil.h"
#include "ui_normalv3.h"

#include "xlsxdocument.h"

#include <QDir>
#include <QGroupBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <qcustomplot.h>

#include <cmath>
#include <memory>

namespace {

QDateTime g_now;

QDateTime at(int day, const QString& time)
{
    return QDateTime(QDate(2024, 3, day), QTime::fromString(time, QStringLiteral("hh:mm:ss.zzz")));
}

bool near(double a, double b)
{
    return std::fabs(a - b) < 1e-6;
}

} // namespace

class TestNormalPlot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void firstWindowThenFollow();
    void dragShift_data();
    void dragShift();
    void dragIgnoredInFirstWindowAndMiddleButton();
    void dragQueuesPoints();
    void staticCurveQueues();
    void releaseInStaticDrawsQueued();
    void microShow_data();
    void microShow();
    void slider_data();
    void slider();
    void originCurve();
    void doubleClickSwapsPlots();
    void acrossMidnight();
    void retentionDropsOldPoints();
    void retentionWhileStatic();
    void recordStep();
    void compactVariant();
    void recordErrorForwarded();

private:
    void build(const QDateTime& start);
    void flow(double v, double advanceSeconds);
    QCustomPlot* small() { return m_page->findChild<QCustomPlot*>(QStringLiteral("smallPlot")); }
    QCustomPlot* large() { return m_page->findChild<QCustomPlot*>(QStringLiteral("maxPlot")); }
    QTimer* timer(const char* name) { return m_page->findChild<QTimer*>(QString::fromLatin1(name)); }
    void press(int x, int y, Qt::MouseButton b = Qt::LeftButton);
    void release(int x, int y, Qt::MouseButton b = Qt::LeftButton);
    double now() const { return m_page->plotTime(); }

    QTemporaryDir m_dir;
    std::unique_ptr<UI_NormalV3> m_page;
};

void TestNormalPlot::initTestCase()
{
    qRegisterMetaType<QList<mfc_frame_t>>();
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    UI_NormalV3::setClock([] { return g_now; });
}

void TestNormalPlot::cleanupTestCase()
{
    UI_NormalV3::setClock(nullptr);
}

void TestNormalPlot::cleanup()
{
    m_page.reset();
}

void TestNormalPlot::build(const QDateTime& start)
{
    g_now = start;
    m_page.reset(new UI_NormalV3(false, nullptr));
}

void TestNormalPlot::flow(double v, double advanceSeconds)
{
    g_now = g_now.addMSecs(qRound64(advanceSeconds * 1000));
    m_page->mfc_ack(makeReply(QStringLiteral("ReadFlow"), v));
}

void TestNormalPlot::press(int x, int y, Qt::MouseButton b)
{
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(x, y), b, b, Qt::NoModifier);
    m_page->mousePress_smallPlot(&e);
}

void TestNormalPlot::release(int x, int y, Qt::MouseButton b)
{
    QMouseEvent e(QEvent::MouseButtonRelease, QPointF(x, y), b, Qt::NoButton, Qt::NoModifier);
    m_page->mouseRelease_smallPlot(&e);
}

void TestNormalPlot::firstWindowThenFollow()
{
    build(at(5, "10:00:00.000"));
    const double t0 = 36000;
    for (QCustomPlot* p : { small(), large() }) {
        QCOMPARE(p->xAxis->range(), QCPRange(t0, t0 + 24));
        QCOMPARE(p->graph(0)->dataCount(), 1); // the construction step, flow 0
        QCOMPARE(p->graph(0)->data()->at(0)->value, 0.0);
    }
    QVERIFY(timer("headerTimer")->isActive());
    QVERIFY(!timer("axisTimer")->isActive());

    m_page->mfc_ack(makeReply(QStringLiteral("ReadActiveSetpoint"), 45));
    flow(50, 1.0);
    for (QCustomPlot* p : { small(), large() }) {
        QCOMPARE(p->graph(0)->dataCount(), 2);
        QCOMPARE(p->graph(0)->data()->at(1)->key, t0 + 1);
        QCOMPARE(p->graph(0)->data()->at(1)->value, 50.0);
        QCOMPARE(p->graph(1)->data()->at(1)->value, 45.0);
        QCOMPARE(p->xAxis->range(), QCPRange(t0, t0 + 24));
    }

    // The header tick adds a point with the last flow while the first window lasts.
    g_now = at(5, "10:00:10.000");
    m_page->fill_header();
    QCOMPARE(small()->graph(0)->dataCount(), 3);
    QCOMPARE(small()->graph(0)->data()->at(2)->key, t0 + 10);
    QCOMPARE(small()->graph(0)->data()->at(2)->value, 50.0);

    flow(60, 20.0); // 10:00:30
    for (QCustomPlot* p : { small(), large() })
        QCOMPARE(p->xAxis->range(), QCPRange(t0 + 6, t0 + 30));
    m_page->fill_header();
    QCOMPARE(small()->graph(0)->dataCount(), 4);
    QVERIFY(!timer("headerTimer")->isActive());
}

void TestNormalPlot::dragShift_data()
{
    QTest::addColumn<int>("slider");
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("shift");
    QTest::newRow("150 px, 24 s") << 1 << 150 << 24 << 6;
    QTest::newRow("150 px, 50 s") << 2 << 150 << 50 << 12; // 12.5 truncated
    QTest::newRow("-150 px, 24 s") << 1 << -150 << 24 << -6;
    QTest::newRow("599 px, 24 s") << 1 << 599 << 24 << 23;
    QTest::newRow("300 px, 240 s") << 5 << 300 << 240 << 120;
}

void TestNormalPlot::dragShift()
{
    QFETCH(int, slider);
    QFETCH(int, dx);
    QFETCH(int, window);
    QFETCH(int, shift);

    build(at(5, "10:00:00.000"));
    g_now = at(5, "10:01:00.000");
    m_page->findChild<QSlider*>()->setValue(slider);
    press(200, 80);
    release(200 + dx, 95);
    flow(10, 0.5);
    const double t = 36060.5;
    for (QCustomPlot* p : { small(), large() }) {
        QVERIFY(near(p->xAxis->range().upper, t - shift));
        QVERIFY(near(p->xAxis->range().lower, t - shift - window));
    }
    // A second drag adds to the first.
    press(100, 0);
    release(100 + dx, 0);
    flow(10, 0.5);
    QVERIFY(near(small()->xAxis->range().upper, t + 0.5 - (window * 2 * dx) / 600));
}

void TestNormalPlot::dragIgnoredInFirstWindowAndMiddleButton()
{
    build(at(5, "10:00:00.000"));
    g_now = at(5, "10:00:05.000");
    press(100, 0);
    release(400, 0);
    g_now = at(5, "10:01:00.000");
    press(100, 0, Qt::MiddleButton);
    release(400, 0, Qt::MiddleButton);
    flow(10, 0);
    QVERIFY(near(small()->xAxis->range().upper, 36060));
}

void TestNormalPlot::dragQueuesPoints()
{
    build(at(5, "10:00:00.000"));
    g_now = at(5, "10:01:00.000");
    flow(1, 0);
    const int before = small()->graph(0)->dataCount();
    const QCPRange range = small()->xAxis->range();
    press(100, 0);
    flow(2, 0.04);
    flow(3, 0.04);
    QCOMPARE(small()->graph(0)->dataCount(), before);
    QCOMPARE(small()->xAxis->range(), range);
    release(100, 0); // no movement: no shift
    for (QCustomPlot* p : { small(), large() }) {
        QCOMPARE(p->graph(0)->dataCount(), before + 2);
        QVERIFY(near(p->graph(0)->data()->at(before)->key, 36060.04));
        QCOMPARE(p->graph(0)->data()->at(before + 1)->value, 3.0);
    }
    flow(4, 0.04);
    QVERIFY(near(small()->xAxis->range().upper, 36060.12));
}

void TestNormalPlot::staticCurveQueues()
{
    build(at(5, "10:00:00.000"));
    g_now = at(5, "10:01:00.000");
    flow(1, 0);
    auto* button = m_page->findChild<QPushButton*>(QStringLiteral("dynamicButton"));
    QCOMPARE(button->text(), QStringLiteral("Static Curve"));
    m_page->sldValChanged(1); // starts the axis timer
    QVERIFY(timer("axisTimer")->isActive());
    button->click();
    QVERIFY(!m_page->isDynamicCurve());
    QCOMPARE(button->text(), QStringLiteral("Dynamic Curve"));
    QVERIFY(!timer("axisTimer")->isActive());

    const int before = small()->graph(0)->dataCount();
    const QCPRange range = small()->xAxis->range();
    for (int i = 0; i < 3; ++i)
        flow(20 + i, 1.0);
    QCOMPARE(small()->graph(0)->dataCount(), before);
    QCOMPARE(small()->xAxis->range(), range);

    button->click();
    QVERIFY(m_page->isDynamicCurve());
    QCOMPARE(button->text(), QStringLiteral("Static Curve"));
    QVERIFY(timer("axisTimer")->isActive());
    for (QCustomPlot* p : { small(), large() }) {
        QCOMPARE(p->graph(0)->dataCount(), before + 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(p->graph(0)->data()->at(before + i)->key, 36061.0 + i);
            QCOMPARE(p->graph(0)->data()->at(before + i)->value, 20.0 + i);
        }
    }
}

void TestNormalPlot::releaseInStaticDrawsQueued()
{
    build(at(5, "10:00:00.000"));
    g_now = at(5, "10:01:00.000");
    m_page->onClicked_dynamic(false);
    const int before = small()->graph(0)->dataCount();
    flow(20, 1.0);
    flow(21, 1.0);
    press(10, 10);
    release(10, 10);
    QCOMPARE(small()->graph(0)->dataCount(), before + 2);
    QVERIFY(!m_page->isDynamicCurve());
    // Nothing left to draw when the curve goes dynamic again.
    m_page->onClicked_dynamic(false);
    QCOMPARE(small()->graph(0)->dataCount(), before + 2);
}

void TestNormalPlot::microShow_data()
{
    QTest::addColumn<QList<double>>("flows");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QList<double> flat;
    QList<double> wide;
    QList<double> small;
    for (int i = 0; i < 161; ++i) {
        flat << 50.0;
        wide << 40.0 + (i % 21);
        small << 50.0 + (i % 2) * 0.1;
    }
    QTest::newRow("all 50") << flat << 49.95 << 50.05;
    QTest::newRow("40 to 60") << wide << 35.0 << 65.0;
    QTest::newRow("span 0.1") << small << 49.95 << 50.15;
}

void TestNormalPlot::microShow()
{
    QFETCH(QList<double>, flows);
    QFETCH(double, lower);
    QFETCH(double, upper);
    build(at(5, "10:00:00.000"));
    g_now = at(5, "10:01:00.000");
    // The construction step's 0 is pushed out by 161 newer values.
    for (double v : flows)
        flow(v, 0.04);
    m_page->findChild<QPushButton*>(QStringLiteral("microButton"))->click();
    for (QCustomPlot* p : { small(), large() }) {
        QVERIFY2(near(p->yAxis->range().lower, lower), qPrintable(QString::number(p->yAxis->range().lower)));
        QVERIFY2(near(p->yAxis->range().upper, upper), qPrintable(QString::number(p->yAxis->range().upper)));
    }
}

void TestNormalPlot::slider_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("ticks");
    QTest::newRow("1") << 1 << 24 << 6;
    QTest::newRow("2") << 2 << 50 << 5;
    QTest::newRow("3") << 3 << 120 << 7;
    QTest::newRow("4") << 4 << 210 << 7;
    QTest::newRow("5") << 5 << 240 << 4;
}

void TestNormalPlot::slider()
{
    QFETCH(int, value);
    QFETCH(int, window);
    QFETCH(int, ticks);
    build(at(5, "10:00:00.000"));
    g_now = at(5, "10:01:00.300");
    auto* slider = m_page->findChild<QSlider*>();
    QCOMPARE(slider->minimum(), 1);
    QCOMPARE(slider->maximum(), 5);
    slider->setValue(value == 1 ? 2 : 1);
    slider->setValue(value);
    const double r = std::floor(36060.3 + window);
    for (QCustomPlot* p : { small(), large() }) {
        QCOMPARE(p->xAxis->range(), QCPRange(r - window - 1, r));
        QCOMPARE(p->xAxis->ticker()->tickCount(), ticks);
    }
    QCOMPARE(timer("axisTimer")->interval(), window * 1000);
    QVERIFY(timer("axisTimer")->isActive());
    // The next flow step sets the window of the new width.
    flow(5, 1);
    QCOMPARE(small()->xAxis->range(), QCPRange(36061.3 - window, 36061.3));
    // Out-of-range values change nothing.
    m_page->sldValChanged(9);
    QCOMPARE(timer("axisTimer")->interval(), window * 1000);
}

void TestNormalPlot::originCurve()
{
    build(at(5, "10:00:00.000"));
    g_now = at(5, "10:01:00.000");
    press(0, 0);
    release(150, 0);
    for (int i = 0; i < 5; ++i)
        flow(50, 0.04);
    m_page->onClicked_micro(false);
    QVERIFY(small()->yAxis->range() != QCPRange(-2, 125));
    m_page->findChild<QPushButton*>(QStringLiteral("originButton"))->click();
    for (QCustomPlot* p : { small(), large() })
        QCOMPARE(p->yAxis->range(), QCPRange(-2, 125));
    QVERIFY(timer("axisTimer")->isActive());
    // The drag shift survives.
    flow(50, 1);
    QVERIFY(near(small()->xAxis->range().upper, 36061.2 - 6));
}

void TestNormalPlot::doubleClickSwapsPlots()
{
    build(at(5, "10:00:00.000"));
    auto* panel = m_page->findChild<QGroupBox*>(QStringLiteral("controlPanel"));
    auto* quick = m_page->findChild<QGroupBox*>(QStringLiteral("quickGroup"));
    QVERIFY(!panel->isHidden() && !small()->isHidden() && large()->isHidden());
    m_page->doubleClicked_smallPlot(nullptr);
    QVERIFY(panel->isHidden() && small()->isHidden() && !large()->isHidden());
    QVERIFY(!quick->isHidden());
    m_page->doubleClicked_maxPlot(nullptr);
    QVERIFY(!panel->isHidden() && !small()->isHidden() && large()->isHidden());
}

void TestNormalPlot::acrossMidnight()
{
    build(at(5, "23:59:50.000"));
    const double t0 = 86390;
    QCOMPARE(small()->xAxis->range(), QCPRange(t0, t0 + 24));

    // Still the first window after midnight; the header keeps filling it.
    g_now = at(6, "00:00:05.000");
    m_page->fill_header();
    QCOMPARE(small()->graph(0)->data()->at(small()->graph(0)->dataCount() - 1)->key, 86405.0);
    QCOMPARE(small()->xAxis->range(), QCPRange(t0, t0 + 24));

    flow(30, 25.0); // 00:00:30
    QCOMPARE(small()->xAxis->range(), QCPRange(86406, 86430));
    m_page->fill_header();
    QVERIFY(!timer("headerTimer")->isActive());

    // Dragging works after midnight too.
    press(0, 0);
    release(150, 0);
    flow(30, 1.0);
    QCOMPARE(small()->xAxis->range(), QCPRange(86431 - 6 - 24, 86431 - 6));

    // Keys keep increasing; labels show the time of day.
    const auto data = small()->graph(0)->data();
    for (int i = 1; i < data->size(); ++i)
        QVERIFY(data->at(i)->key > data->at(i - 1)->key);
    small()->replot();
    const QVector<QString> labels = small()->xAxis->tickVectorLabels();
    QVERIFY(!labels.isEmpty());
    for (const QString& l : labels) {
        QVERIFY2(l.startsWith(QLatin1String("00:00:")), qPrintable(l));
    }

    // A day later the axis is 86400 further on.
    g_now = at(7, "00:00:30.000");
    flow(30, 0);
    QCOMPARE(small()->xAxis->range(), QCPRange(2 * 86400.0 + 30 - 30, 2 * 86400.0 + 30 - 6));
}

void TestNormalPlot::retentionDropsOldPoints()
{
    // Six hours of a reply every 10 s, across midnight.
    build(at(5, "21:00:00.000"));
    const double start = m_page->plotTime();
    for (int i = 0; i < 6 * 360; ++i)
        flow(i % 100, 10.0);
    const double t = m_page->plotTime();
    QCOMPARE(t, start + 6 * 3600);
    const double r = UI_NormalV3::RETENTION_SECONDS;
    QVERIFY(r >= 3 * 3600);
    for (QCustomPlot* p : { small(), large() }) {
        for (int g = 0; g < 2; ++g) {
            const auto data = p->graph(g)->data();
            const double first = data->at(0)->key;
            QVERIFY2(first >= t - r - 70 && first <= t - r + 10, qPrintable(QString::number(t - first)));
            QVERIFY(data->size() <= int(r / 10) + 8);
            QCOMPARE(data->at(data->size() - 1)->key, t);
        }
    }
}

void TestNormalPlot::retentionWhileStatic()
{
    build(at(5, "08:00:00.000"));
    m_page->onClicked_dynamic(false);
    for (int i = 0; i < 6 * 360; ++i)
        flow(i % 100, 10.0);
    const double t = m_page->plotTime();
    m_page->onClicked_dynamic(false);
    const auto data = small()->graph(0)->data();
    const double r = UI_NormalV3::RETENTION_SECONDS;
    QVERIFY2(data->at(0)->key >= t - r - 70, qPrintable(QString::number(t - data->at(0)->key)));
    QVERIFY(data->size() <= int(r / 10) + 8);
    QCOMPARE(data->at(data->size() - 1)->key, t);
}

void TestNormalPlot::recordStep()
{
    build(at(5, "14:07:00.000"));
    g_now = at(5, "14:07:08.000");
    const QString path = m_dir.filePath(QStringLiteral("record.xlsx"));
    m_page->saveRecord_req(true, 1.0, path);
    m_page->mfc_ack(makeReply(QStringLiteral("ReadActiveSetpoint"), 0));
    flow(33.333333, 0.5);  // too early for a row
    flow(33.333333, 0.542); // 14:07:09.042
    // Rows come while the curve is static too.
    m_page->onClicked_dynamic(false);
    m_page->mfc_ack(makeReply(QStringLiteral("ReadActiveSetpoint"), 12.5));
    flow(7, 1.0);
    m_page->saveRecord_req(false, 1.0, path);

    xlsx::Document doc(path);
    QVERIFY(!doc.isLoadFailed());
    QCOMPARE(doc.read(2, 1).toString(), QStringLiteral("2024/03/05 14:07:09:042"));
    QCOMPARE(doc.read(2, 2).toString(), QStringLiteral("0"));
    QCOMPARE(doc.read(2, 3).toString(), QStringLiteral("33.3333"));
    QCOMPARE(doc.read(3, 2).toString(), QStringLiteral("12.5"));
    QCOMPARE(doc.read(3, 3).toString(), QStringLiteral("7"));
    QCOMPARE(doc.rowCount(), 3);
}

void TestNormalPlot::recordErrorForwarded()
{
    build(at(5, "14:07:00.000"));
    QSignalSpy spy(m_page.get(), &UI_NormalV3::error_record_req);
    const QString path = m_dir.filePath(QStringLiteral("missing-folder/record.xlsx"));
    m_page->saveRecord_req(true, 0.1, path);
    flow(1, 0.2);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QVERIFY(spy.at(0).at(1).toString().contains(QStringLiteral("record.xlsx")));
    m_page->saveRecord_req(false, 0.1, path);
}

void TestNormalPlot::compactVariant()
{
    g_now = at(5, "10:00:00.000");
    m_page.reset(new UI_NormalV3(true, nullptr));
    QCOMPARE(small()->xAxis->range(), QCPRange(36000, 36010));
    QCOMPARE(small()->xAxis->ticker()->tickCount(), 5);
    QVERIFY(!m_page->findChild<QSlider*>());
    flow(10, 15);
    QCOMPARE(small()->xAxis->range(), QCPRange(36005, 36015));
}

QTEST_MAIN(TestNormalPlot)
#include "tst_normalplot.moc"
