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
        // The table follows y = (a1 + a2 x) x within tol (no curve: shape only); with
        // minMiss > 0 some point (set on a table position) lies further off it.
        QTest::addColumn<Points>("x");
        QTest::addColumn<Points>("y");
        QTest::addColumn<Points>("curve");
        QTest::addColumn<double>("tol");
        QTest::addColumn<double>("minMiss");
        const Points set7{0, 0.07, 0.15, 0.25, 0.5, 0.75, 1.0};
        const Points grid{0, 0.15, 0.3, 0.45, 0.6, 0.75, 0.9};  // table positions 4, 8, ... 24
        Points quad, noisy;
        for (int i = 0; i < grid.size(); ++i) {
            quad << grid[i] + 0.2 * grid[i] * grid[i];
            noisy << 1.1 * grid[i] * (i % 2 ? 1.01 : 0.99);
        }
        QTest::newRow("ideal device") << set7 << set7 << Points{1, 0} << 1e-12 << 0.0;
        QTest::newRow("quadratic") << grid << quad << Points{1, 0.2} << 1e-6 << 0.0;
        QTest::newRow("noisy line") << grid << noisy << Points{1.1, 0} << 0.004 << 0.002;
        // Saturating: the closer curves fall under the least slope past full scale.
        QTest::newRow("kink") << set7 << Points{0, 0.25, 0.45, 0.62, 0.85, 0.95, 1.015} << Points{} << 0.0 << 0.0;
        QTest::newRow("two on least slope") << Points{0.1, 0.3} << Points{0.025, 0.075} << Points{0.25, 0} << 1e-9 << 0.0;
    }
    void fitsTable()
    {
        QFETCH(Points, x);
        QFETCH(Points, y);
        QFETCH(Points, curve);
        QFETCH(double, tol);
        QFETCH(double, minMiss);
        LeastSquaresCurveFitting fit;
        QVERIFY(fit.fitting_real(x.data(), y.data(), x.size()));
        QList<double> tx{9}, ty{9};  // earlier contents must be replaced
        fit.get_xyTable(tx, ty);
        QVERIFY(tx.size() == 32 && ty.size() == 32);
        for (int i = 0; i < 32; ++i) {
            const double px = i ? tx[i - 1] : 0, py = i ? ty[i - 1] : 0, slope = (ty[i] - py) / (tx[i] - px);
            QVERIFY(std::abs(tx[i] - (i + 1) * 0.0375) < 1e-12);
            QVERIFY2(ty[i] > py && slope >= 0.25 && slope <= 4.0 && ty[i] <= 2.0, qPrintable(QString::number(i)));
            QVERIFY2(curve.isEmpty() || std::abs(ty[i] - (curve[0] + curve[1] * tx[i]) * tx[i]) <= tol,
                     qPrintable(QString::number(i)));
        }
        double miss = 0;
        for (int k = 1; minMiss > 0 && k < x.size(); ++k)
            miss = std::max(miss, std::abs(ty[qRound(x[k] / 0.0375) - 1] - y[k]));
        QVERIFY(miss >= minMiss);
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
        QTest::newRow("beyond register range") << Points{0, 0.5, 1} << Points{0, 0.9, 1.8};
        QTest::newRow("under the set least slope") << Points{0, 0.5, 1} << Points{0, 0.4, 0.8};
    }
    void refuses()
    {
        QFETCH(Points, x);
        QFETCH(Points, y);
        LeastSquaresCurveFitting fit;
        fit.setSlopeBounds(0.9, 4.0); // as a user may set it; only the last row falls under it
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
