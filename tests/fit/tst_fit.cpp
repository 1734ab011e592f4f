#include "leastsquarescurvefitting.h"

#include <QtTest>

#include <cmath>

using Points = QVector<double>;

class TstFit : public QObject
{
    Q_OBJECT
private slots:
    void fitsTable_data()
    {
        // Points the page accepts; with `line` > 0 the table is y = line * x.
        QTest::addColumn<Points>("x");
        QTest::addColumn<Points>("y");
        QTest::addColumn<double>("line");
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
        QTest::newRow("ideal device") << set7 << set7 << 1.0;
        QTest::newRow("single 10%") << Points{0, 0.035, 0.1, 0.35, 0.6, 0.8, 1} << Points{0, 0.035, 0.105, 0.35, 0.6, 0.8, 1} << 0.0;
        QTest::newRow("single 50%") << Points{0, 0.035, 0.35, 0.5, 0.6, 0.8, 1} << Points{0, 0.035, 0.35, 0.51, 0.6, 0.8, 1} << 0.0;
        QTest::newRow("single 100%") << set6 << Points{0, 0.035, 0.35, 0.6, 0.8, 1.03} << 0.0;
        QTest::newRow("replaced row 50%") << set7 << Points{0, 0.07, 0.15, 0.25, 0.51, 0.75, 1} << 0.0;
        QTest::newRow("two on least slope") << Points{0.1, 0.3} << Points{0.025, 0.075} << 0.25;
        QTest::newRow("three points") << Points{0, 0.5, 1} << Points{0, 0.52, 1.01} << 0.0;
        QTest::newRow("quadratic") << grid << quad << 0.0;
        QTest::newRow("S-shaped 2%") << set6 << sShape << 0.0;
        QTest::newRow("bow, 4 points") << Points{0, 0.3, 0.7, 1} << Points{0, 0.3168, 0.7168, 1} << 0.0;
        QTest::newRow("11 points 4%") << x11 << y11 << 0.0;
        QTest::newRow("sharp bend between two nodes") << x11 << knee << 0.0;
        QTest::newRow("16 points") << x16 << x16 << 1.0;
        QTest::newRow("ends within the range") << Points{0, 0.5, 1} << Points{0, 0.9, 1.8} << 0.0;
        QTest::newRow("saturating") << set7 << Points{0, 0.25, 0.45, 0.62, 0.85, 0.95, 1.015} << 0.0;
        // A cubic through these rises faster than 4 in the first stretch.
        QTest::newRow("smooth curve above the bound") << Points{0, 0.15, 0.6, 1} << Points{0, 0.6, 0.9, 1.1} << 0.0;
    }
    void fitsTable()
    {
        QFETCH(Points, x);
        QFETCH(Points, y);
        QFETCH(double, line);
        LeastSquaresCurveFitting fit;
        QVERIFY(fit.fitting_real(x.data(), y.data(), x.size()));
        QList<double> tx{9}, ty{9};  // earlier contents must be replaced
        fit.get_xyTable(tx, ty);
        QVERIFY(tx.size() == 32 && ty.size() == 32);
        for (int i = 0; i < 32; ++i) {
            const double px = i ? tx[i - 1] : 0, py = i ? ty[i - 1] : 0, slope = (ty[i] - py) / (tx[i] - px);
            QVERIFY(std::abs(tx[i] - (i + 1) * 0.0375) < 1e-12);
            QVERIFY2(ty[i] > py && slope >= 0.25 && slope <= 4.0 && ty[i] <= 2.0, qPrintable(QString::number(i)));
            QVERIFY(line == 0 || std::abs(ty[i] - line * tx[i]) < 1e-9);
        }
        // As the device reads it: straight lines from the origin, the last one continued.
        for (int k = 0; k < x.size(); ++k) {
            int i = 0;
            while (i < 31 && tx[i] < x[k])
                ++i;
            const double x0 = i ? tx[i - 1] : 0, y0 = i ? ty[i - 1] : 0;
            const double read = y0 + (ty[i] - y0) * (x[k] - x0) / (tx[i] - x0);
            QVERIFY2(std::abs(read - y[k]) <= 0.001, qPrintable(QStringLiteral("%1: %2").arg(x[k]).arg(read)));
        }
    }

    void refuses_data()
    {
        QTest::addColumn<Points>("x");
        QTest::addColumn<Points>("y");
        Points many;
        for (int i = 1; i <= 17; ++i)
            many << i / 17.0;
        QTest::newRow("one point") << Points{0.5} << Points{0.5};
        QTest::newRow("17 points") << many << many;
        QTest::newRow("NaN") << Points{0, 0.5, 1} << Points{0, qQNaN(), 1};
        QTest::newRow("decreasing x") << Points{0, 0.6, 0.5} << Points{0, 0.6, 0.5};
        QTest::newRow("negative x") << Points{-0.1, 0.5} << Points{0, 0.5};
        QTest::newRow("beyond register range") << Points{0, 0.5, 1} << Points{0, 0.98, 1.96};
        // 0.905 up to 0.1 (between two nodes) leaves too far to climb at 4 to 0.3.
        QTest::newRow("no table between the bounds") << Points{0, 0.1, 0.3} << Points{0, 0.0905, 0.8895};
        QTest::newRow("under the set least slope") << Points{0, 0.5, 1} << Points{0, 0.4, 0.8};
    }
    void refuses()
    {
        QFETCH(Points, x);
        QFETCH(Points, y);
        LeastSquaresCurveFitting fit;
        fit.setSlopeBounds(0.9, 4.0); // as a user may set it
        Points ok{0, 0.5, 1};
        QVERIFY(fit.fitting_real(ok.data(), ok.data(), 3));
        QVERIFY(!fit.fitting_real(x.data(), y.data(), x.size()));
        QList<double> tx, ty;
        fit.get_xyTable(tx, ty);  // a refused fit leaves no earlier table behind
        QVERIFY(tx.isEmpty() && ty.isEmpty());
        QVERIFY(!fit.fitting_real(nullptr, y.data(), 2));
    }
};

QTEST_GUILESS_MAIN(TstFit)
#include "tst_fit.moc"
