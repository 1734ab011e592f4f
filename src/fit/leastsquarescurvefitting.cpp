#include "leastsquarescurvefitting.h"

#include "tervancore.h"

#include <Eigen/Dense>
#include <glpk.h>

#include <QString>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

// The reference meter's readings are what the engineer trusts, so the table
// has to meet them as the device reads it: straight lines from the origin
// through the nodes X_i = i * step (as the device holds them), the last
// segment continued.
//
// 1. A smooth monotone curve through the origin and the points (Fritsch–Carlson
//    cubic, Fritsch–Butland tangents); the node values closest to it (least
//    squares) whose reading passes through every point.
// 2. Where that breaks a bound or the range, the table that misses the points
//    least: a linear program over the node values (the largest miss first,
//    then the sum of misses, then the distance from straight lines through the
//    points).
// 3. Either is placed on the device's 1/65536 steps node by node, each rise
//    kept within the steps the bounds allow and each node low enough for the
//    least rises after it, so rounding cannot carry a slope across a bound or
//    the table out of the range.
// From the node at or after the last point on, every segment rises with the
// last segment's slope, held within the bounds and, from that node's value,
// within the range. The points do not bind those segments, so the program
// leaves them free. A set whose best table misses a point by more than
// kMaxMiss is refused, naming a point that every best table misses that much.
// Whether any table keeps the bounds depends on them alone, and is decided
// before the points are looked at.

namespace {

using Table = std::vector<double>;  // node values Y_0 (the origin, 0) .. Y_32
using Steps = std::vector<long>;    // the same in the device's steps

constexpr int kNodes = LeastSquaresCurveFitting::kTablePoints;
constexpr double kStepsPerUnit = 65536.0;  // the registers are 16.16 fixed point
constexpr long kMaxSteps = 131072;         // kTableMax
// How closely a table through the points meets them once on the steps.
constexpr double kThrough = 1.0 / kStepsPerUnit;

// A table value as the page writes it to the device.
double written(double v)
{
    return QString::number(v, 'g', 6).toDouble();
}

// A value whose six-digit text the device holds as `k` steps: the middle of
// the step, which six digits cannot take into a neighbouring one; the top of
// the range is written whole.
double valueOfSteps(long k)
{
    const double mid = written((k + 0.5) / kStepsPerUnit);
    return mid <= LeastSquaresCurveFitting::kTableMax ? mid : k / kStepsPerUnit;
}

// Where a point falls in the table: its reading is (1 - t) Y_{j-1} + t Y_j.
// t = 1 at node j; beyond the last node, t > 1 on the continued last segment.
struct Place
{
    int j;
    double t;
};

Place placeOf(const Table& nodeX, double x)
{
    int j = 1;
    while (j < kNodes && nodeX[size_t(j)] < x)
        ++j;
    return {j, (x - nodeX[size_t(j - 1)]) / (nodeX[size_t(j)] - nodeX[size_t(j - 1)])};
}

double reading(const Table& y, const Place& p)
{
    return (1.0 - p.t) * y[size_t(p.j - 1)] + p.t * y[size_t(p.j)];
}

// A curve through the knots (the origin first), continued in a straight line
// beyond the last one.
class Curve
{
public:
    Curve(std::vector<double> x, std::vector<double> y, double endSlope, bool cubic)
        : m_x(std::move(x)), m_y(std::move(y)), m_endSlope(endSlope), m_cubic(cubic)
    {
        const size_t k = m_x.size() - 1;
        std::vector<double> h(k), d(k);
        for (size_t i = 0; i < k; ++i) {
            h[i] = m_x[i + 1] - m_x[i];
            d[i] = (m_y[i + 1] - m_y[i]) / h[i];
        }
        // Tangents that keep each piece monotone: a weighted harmonic mean of
        // the neighbouring slopes inside, the slopes themselves at the ends.
        m_m.assign(k + 1, 0.0);
        m_m[0] = d[0];
        for (size_t i = 1; i < k; ++i) {
            if (d[i - 1] * d[i] <= 0.0)
                continue;
            const double w1 = 2.0 * h[i] + h[i - 1];
            const double w2 = h[i] + 2.0 * h[i - 1];
            m_m[i] = (w1 + w2) / (w1 / d[i - 1] + w2 / d[i]);
        }
        m_m[k] = std::clamp(endSlope, 0.0, 3.0 * std::max(d[k - 1], 0.0));
    }

