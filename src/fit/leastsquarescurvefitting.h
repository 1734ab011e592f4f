#pragma once

#include <QList>

// Fits the user's measured calibration points (fractions of full scale) and
// samples the fit at the device's 32 calibration table positions.
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
    // model yields a table that is monotonic, within the slope bounds and
    // within the registers' range.
    bool fitting_real(double* x, double* y, int n);

    // Replaces both lists with the 32 table points of the last successful fit;
    // leaves them empty when the last fit failed or none was made.
    void get_xyTable(QList<double>& x, QList<double>& y);

    // Smallest and largest slope allowed between neighbouring table points.
    void setSlopeBounds(double minSlope, double maxSlope);

private:
    bool tableAcceptable(const QList<double>& y) const;

    double m_minSlope = 0.25;
    double m_maxSlope = 4.0;
    QList<double> m_tableX;
    QList<double> m_tableY;
};
