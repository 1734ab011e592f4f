#include "leastsquarescurvefitting.h"
#include "tervancore.h"

#include <QtTest>

#include <cmath>

using Points = QVector<double>;

namespace {

// What the device holds of a table value: written with six digits, encoded in its 1/65536 steps.
double held(double v)
{
    return TervanCore::unpackFixed16_16(TervanCore::packFixed16_16(QString::number(v, 'g', 6).toDouble()));
}

} // namespace

class TstFit : public QObject
{
    Q_OBJECT
private slots:
    void fitsTable_data()
    {
        // Points the page accepts under `bounds`; with a `curve` {a, b}, the table follows
        // a x + b x^2 between the first and the last but one point.
        QTest::addColumn<Points>("x");
        QTest::addColumn<Points>("y");
        QTest::addColumn<Points>("curve");
        QTest::addColumn<Points>("bounds");
        const auto row = [](const char* name, const Points& x, const Points& y, const Points& curve = {},
                            const Points& bounds = {0.25, 4}) { QTest::newRow(name) << x << y << curve << bounds; };
        const Points set6{0, 0.035, 0.35, 0.6, 0.8, 1.0}, set7{0, 0.07, 0.15, 0.25, 0.5, 0.75, 1.0};
        const Points grid{0, 0.15, 0.3, 0.45, 0.6, 0.75, 0.9};
        Points quad, sShape, x11, y11, knee, x16;  // bent devices
        for (double x : grid)
            quad << x + 0.2 * x * x;
        for (double x : set6)
            sShape << x + 0.02 * std::sin(2 * M_PI * x);
        for (int i = 0; i <= 10; ++i)
            x11 << i / 10.0, y11 << i / 10.0 + 0.04 * std::sin(M_PI * i / 5), knee << std::min(0.13 * i, 0.3 + 0.07 * i);
        for (int i = 0; i < 16; ++i)
            x16 << i * 0.06 + (i > 6 ? 0.05 : 0);
        row("ideal device", set7, set7, {1});
        row("equal bounds", set7, set7, {1}, {1, 1});
        row("single 10%", {0, 0.035, 0.1, 0.35, 0.6, 0.8, 1}, {0, 0.035, 0.105, 0.35, 0.6, 0.8, 1});
        row("single 50%", {0, 0.035, 0.35, 0.5, 0.6, 0.8, 1}, {0, 0.035, 0.35, 0.51, 0.6, 0.8, 1});
        row("single 100%", set6, {0, 0.035, 0.35, 0.6, 0.8, 1.03});
        // No table passes through these; the best misses by about 0.015 % and 0.04 % of full scale.
        row("no exact table: 10% reads 12.05%", {0, 0.07, 0.1, 0.15, 0.25, 0.5, 0.75, 1}, {0, 0.07, 0.1205, 0.15, 0.25, 0.5, 0.75, 1});
        row("no exact table: 80% reads 91.95%", {0, 0.07, 0.15, 0.25, 0.5, 0.75, 0.8, 1}, {0, 0.07, 0.15, 0.25, 0.5, 0.75, 0.9195, 1});
        row("replaced row 50%", set7, {0, 0.07, 0.15, 0.25, 0.51, 0.75, 1});
        row("two on least slope", {0.1, 0.3}, {0.025, 0.075}, {0.25});
        row("three points", {0, 0.5, 1}, {0, 0.52, 1.01});
        row("quadratic, smooth", grid, quad, {1, 0.2});
        row("S-shaped 2%", set6, sShape);
        row("bow, 4 points", {0, 0.3, 0.7, 1}, {0, 0.3168, 0.7168, 1});
        row("11 points 4%", x11, y11);
        row("sharp bend between two nodes", x11, knee);
        row("16 points", x16, x16, {1});
        row("ends within the range", {0, 0.5, 1}, {0, 0.9, 1.8});
        row("saturating", set7, {0, 0.25, 0.45, 0.62, 0.85, 0.95, 1.015});
        // A steep first point: a cubic through these rises faster than 4 in the first stretch.
        row("smooth curve above the bound", {0, 0.15, 0.6, 1}, {0, 0.6, 0.9, 1.1});
    }
    // As the device holds the table and reads it: straight lines from the origin through
    // the nodes, the last one continued.
    void fitsTable()
    {
        QFETCH(Points, x);
        QFETCH(Points, y);
        QFETCH(Points, curve);
        QFETCH(Points, bounds);
        LeastSquaresCurveFitting fit;
        fit.setSlopeBounds(bounds[0], bounds[1]);
        QVERIFY(fit.fitting_real(x.data(), y.data(), x.size()));
        QList<double> tx{9}, ty{9};  // earlier contents must be replaced
        fit.get_xyTable(tx, ty);
        QVERIFY(tx.size() == 32 && ty.size() == 32);
        QVERIFY(fit.tableHolds(tx, ty));
        Points hx{0}, hy{0}, slope{0};
        for (int i = 0; i < 32; ++i) {
            QVERIFY(std::abs(tx[i] - (i + 1) * 0.0375) < 1e-12);
            hx << held(tx[i]), hy << held(ty[i]), slope << (hy[i + 1] - hy[i]) / (hx[i + 1] - hx[i]);
            QVERIFY2(hy[i + 1] > hy[i] && slope[i + 1] >= bounds[0] && slope[i + 1] <= bounds[1] && hy[i + 1] <= 2.0,
                     qPrintable(QString::number(i + 1)));
        }
        const auto readAt = [&](double px) {
            int i = 1;
            while (i < 32 && hx[i] < px)
                ++i;
            return hy[i - 1] + slope[i] * (px - hx[i - 1]);
        };
        for (int k = 0; k < x.size(); ++k)
            QVERIFY2(std::abs(readAt(x[k]) - y[k]) <= 0.001, qPrintable(QStringLiteral("%1: %2").arg(x[k]).arg(readAt(x[k]))));
        const int n = x.size();
        for (int i = 1; !curve.isEmpty() && i <= 32; ++i)
            QVERIFY2(hx[i] < x[1] || hx[i] > x[n - 2] || std::abs(hy[i] - curve[0] * hx[i] - curve.value(1) * hx[i] * hx[i]) < 1e-4,
                     qPrintable(QString::number(i)));
        // From the node at or after the last point on: the last segment's slope, held within
        // the bounds and so that the table ends within the range.
        const double last = std::clamp((y[n - 1] - y[n - 2]) / (x[n - 1] - x[n - 2]), bounds[0], bounds[1]);
        const double end = std::min(last, (2 - y[n - 1]) / (hx[32] - x[n - 1]));
        for (int i = 32; hx[i - 1] >= x.last(); --i)
            QVERIFY2(std::abs(slope[i] - end) < 1e-3, qPrintable(QStringLiteral("%1: %2").arg(i).arg(slope[i])));
    }