    double at(double x) const
    {
        const size_t last = m_x.size() - 1;
        if (x >= m_x[last])
            return m_y[last] + m_endSlope * (x - m_x[last]);
        const size_t i = size_t(std::upper_bound(m_x.begin(), m_x.end(), x) - m_x.begin()) - 1;
        const double h = m_x[i + 1] - m_x[i];
        const double s = (x - m_x[i]) / h;
        if (!m_cubic)
            return m_y[i] + s * (m_y[i + 1] - m_y[i]);
        const double s2 = s * s;
        const double s3 = s2 * s;
        return (2 * s3 - 3 * s2 + 1) * m_y[i] + (s3 - 2 * s2 + s) * h * m_m[i] + (-2 * s3 + 3 * s2) * m_y[i + 1]
            + (s3 - s2) * h * m_m[i + 1];
    }

private:
    std::vector<double> m_x, m_y, m_m;
    double m_endSlope;
    bool m_cubic;
};

// The node values closest (least squares) to `target` whose reading passes
// through the points: the smallest correction that meets every point.
Table closestThrough(const Table& target, const std::vector<Place>& places, const double* y)
{
    const int n = int(places.size());
    Eigen::MatrixXd a = Eigen::MatrixXd::Zero(n, kNodes);
    Eigen::VectorXd miss(n);
    for (int k = 0; k < n; ++k) {
        const Place& p = places[size_t(k)];
        if (p.j >= 2)
            a(k, p.j - 2) += 1.0 - p.t;  // Y_0 is the origin, fixed at 0
        a(k, p.j - 1) += p.t;
        miss[k] = y[k] - reading(target, p);
    }
    const Eigen::VectorXd correction = a.completeOrthogonalDecomposition().solve(miss);
    Table out = target;
    for (int i = 1; i <= kNodes; ++i)
        out[size_t(i)] += correction[i - 1];
    return out;
}

// The rises, in steps, that keep each segment's slope within the bounds, and
// the least the table can still rise after each node.
struct Rises
{
    Steps lo, hi, rest;
};

// Node values on the device's steps: each node within half a step of `c`
// where the rises allow, the table within the range. Nodes 1 .. `last` follow
// `c`; after `last` every segment rises with `endSlope`, or less where the
// table would otherwise end above the range.
Steps onSteps(const Table& c, int last, double endSlope, const Table& nodeX, const Rises& r)
{
    Steps k(kNodes + 1, 0);
    const double lastX = nodeX[size_t(last)];
    for (int j = 1; j <= kNodes; ++j) {
        const size_t i = size_t(j);
        if (j == last + 1)
            endSlope = std::min(endSlope, (kMaxSteps - k[i - 1]) / ((nodeX[kNodes] - lastX) * kStepsPerUnit));
        const double want = j <= last ? c[i] * kStepsPerUnit : k[size_t(last)] + endSlope * (nodeX[i] - lastX) * kStepsPerUnit;
        const double top = double(std::min(k[i - 1] + r.hi[i], kMaxSteps - r.rest[i]));
        k[i] = long(std::clamp(std::round(std::isfinite(want) ? want : 0.0), double(k[i - 1] + r.lo[i]), top));
    }
    return k;
}

// GLPK's simplex on these small, highly degenerate programs now and then
// reports no feasible solution where there is one, or cycles for good. The
// presolved primal simplex, then the dual simplex, each bounded in steps, then
// exact rational arithmetic: false only when none finds the optimum.
bool solved(glp_prob* lp)
{
    glp_smcp parm;
    glp_init_smcp(&parm);
    parm.msg_lev = GLP_MSG_OFF;
    parm.it_lim = 20000;  // a solve takes a few hundred
    parm.presolve = GLP_ON;
    if (glp_simplex(lp, &parm) == 0 && glp_get_status(lp) == GLP_OPT)
        return true;
    parm.presolve = GLP_OFF;
    parm.meth = GLP_DUALP;
    const int out = glp_term_out(GLP_OFF);  // it reports on the terminal otherwise
    glp_adv_basis(lp, 0);
    glp_term_out(out);
    if (glp_simplex(lp, &parm) == 0 && glp_get_status(lp) == GLP_OPT)
        return true;
    glp_std_basis(lp);
    return glp_exact(lp, &parm) == 0 && glp_get_status(lp) == GLP_OPT;
}

// The linear program over the node values Y_1 .. Y_32, each rise within
// lo..hi steps and the table within the range, with one miss per point and
// the largest of them. The misses are free, so whenever some table keeps the
// bounds the program has a solution.
class MissProgram
{
public:
    MissProgram(const std::vector<Place>& places, const double* y, const Steps& lo, const Steps& hi)
        : m_lp(glp_create_prob(), glp_delete_prob), m_n(int(places.size()))
    {
        glp_prob* lp = m_lp.get();
        // Columns: Y_1 .. Y_32, the largest miss, one miss per point, then the
        // distance above and below a target table per node.
        glp_add_cols(lp, below(kNodes));
        for (int c = 1; c <= glp_get_num_cols(lp); ++c)
            glp_set_col_bnds(lp, c, GLP_LO, 0.0, 0.0);
        for (int j = 1; j <= kNodes; ++j)
            glp_set_col_bnds(lp, j, GLP_DB, 0.0, LeastSquaresCurveFitting::kTableMax);
        for (int j = 1; j <= kNodes; ++j) {
            const double a = lo[size_t(j)] / kStepsPerUnit;
            const double b = hi[size_t(j)] / kStepsPerUnit;
            addRow(a < b ? GLP_DB : GLP_FX, a, b, {{j, 1.0}, {j - 1, -1.0}});
        }
        for (int k = 0; k < m_n; ++k) {
            const Place& p = places[size_t(k)];
            // reading - miss <= y <= reading + miss, miss <= largest
            addRow(GLP_UP, 0.0, y[k], {{p.j - 1, 1.0 - p.t}, {p.j, p.t}, {miss(k), -1.0}});
            addRow(GLP_LO, y[k], 0.0, {{p.j - 1, 1.0 - p.t}, {p.j, p.t}, {miss(k), 1.0}});
            addRow(GLP_UP, 0.0, 0.0, {{miss(k), 1.0}, {kLargest, -1.0}});
        }
        for (int j = 1; j <= kNodes; ++j)
            addRow(GLP_FX, 0.0, 0.0, {{j, 1.0}, {above(j), -1.0}, {below(j), 1.0}});
        glp_load_matrix(lp, int(m_ia.size()) - 1, m_ia.data(), m_ja.data(), m_ar.data());
        glp_set_obj_dir(lp, GLP_MIN);
        const int out = glp_term_out(GLP_OFF);  // scaling reports on the terminal otherwise
        glp_scale_prob(lp, GLP_SF_AUTO);
        glp_term_out(out);
    }

