#include "leastsquarescurvefitting.h"
#include "openpyxlsheet.h"
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

// A fitted table as the device holds it and reads it: straight lines from the origin
// through the nodes, the last one continued.
struct HeldTable
{
    Points x{0}, y{0}, slope{0};

    HeldTable(const QList<double>& tx, const QList<double>& ty)
    {
        for (int i = 0; i < tx.size(); ++i)
            x << held(tx[i]), y << held(ty[i]), slope << (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
    }
    // Empty when the table rises from the origin within the bounds and the range.
    QString fault(double minSlope, double maxSlope) const
    {
        for (int i = 1; i < x.size(); ++i) {
            if (!(y[i] > y[i - 1] && slope[i] >= minSlope && slope[i] <= maxSlope && y[i] <= 2.0))
                return QStringLiteral("node %1: %2 at slope %3").arg(i).arg(y[i]).arg(slope[i]);
        }
        return x.size() == 33 ? QString() : QStringLiteral("%1 nodes").arg(x.size() - 1);
    }
    double readAt(double px) const
    {
        int i = 1;
        while (i < 32 && x[i] < px)
            ++i;
        return y[i - 1] + slope[i] * (px - x[i - 1]);
    }
};

// The least largest miss of any table the device can hold within the bounds, by scipy's
// linear programming over the node values, each rise a whole number of steps within the
// slope bounds (the node values themselves free between steps), the table within 0..2;
// with a named point: the least miss at that point among those tables. Reads a JSON list
// of sets {"bounds", "x", "y", "named"} and the node X as the device holds them; prints
// per set [least largest miss or null (no table keeps the bounds), least miss at the named point].
const char bestTableScript[] = R"(
import json, sys
import numpy as np
from scipy.optimize import linprog
nodes, sets = json.load(open(sys.argv[1]))
steps = [round(v * 65536) for v in nodes]
out = []
for s in sets:
    lo_s, hi_s = s["bounds"]
    lo, hi = [], []
    for j in range(1, 33):
        dx = steps[j] - steps[j - 1]
        h = int(hi_s * dx) + 1
        while h > 0 and h / dx > hi_s: h -= 1
        l = max(1, int(lo_s * dx) - 1)
        while l <= h and l / dx < lo_s: l += 1
        lo.append(l); hi.append(h)
    if any(l > h for l, h in zip(lo, hi)) or sum(lo) > 131072:
        out.append([None, None]); continue
    # columns: Y1..Y32, largest miss, miss at the named point
    a, b = [], []
    def row(terms, bound):
        r = np.zeros(34)
        for c, v in terms:
            if c >= 0: r[c] += v
        a.append(r); b.append(bound)
    for j in range(32):
        row([(j, 1), (j - 1, -1)], hi[j] / 65536)
        row([(j, -1), (j - 1, 1)], -lo[j] / 65536)
    for k, (px, py) in enumerate(zip(s["x"], s["y"])):
        j = 1
        while j < 32 and nodes[j] < px: j += 1
        t = (px - nodes[j - 1]) / (nodes[j] - nodes[j - 1])
        read = [(j - 2, 1 - t), (j - 1, t)]
        for miss in (32, 33) if k == s["named"] else (32,):
            row(read + [(miss, -1)], py)
            row([(c, -v) for c, v in read] + [(miss, -1)], -py)
    bounds = [(0, 2)] * 32 + [(0, None), (0, None)]
    best = linprog(np.eye(34)[32], A_ub=np.array(a), b_ub=b, bounds=bounds, method="highs")
    if best.status != 0:
        out.append([None, None]); continue
    least = best.x[32]
    named = None
    for slack in (1e-9, 1e-8, 1e-7) if s["named"] >= 0 else ():
        bounds[32] = (0, least + slack)
        res = linprog(np.eye(34)[33], A_ub=np.array(a), b_ub=b, bounds=bounds, method="highs")
        if res.status == 0:
            named = res.x[33]
            break
    out.append([least, named])
print(json.dumps(out))
)";

QVariantList toVariants(const Points& v)
{
    QVariantList out;
    for (double d : v)
        out << d;
    return out;
}

struct PointSet
{
    double minSlope, maxSlope;
    Points x, y;
};

