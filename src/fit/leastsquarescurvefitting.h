#pragma once

#include <QList>

// Turns the user's measured calibration points (fractions of full scale) into
// the device's 32-point calibration table. The device reads its table in
// straight lines from the origin through the nodes and continues the last
// segment beyond the last node. Every guarantee holds for the table as the
// device holds it: written with six significant digits, kept in 1/65536 steps.
class LeastSquaresCurveFitting
{
public:
    static constexpr int kMaxPoints = 16;
    static constexpr int kTablePoints = 32;
    static constexpr double kTableStep = 0.0375;  // X_i = i * step, as the linear default table
    static constexpr double kTableMax = 2.0;      // range of the table registers
    // The most a table may miss a point by, as a fraction of full scale.
    static constexpr double kMaxMiss = 0.001;

    LeastSquaresCurveFitting();

    // x: setpoint fractions (>= 0, strictly increasing), y: measured flow
    // fractions, n points (2 to 16). True when a table that tableHolds()
    // accepts meets every point within kMaxMiss: one through the points where
    // such a table exists, else the one whose largest miss is smallest.
    bool fitting_real(double* x, double* y, int n);

    // Replaces both lists with the 32 table points of the last successful fit;
    // leaves them empty when the last fit failed or none was made.
    void get_xyTable(QList<double>& x, QList<double>& y);

    // Smallest and largest slope allowed between neighbouring table points.
    void setSlopeBounds(double minSlope, double maxSlope);

    // After a fit refused because even the best table misses a point by more
    // than kMaxMiss: a point that every best table misses by that least
    // largest miss, and the largest miss of the nearest table the device can
    // hold, never below it (fractions of full scale). False after any other
    // outcome.
    bool missedPoint(double& x, double& y, double& miss) const;

    // After a fit refused because no table the device can hold (on its steps,
    // within its range) keeps every slope within the bounds: decided from the
    // bounds alone, whatever the points.
    bool boundsUnmet() const { return m_boundsUnmet; }

    // Whether the device, given these 32 X and Y values, holds a table that
    // rises from the origin within the registers' range with every slope,
    // from the origin on, within the bounds.
    bool tableHolds(const QList<double>& x, const QList<double>& y) const;

    // The value the device holds when `v` is written to a table register.
    static double deviceValue(double v);

private:
    bool slopeWithin(double dy, double dx) const;

    double m_minSlope = 0.25;
    double m_maxSlope = 4.0;
    QList<double> m_tableX;
    QList<double> m_tableY;
    bool m_missed = false;
    bool m_boundsUnmet = false;
    double m_missX = 0;
    double m_missY = 0;
    double m_miss = 0;
};
