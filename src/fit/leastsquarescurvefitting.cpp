#include "leastsquarescurvefitting.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <vector>

// The model: y = c1 x + c2 x^2 + c3 x^3, a polynomial through the origin
// (no flow reads as no flow) of degree 1 to 3. A flow sensor's curve is smooth
// and only slightly bent, the user measures six or seven points with a
// reference meter's noise, and the table runs on to 120 % of full scale, where
// a high degree swings wildly. So a degree is kept only when it lowers the
// misfit by more than it costs: candidates are ranked by the small-sample
// corrected Akaike criterion (AICc), and the best one whose table passes the
// device's rules is taken; worse ones serve as fallbacks.
//
// Why a fallback always exists for sane input: the straight line has slope
// k = sum(x*y) / sum(x^2) = sum(x^2 * (y/x)) / sum(x^2), a weighted mean of the
// points' own slopes from the origin. When the origin is among the points and
// every consecutive slope lies within the bounds, each point's slope from the
// origin is a mediant of consecutive slopes and lies within them too, and so
// does k; every slope of the line's table equals k. Only the registers' range
// (1.2 k <= 2) can still refuse it, and then no acceptable table is claimed.

namespace {

constexpr int kMaxDegree = 3;
// Misfits below this rms (fraction of full scale) are beneath what the table,
// written with six significant digits, can show; flooring the mean square here
// keeps exact data from rewarding needless terms with log(0).
constexpr double kResolution = 1e-7;

struct Candidate
{
    Eigen::VectorXd coefficients;  // c1, c2, ...
    double score;                  // AICc; lower is better
};

double evaluate(const Eigen::VectorXd& c, double x)
{
    double v = 0.0;
    for (Eigen::Index k = c.size() - 1; k >= 0; --k)
        v = (v + c[k]) * x;
    return v;
}

// The line's slope is a mean of slopes within the bounds, yet round-off can
// leave it, or its table's differences, a few ulps outside (points on y = 0.25 x
// with the default bounds). Pull it inside by at most 1e-9 relative, far below
// the six digits the registers get; a slope really outside is left alone.
double nudgeInside(double k, double minSlope, double maxSlope)
{
    const double lo = minSlope * (1.0 + 1e-12);
    const double hi = maxSlope * (1.0 - 1e-12);
    if (!(lo <= hi))
        return k;
    const double inside = std::min(std::max(k, lo), hi);
    return std::abs(inside - k) <= 1e-9 * std::abs(k) ? inside : k;
}

double tableX(int i)  // i = 1 .. 32
{
    return i * LeastSquaresCurveFitting::kTableStep;
}

} // namespace

LeastSquaresCurveFitting::LeastSquaresCurveFitting() = default;

bool LeastSquaresCurveFitting::fitting_real(double* x, double* y, int n)
{
    m_tableX.clear();
    m_tableY.clear();
    if (!x || !y || n < 2 || n > kMaxPoints)
        return false;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]) || x[i] < 0.0)
            return false;
        if (i > 0 && !(x[i] > x[i - 1]))
            return false;
    }

    // A point at x = 0 adds nothing to a curve through the origin; strictly
    // increasing x leaves at most one such point, at the front.
    const int first = x[0] > 0.0 ? 0 : 1;
    const int m = n - first;
    const Eigen::Map<const Eigen::VectorXd> xs(x + first, m);
    const Eigen::Map<const Eigen::VectorXd> ys(y + first, m);
    // Keep at least two degrees of freedom beyond the coefficients, so the
    // fit averages the points instead of passing through them.
    const int maxDegree = std::clamp(m - 2, 1, kMaxDegree);

    std::vector<Candidate> candidates;
    for (int d = 1; d <= maxDegree; ++d) {
        Eigen::MatrixXd a(m, d);
        a.col(0) = xs;
        for (int k = 1; k < d; ++k)
            a.col(k) = a.col(k - 1).cwiseProduct(xs);
        const auto qr = a.colPivHouseholderQr();
        if (qr.rank() < d)
            continue;
        Eigen::VectorXd c = qr.solve(ys);
        if (!c.allFinite())
            continue;
        if (d == 1)
            c[0] = nudgeInside(c[0], m_minSlope, m_maxSlope);
        const double meanSquare = std::max((a * c - ys).squaredNorm() / m, kResolution * kResolution);
        const int dof = m - d - 1;
        const double correction = dof > 0 ? 2.0 * d * (d + 1) / dof : 0.0;
        candidates.push_back({c, m * std::log(meanSquare) + 2.0 * d + correction});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& l, const Candidate& r) { return l.score < r.score; });

    for (const Candidate& candidate : candidates) {
        QList<double> table;
        table.reserve(kTablePoints);
        for (int i = 1; i <= kTablePoints; ++i)
            table.append(evaluate(candidate.coefficients, tableX(i)));
        if (!tableAcceptable(table))
            continue;
        for (int i = 1; i <= kTablePoints; ++i)
            m_tableX.append(tableX(i));
        m_tableY = table;
        return true;
    }
    return false;
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

// The same slope test the calibration page applies to the table, plus the
// stretch from the origin to the first point, strict increase, and the range.
bool LeastSquaresCurveFitting::tableAcceptable(const QList<double>& y) const
{
    double prevX = 0.0;
    double prevY = 0.0;
    for (int i = 0; i < y.size(); ++i) {
        const double xi = tableX(i + 1);
        if (!std::isfinite(y[i]) || y[i] <= prevY || y[i] > kTableMax)
            return false;
        const double slope = (y[i] - prevY) / (xi - prevX);
        // Written so that NaN bounds refuse rather than pass.
        if (!(slope >= m_minSlope && slope <= m_maxSlope))
            return false;
        prevX = xi;
        prevY = y[i];
    }
    return true;
}