    // The smallest largest miss any table keeps; its table in `out`.
    bool leastLargest(double& largest, Table& out)
    {
        objective({{kLargest, 1.0}});
        if (!solved(m_lp.get()))
            return false;
        // The solver's tolerances may leave it a hair below 0.
        largest = std::max(glp_get_col_prim(m_lp.get(), kLargest), 0.0);
        out = nodes();
        return true;
    }

    // Among the tables that keep `largest`, the one with the smallest sum of
    // misses, then the one nearest `target`; false leaves `out` as it was.
    bool nearest(double largest, const Table& target, Table& out)
    {
        keepLargest(largest);
        for (int j = 1; j <= kNodes; ++j)
            glp_set_row_bnds(m_lp.get(), kNodes + 3 * m_n + j, GLP_FX, target[size_t(j)], target[size_t(j)]);
        std::vector<std::pair<int, double>> terms;
        for (int k = 0; k < m_n; ++k)
            terms.emplace_back(miss(k), 1.0);
        for (int j = 1; j <= kNodes; ++j)
            terms.emplace_back(above(j), 1e-4), terms.emplace_back(below(j), 1e-4);
        objective(terms);
        if (!solved(m_lp.get()))
            return false;
        out = nodes();
        return true;
    }

    // Whether every table that keeps `largest` misses point k by that much.
    bool alwaysMissed(int k, double largest)
    {
        keepLargest(largest);
        objective({{miss(k), 1.0}});
        return solved(m_lp.get()) && glp_get_obj_val(m_lp.get()) >= largest - kSame;
    }

    // Two misses this close are the same as far as the solver can tell.
    static constexpr double kSame = 1e-8;

private:
    static constexpr int kLargest = kNodes + 1;
    int miss(int k) const { return kLargest + 1 + k; }
    int above(int j) const { return kLargest + m_n + j; }
    int below(int j) const { return kLargest + m_n + kNodes + j; }

