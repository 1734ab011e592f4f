#pragma once

#include <QList>

// Turns the user's measured calibration points (fractions of full scale) into
// the device's 32-point calibration table. The device reads its table in
// straight lines from the origin through the nodes and continues the last
// segment beyond the last node; read that way, the table passes through every
// measured point.
class LeastSquaresCurveFitting
{
public:
    static constexpr int kMaxPoints = 16;
    static constexpr int kTablePoints = 32;
    static constexpr double kTableStep = 0.0375;  // X_i = i * step, as the linear default table
    static constexpr double kTableMax = 2.0;      // range of the table registers

    LeastSquaresCurveFitting();

    // x: setpoint fractions (>= 0, strictly increasing), y: measured flow
    // fractions, n points (2 to 16). False when the points are unusable or no
    // table passes through them while rising within the slope bounds (from
    // the origin on) and within the registers' range.
    bool fitting_real(double* x, double* y, int n);

    // Replaces both lists with the 32 table points of the last successful fit;
    // leaves them empty when the last fit failed or none was made.
    void get_xyTable(QList<double>& x, QList<double>& y);

    // Smallest and largest slope allowed between neighbouring table points.
    void setSlopeBounds(double minSlope, double maxSlope);

private:
    bool tableAcceptable(const QList<double>& y, const double* px, const double* py, int n) const;

    double m_minSlope = 0.25;
    double m_maxSlope = 4.0;
    QList<double> m_tableX;
    QList<double> m_tableY;
};
