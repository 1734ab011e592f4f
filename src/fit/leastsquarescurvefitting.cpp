#include "leastsquarescurvefitting.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <vector>

// The reference meter's readings are what the engineer trusts, so the table
// has to pass through them as the device reads it: straight lines from the
// origin through the nodes X_i = i * step, the last segment continued.
//
// 1. A smooth monotone curve through the origin and the points (Fritsch–Carlson
//    cubic, Fritsch–Butland tangents), continued beyond the last point with the
//    last segment's slope held within the bounds and the registers' range.
// 2. Node values as close as possible to that curve, by least squares, under
//    the condition that the straight-line reading passes through every point.
//    Sampling the curve at the nodes alone would cut a bend between two nodes.
// 3. Where that breaks a slope bound or the range (a cubic may overshoot a
//    bound between points whose own slopes keep it), straight lines through
//    the points take its place, placed node by node within the bounds.
// A set that no table can follow within the bounds is refused.

namespace {

using Table = std::vector<double>;  // node values Y_0 (the origin, 0) .. Y_32

constexpr int kNodes = LeastSquaresCurveFitting::kTablePoints;
constexpr double kStep = LeastSquaresCurveFitting::kTableStep;
// How closely a point is met; far below the six digits the registers get.
constexpr double kPointTolerance = 1e-8;
// Node-by-node placement keeps this relative distance from the slope bounds,
// so that rounding never lets a slope cross one.
constexpr double kBoundMargin = 1e-9;

double nodeX(int i)  // i = 0 .. 32
{
    return i * kStep;
}

// Where a point falls in the table: its reading is (1 - t) Y_{j-1} + t Y_j.
// t = 1 at node j; beyond the last node, t > 1 on the continued last segment.
struct Place
{
    int j;
    double t;
};

Place placeOf(double x)
{
    const double q = x / kStep;
    const long k = std::lround(q);
    if (k >= 1 && k <= kNodes && std::abs(q - k) < 1e-9)
        return {int(k), 1.0};
    const int j = std::min(int(std::floor(q)) + 1, kNodes);
    return {j, (x - nodeX(j - 1)) / kStep};
}

double reading(const Table& y, const Place& p)
{
    return (1.0 - p.t) * y[p.j - 1] + p.t * y[p.j];
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

// cu * Y_{j-1} + cw * Y_j <= r
struct Limit
{
    double cu, cw, r;
};

// Node by node: first the values each node can take so that everything left
// of it holds, then, from the last node back, the value nearest `target`
// among those that keep the nodes already placed. False when no table meets
// the points within the bounds and the range.
bool placeWithinBounds(const Table& target, const std::vector<Place>& places, const double* y, double minSlope,
                       double maxSlope, Table& out)
{
    std::vector<std::vector<Limit>> limits(kNodes + 1);
    for (int j = 1; j <= kNodes; ++j) {
        limits[size_t(j)] = {{1, -1, -minSlope * kStep}, {-1, 1, maxSlope * kStep},
                             {0, 1, LeastSquaresCurveFitting::kTableMax}, {0, -1, 0}};
    }
    for (size_t k = 0; k < places.size(); ++k) {
        const Place& p = places[k];
        limits[size_t(p.j)].push_back({1 - p.t, p.t, y[k] + kPointTolerance});
        limits[size_t(p.j)].push_back({p.t - 1, -p.t, -(y[k] - kPointTolerance)});
    }

    std::vector<double> lo(kNodes + 1, 0.0), hi(kNodes + 1, 0.0);
    for (int j = 1; j <= kNodes; ++j) {
        std::vector<Limit> all = limits[size_t(j)];
        all.push_back({1, 0, hi[size_t(j - 1)]});
        all.push_back({-1, 0, -lo[size_t(j - 1)]});
        // The range of Y_j over the polygon of (Y_{j-1}, Y_j): the extremes lie
        // at corners, where two limits meet.
        double wMin = INFINITY;
        double wMax = -INFINITY;
        for (size_t a = 0; a < all.size(); ++a) {
            for (size_t b = a + 1; b < all.size(); ++b) {
                const double det = all[a].cu * all[b].cw - all[a].cw * all[b].cu;
                if (std::abs(det) < 1e-14)
                    continue;
                const double u = (all[a].r * all[b].cw - all[a].cw * all[b].r) / det;
                const double w = (all[a].cu * all[b].r - all[a].r * all[b].cu) / det;
                const bool inside = std::all_of(all.begin(), all.end(),
                                                [u, w](const Limit& l) { return l.cu * u + l.cw * w <= l.r + 1e-12; });
                if (inside) {
                    wMin = std::min(wMin, w);
                    wMax = std::max(wMax, w);
                }
            }
        }
        if (!(wMin <= wMax))
            return false;
        lo[size_t(j)] = wMin;
        hi[size_t(j)] = wMax;
    }

    out.assign(kNodes + 1, 0.0);
    out[kNodes] = std::clamp(target[kNodes], lo[kNodes], hi[kNodes]);
    for (int j = kNodes; j >= 1; --j) {
        const double w = out[size_t(j)];
        double uLo = lo[size_t(j - 1)];
        double uHi = hi[size_t(j - 1)];
        for (const Limit& l : limits[size_t(j)]) {
            if (l.cu > 1e-15)
                uHi = std::min(uHi, (l.r - l.cw * w) / l.cu);
            else if (l.cu < -1e-15)
                uLo = std::max(uLo, (l.r - l.cw * w) / l.cu);
        }
        out[size_t(j - 1)] = uLo <= uHi ? std::clamp(target[size_t(j - 1)], uLo, uHi) : (uLo + uHi) / 2;
    }
    out[0] = 0.0;
    return true;
}

} // namespace

LeastSquaresCurveFitting::LeastSquaresCurveFitting() = default;

bool LeastSquaresCurveFitting::fitting_real(double* x, double* y, int n)
{
    m_tableX.clear();
    m_tableY.clear();
    // Written so that NaN or crossed bounds refuse.
    if (!x || !y || n < 2 || n > kMaxPoints || !(m_minSlope <= m_maxSlope))
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
        places.push_back(placeOf(x[i]));
        if (x[i] > 0.0) {
            knotX.push_back(x[i]);
            knotY.push_back(y[i]);
        }
    }
    // Beyond the last point: the last segment's slope, within the bounds and
    // such that the table ends within the registers' range.
    const size_t last = knotX.size() - 1;
    double endSlope = std::clamp((knotY[last] - knotY[last - 1]) / (knotX[last] - knotX[last - 1]), m_minSlope, m_maxSlope);
    if (knotX[last] < nodeX(kNodes))
        endSlope = std::min(endSlope, (kTableMax - knotY[last]) / (nodeX(kNodes) - knotX[last]));