    void addRow(int type, double lb, double ub, std::initializer_list<std::pair<int, double>> terms)
    {
        const int row = glp_add_rows(m_lp.get(), 1);
        glp_set_row_bnds(m_lp.get(), row, type, lb, ub);
        for (const auto& [col, v] : terms) {
            if (col > 0) {
                m_ia.push_back(row);
                m_ja.push_back(col);
                m_ar.push_back(v);
            }
        }
    }

    void objective(const std::vector<std::pair<int, double>>& terms)
    {
        for (int c = 1; c <= glp_get_num_cols(m_lp.get()); ++c)
            glp_set_obj_coef(m_lp.get(), c, 0.0);
        for (const auto& [col, v] : terms)
            glp_set_obj_coef(m_lp.get(), col, v);
    }

    void keepLargest(double largest)
    {
        glp_set_col_bnds(m_lp.get(), kLargest, GLP_DB, 0.0, largest + kSame / 10);
    }

    Table nodes() const
    {
        Table out(kNodes + 1, 0.0);
        for (int j = 1; j <= kNodes; ++j)
            out[size_t(j)] = glp_get_col_prim(m_lp.get(), j);
        return out;
    }

    std::unique_ptr<glp_prob, decltype(&glp_delete_prob)> m_lp;
    int m_n;
    std::vector<int> m_ia{0}, m_ja{0};
    std::vector<double> m_ar{0.0};
};

} // namespace

LeastSquaresCurveFitting::LeastSquaresCurveFitting() = default;

bool LeastSquaresCurveFitting::fitting_real(double* x, double* y, int n)
{
    m_tableX.clear();
    m_tableY.clear();
    m_missed = false;

    // The nodes as the device holds them, and the rises (in steps) that keep
    // each segment's slope within the bounds as tableHolds() judges it. These
    // alone decide whether the device can hold any table.
    QList<double> tableX;
    Table nodeX{0.0};
    Rises r{Steps(kNodes + 1, 0), Steps(kNodes + 1, 0), Steps(kNodes + 1, 0)};
    // Written so that NaN or crossed bounds refuse.
    m_boundsUnmet = !(m_minSlope <= m_maxSlope);
    for (int j = 1; j <= kNodes && !m_boundsUnmet; ++j) {
        tableX << j * kTableStep;
        nodeX.push_back(deviceValue(tableX.last()));
        const double dx = std::round((nodeX[size_t(j)] - nodeX[size_t(j - 1)]) * kStepsPerUnit);
        long& a = r.lo[size_t(j)];
        long& b = r.hi[size_t(j)];
        b = long(std::clamp(std::floor(m_maxSlope * dx) + 1, 0.0, double(kMaxSteps)));
        while (b > 0 && b / dx > m_maxSlope)
            --b;
        a = long(std::clamp(std::ceil(m_minSlope * dx) - 1, 1.0, double(kMaxSteps) + 1));
        while (a <= b && a / dx < m_minSlope)
            ++a;
        m_boundsUnmet = a > b;
    }
    for (int j = kNodes - 1; j >= 0 && !m_boundsUnmet; --j)
        r.rest[size_t(j)] = r.rest[size_t(j + 1)] + r.lo[size_t(j + 1)];
    // Even the least rises carry the table above the range.
    if (m_boundsUnmet || r.rest[0] > kMaxSteps) {
        m_boundsUnmet = true;
        return false;
    }

    if (!x || !y || n < 2 || n > kMaxPoints)
        return false;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]) || x[i] < 0.0)
            return false;
        if (i > 0 && !(x[i] > x[i - 1]))
            return false;
    }

    std::vector<Place> places;
    std::vector<double> knotX{0.0}, knotY{0.0};  // the table starts at the origin
    for (int i = 0; i < n; ++i) {
        places.push_back(placeOf(nodeX, x[i]));
        if (x[i] > 0.0) {
            knotX.push_back(x[i]);
            knotY.push_back(y[i]);
        }
    }
    // Beyond the last point: the last segment's slope, within the bounds. It
    // holds from the node at or after that point on, where the points no
    // longer bind the table; the segment that holds the point may still rise
    // as the points do, so the range limits the slope only from that node.
    const size_t last = knotX.size() - 1;
    const int lastNode = places.back().j;
    const double endSlope = std::clamp((knotY[last] - knotY[last - 1]) / (knotX[last] - knotX[last - 1]), m_minSlope, m_maxSlope);

    const Curve smooth(knotX, knotY, endSlope, true);
    const Curve lines(knotX, knotY, endSlope, false);
    Table smoothNodes(kNodes + 1), lineNodes(kNodes + 1);
    for (size_t i = 0; i <= kNodes; ++i) {
        smoothNodes[i] = i ? smooth.at(nodeX[i]) : 0.0;
        lineNodes[i] = i ? lines.at(nodeX[i]) : 0.0;
    }

    // The table on the steps, checked as the page checks it, and its misses
    // at the points as the device reads it.
    QList<double> tableY;
    std::vector<double> misses(size_t(n), 0.0);
    double largest = 0.0;
    const auto settle = [&](const Table& c) {
        const Steps k = onSteps(c, lastNode, endSlope, nodeX, r);
        tableY.clear();
        for (size_t j = 1; j <= kNodes; ++j)
            tableY << valueOfSteps(k[j]);
        if (!tableHolds(tableX, tableY))
            return false;
        Table held{0.0};
        for (double v : tableY)
            held.push_back(deviceValue(v));
        for (size_t i = 0; i < misses.size(); ++i)
            misses[i] = std::abs(reading(held, places[i]) - y[i]);
        largest = *std::max_element(misses.begin(), misses.end());
        return true;
    };

    if (!settle(closestThrough(smoothNodes, places, y)) || largest > kThrough) {
        MissProgram program(places, y, r.lo, r.hi);
        Table best;
        double least = 0.0;
        if (!program.leastLargest(least, best))
            return false;
        program.nearest(least, lineNodes, best);
        if (!settle(best))
            return false;
        if (largest > kMaxMiss) {
            // A point that every best table misses by the least largest miss:
            // among several, the one that bends most away from its neighbours
            // is the reading to look at.
            std::vector<std::pair<double, int>> byBend;
            for (int i = 0; i < n; ++i) {
                const double px = i ? x[i - 1] : 0.0, py = i ? y[i - 1] : 0.0;
                const double b = i + 1 < n ? std::abs(y[i] - py - (y[i + 1] - py) * (x[i] - px) / (x[i + 1] - px)) : 0.0;
                byBend.emplace_back(-b, i);
            }
            std::sort(byBend.begin(), byBend.end());
            int named = -1;
            for (const auto& [bend, i] : byBend) {
                if (program.alwaysMissed(i, least)) {
                    named = i;
                    break;
                }
            }
            // Some point always is; should the solver not show which, the one
            // this table misses most.
            if (named < 0)
                named = int(std::max_element(misses.begin(), misses.end()) - misses.begin());
            m_missed = true;
            m_missX = x[named];
            m_missY = y[named];
            // This table's largest miss: one the device can hold, so never
            // below the best.
            m_miss = std::max(largest, least);
            return false;
        }
    }
    m_tableX = tableX;
    m_tableY = tableY;
    return true;
}