    void refuses_data()
    {
        // With `missed` {i, miss}: point i is named, the best table missing it by `miss`.
        QTest::addColumn<Points>("x");
        QTest::addColumn<Points>("y");
        QTest::addColumn<Points>("missed");
        Points many;
        for (int i = 1; i <= 17; ++i)
            many << i / 17.0;
        QTest::newRow("one point") << Points{0.5} << Points{0.5} << Points{};
        QTest::newRow("17 points") << many << many << Points{};
        QTest::newRow("NaN") << Points{0, 0.5, 1} << Points{0, qQNaN(), 1} << Points{};
        QTest::newRow("decreasing x") << Points{0, 0.6, 0.5} << Points{0, 0.6, 0.5} << Points{};
        QTest::newRow("negative x") << Points{-0.1, 0.5} << Points{0, 0.5} << Points{};
        // Rising at least 0.9 from 1 to 1.2 and ending within 2, the table reads at most 1.82 at 1.
        QTest::newRow("beyond register range") << Points{0, 0.5, 1} << Points{0, 0.98, 1.96} << Points{2, 0.14};
        // At 0.1 (between two nodes) 0.0905, then too far to climb at 4 to 0.3: both miss by 0.015.
        QTest::newRow("no table between the bounds") << Points{0, 0.1, 0.3} << Points{0, 0.0905, 0.8895} << Points{1, 0.015};
        QTest::newRow("under the set least slope") << Points{0, 0.5, 1} << Points{0, 0.4, 0.8} << Points{2, 0.1};
    }
    // Refused: no table, and for a set no table meets, the point and the miss.
    void refuses()
    {
        QFETCH(Points, x);
        QFETCH(Points, y);
        QFETCH(Points, missed);
        LeastSquaresCurveFitting fit;
        fit.setSlopeBounds(0.9, 4.0); // as a user may set it
        Points ok{0, 0.5, 1};
        double px = -1, py = -1, miss = -1;
        QVERIFY(fit.fitting_real(ok.data(), ok.data(), 3) && !fit.missedPoint(px, py, miss));
        QVERIFY(!fit.fitting_real(x.data(), y.data(), x.size()));
        QList<double> tx, ty;
        fit.get_xyTable(tx, ty);  // a refused fit leaves no earlier table behind
        QVERIFY(tx.isEmpty() && ty.isEmpty());
        QCOMPARE(fit.missedPoint(px, py, miss), !missed.isEmpty());
        if (!missed.isEmpty()) {
            const int i = int(missed[0]);
            QVERIFY2(px == x[i] && py == y[i] && std::abs(miss - missed[1]) < 5e-4, qPrintable(QStringLiteral("%1 %2 %3").arg(px).arg(py).arg(miss)));
        }
        QVERIFY(!fit.fitting_real(nullptr, y.data(), 2) && !fit.missedPoint(px, py, miss));
    }
};

QTEST_GUILESS_MAIN(TstFit)
#include "tst_fit.moc"