    const Curve smooth(knotX, knotY, endSlope, true);
    const Curve lines(knotX, knotY, endSlope, false);
    Table smoothNodes(kNodes + 1), lineNodes(kNodes + 1);
    for (int i = 0; i <= kNodes; ++i) {
        smoothNodes[size_t(i)] = i ? smooth.at(nodeX(i)) : 0.0;
        lineNodes[size_t(i)] = i ? lines.at(nodeX(i)) : 0.0;
    }

    Table table = closestThrough(smoothNodes, places, y);
    QList<double> values(table.begin() + 1, table.end());
    if (!tableAcceptable(values, x, y, n)) {
        const double minSlope = m_minSlope > 0.0 ? m_minSlope * (1.0 + kBoundMargin) : kBoundMargin;
        const double maxSlope = m_maxSlope * (1.0 - kBoundMargin);
        if (!placeWithinBounds(closestThrough(lineNodes, places, y), places, y, minSlope, maxSlope, table))
            return false;
        values = QList<double>(table.begin() + 1, table.end());
        if (!tableAcceptable(values, x, y, n))
            return false;
    }
    for (int i = 1; i <= kTablePoints; ++i)
        m_tableX.append(nodeX(i));
    m_tableY = values;
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

// The slope test the calibration page applies to the table, plus the stretch
// from the origin to the first node, strict rise, the range, and the points.
bool LeastSquaresCurveFitting::tableAcceptable(const QList<double>& y, const double* px, const double* py, int n) const
{
    double prevX = 0.0;
    double prevY = 0.0;
    for (int i = 0; i < y.size(); ++i) {
        const double xi = nodeX(i + 1);
        if (!std::isfinite(y[i]) || y[i] <= prevY || y[i] > kTableMax)
            return false;
        const double slope = (y[i] - prevY) / (xi - prevX);
        // Written so that NaN bounds refuse rather than pass.
        if (!(slope >= m_minSlope && slope <= m_maxSlope))
            return false;
        prevX = xi;
        prevY = y[i];
    }
    Table nodes{0.0};
    nodes.insert(nodes.end(), y.begin(), y.end());
    for (int k = 0; k < n; ++k) {
        if (!(std::abs(reading(nodes, placeOf(px[k])) - py[k]) <= 1e-7))
            return false;
    }
    return true;
}