void LeastSquaresCurveFitting::get_xyTable(QList<double>& x, QList<double>& y)
{
    x = m_tableX;
    y = m_tableY;
}

void LeastSquaresCurveFitting::setSlopeBounds(double minSlope, double maxSlope)
{
    m_minSlope = minSlope;
    m_maxSlope = maxSlope;
}

bool LeastSquaresCurveFitting::missedPoint(double& x, double& y, double& miss) const
{
    if (!m_missed)
        return false;
    x = m_missX;
    y = m_missY;
    miss = m_miss;
    return true;
}

bool LeastSquaresCurveFitting::tableHolds(const QList<double>& x, const QList<double>& y) const
{
    if (x.size() != kTablePoints || y.size() != kTablePoints)
        return false;
    double prevX = 0.0;
    double prevY = 0.0;
    for (int i = 0; i < kTablePoints; ++i) {
        // The registers refuse a text outside their range.
        for (double v : {x[i], y[i]}) {
            if (!std::isfinite(v) || !(written(v) >= 0.0 && written(v) <= kTableMax))
                return false;
        }
        const double hx = deviceValue(x[i]);
        const double hy = deviceValue(y[i]);
        if (!(hx > prevX && hy > prevY && slopeWithin(hy - prevY, hx - prevX)))
            return false;
        prevX = hx;
        prevY = hy;
    }
    return true;
}

double LeastSquaresCurveFitting::deviceValue(double v)
{
    return TervanCore::unpackFixed16_16(TervanCore::packFixed16_16(written(v)));
}

// Written so that NaN bounds refuse rather than pass.
bool LeastSquaresCurveFitting::slopeWithin(double dy, double dx) const
{
    const double slope = dy / dx;
    return slope >= m_minSlope && slope <= m_maxSlope;
}