// Sets the page accepts (rising, each step between neighbours within the bounds): spread
// over the range, closely spaced, and read far above the setpoint up to full scale; under
// bounds from the default to a few percent wide.
QVector<PointSet> generatedSets()
{
    QRandomGenerator rng(92);
    const auto uniform = [&rng](double a, double b) { return a + (b - a) * rng.generateDouble(); };
    const QVector<std::pair<double, double>> bounds{{0.25, 4}, {0.9, 1.1}, {0.5, 2}, {0.95, 1.05}, {0.8, 1.25}, {0.25, 1.9}};
    QVector<PointSet> sets;
    for (int s = 0; s < 300; ++s) {
        const auto [lo, hi] = bounds[s % bounds.size()];
        const int kind = s / bounds.size() % 3;
        const int n = 2 + int(rng.bounded(15));
        PointSet p{lo, hi, {}, {}};
        p.x << (rng.bounded(5) ? 0.0 : uniform(0.005, 0.1));
        if (kind == 1) {  // closely spaced, some of them within one segment
            for (double v = uniform(p.x[0] + 0.002, 0.9); p.x.size() < n; v += uniform(0.001, 0.012))
                p.x << v;
        } else {
            Points rest;
            for (int i = 1; i < n; ++i)
                rest << uniform(p.x[0] + 0.001, 1.0);
            std::sort(rest.begin(), rest.end());
            rest.erase(std::unique(rest.begin(), rest.end()), rest.end());
            if (kind == 2)
                rest.last() = 1.0;
            p.x += rest;
        }
        // Slopes about a base one: far above 1 near full scale for the third kind.
        const double base = kind == 2 ? std::min(hi, uniform(1.3, 1.95)) : uniform(lo, hi);
        const double spread = uniform(0, 0.2);
        p.y << (p.x[0] > 0 ? p.x[0] * std::clamp(base, lo, hi) : 0.0);
        for (int i = 1; i < p.x.size(); ++i)
            p.y << p.y.last() + std::clamp(base * (1 + uniform(-spread, spread)), lo, hi) * (p.x[i] - p.x[i - 1]);
        sets << p;
    }
    return sets;
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
        // Read at 1.7 times the setpoint: 1.7 up to the node after 100 %, less after it.
        Points high;
        for (double x : {0.0, 0.07, 0.15, 0.25, 0.5, 0.75, 0.98, 1.0})
            high << 1.7 * x;
        row("far above the setpoint at full scale", {0, 0.07, 0.15, 0.25, 0.5, 0.75, 0.98, 1}, high, {1.7});
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
        for (int i = 0; i < 32; ++i)
            QVERIFY(std::abs(tx[i] - (i + 1) * 0.0375) < 1e-12);
        const HeldTable t(tx, ty);
        QVERIFY2(t.fault(bounds[0], bounds[1]).isEmpty(), qPrintable(t.fault(bounds[0], bounds[1])));
        for (int k = 0; k < x.size(); ++k)
            QVERIFY2(std::abs(t.readAt(x[k]) - y[k]) <= 0.001, qPrintable(QStringLiteral("%1: %2").arg(x[k]).arg(t.readAt(x[k]))));
        const int n = x.size();
        for (int i = 1; !curve.isEmpty() && i <= 32; ++i)
            QVERIFY2(t.x[i] < x[1] || t.x[i] > x[n - 2] || std::abs(t.y[i] - curve[0] * t.x[i] - curve.value(1) * t.x[i] * t.x[i]) < 1e-4,
                     qPrintable(QString::number(i)));
        // From the node at or after the last point on: the last segment's slope, held within
        // the bounds and so that the table ends within the range from that node.
        int j = 1;
        while (j < 32 && t.x[j] < x.last())
            ++j;
        const double last = std::clamp((y[n - 1] - y[n - 2]) / (x[n - 1] - x[n - 2]), bounds[0], bounds[1]);
        const double end = std::min(last, (2 - t.y[j]) / (t.x[32] - t.x[j]));
        for (int i = j + 1; i <= 32; ++i)
            QVERIFY2(std::abs(t.slope[i] - end) < 1e-3, qPrintable(QStringLiteral("%1: %2").arg(i).arg(t.slope[i])));
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

    // Against the best table found independently: a set that some table meets within
    // 0.09 % of full scale gets a table within 0.1 %; bounds count as unmet only when
    // no table keeps them; a refusal names a point that every best table misses by
    // the least largest miss, and a miss no smaller.
    void meetsWhatTheBestTableMeets()
    {
        QVector<PointSet> sets{
            {0.25, 4, {0, 0.07, 0.713}, {0, 0.2783162, 1.2368839}},
            {0.9, 1.1, {0, 0.035, 0.1, 0.35, 0.6, 0.8, 1}, {0, 0.035, 0.09376845684, 0.35, 0.6, 0.8, 1}},
            {0.25, 4, {0, 0.0076}, {0, 0.0173678}},
            {0.25, 4, {0, 0.07, 0.15, 0.25, 0.5, 0.75, 0.98, 1}, {0, 0.119, 0.255, 0.425, 0.85, 1.275, 1.666, 1.7}},
            // The presolved simplex cycles on this one.
            {0.95, 1.05, {0, 0.2150333589, 0.469940969, 0.5048948251, 0.5422134646, 0.5807764213, 0.675078567, 1},
             {0, 0.2095368092, 0.4771897998, 0.5135010076, 0.552685579, 0.5931766835, 0.6921939365, 1.0008692979}},
            {1.8, 4, {0, 0.5}, {0, 0.9}},
            {0.5, 0.5, {0, 0.5}, {0, 0.25}},
        };
        sets += generatedSets();
        QJsonArray nodes{0.0}, input;
        for (int i = 1; i <= 32; ++i)
            nodes << held(i * 0.0375);
        struct Outcome { bool fitted, boundsUnmet, missed; QList<double> tx, ty; double px, miss; };
        QVector<Outcome> outcomes;
        for (PointSet& p : sets) {
            LeastSquaresCurveFitting fit;
            fit.setSlopeBounds(p.minSlope, p.maxSlope);
            Outcome o{fit.fitting_real(p.x.data(), p.y.data(), p.x.size()), fit.boundsUnmet(), false, {}, {}, 0, 0};
            double py = 0;
            o.missed = fit.missedPoint(o.px, py, o.miss);
            fit.get_xyTable(o.tx, o.ty);
            outcomes << o;
            input << QJsonObject{{"bounds", QJsonArray{p.minSlope, p.maxSlope}}, {"x", QJsonArray::fromVariantList(toVariants(p.x))},
                                 {"y", QJsonArray::fromVariantList(toVariants(p.y))}, {"named", o.missed ? p.x.indexOf(o.px) : -1}};
        }
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(QJsonDocument(QJsonArray{nodes, input}).toJson(QJsonDocument::Compact));
        file.flush();
        QByteArray out;
        QVERIFY2(runPython(QString::fromLatin1(bestTableScript), {file.fileName()}, out), out.constData());
        const QJsonArray best = QJsonDocument::fromJson(out).array();
        QCOMPARE(best.size(), sets.size());
        int refused = 0;
        for (int s = 0; s < sets.size(); ++s) {
            const PointSet& p = sets[s];
            const Outcome& o = outcomes[s];
            const bool anyTable = !best[s][0].isNull();
            const double least = best[s][0].toDouble();
            const QString what = QStringLiteral("set %1 (least largest miss %2): ").arg(s).arg(least);
            QVERIFY2(o.boundsUnmet == !anyTable, qPrintable(what + "bounds judged wrongly"));
            if (o.fitted) {
                const HeldTable t(o.tx, o.ty);
                QVERIFY2(t.fault(p.minSlope, p.maxSlope).isEmpty(), qPrintable(what + t.fault(p.minSlope, p.maxSlope)));
                for (int k = 0; k < p.x.size(); ++k)
                    QVERIFY2(std::abs(t.readAt(p.x[k]) - p.y[k]) <= 0.001, qPrintable(what + QString::number(k)));
            } else if (anyTable) {
                ++refused;
                QVERIFY2(least > 0.0009, qPrintable(what + "refused"));
                QVERIFY2(o.missed && o.miss >= least - 1e-9, qPrintable(what + QStringLiteral("miss %1").arg(o.miss)));
                QVERIFY2(best[s][1].toDouble() >= least - 1e-7, qPrintable(what + QStringLiteral("named point (%1) missed by %2 at least")
                                                                                     .arg(o.px).arg(best[s][1].toDouble())));
            }
        }
        // Both outcomes, in numbers that make the comparison mean something.
        QVERIFY2(refused > 20 && refused < sets.size() / 2, qPrintable(QString::number(refused)));
    }
};

QTEST_GUILESS_MAIN(TstFit)
#include "tst_fit.moc"
