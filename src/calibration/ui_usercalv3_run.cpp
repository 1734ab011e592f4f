// UI_UserCalV3: the point checks, the single-point merge, the fit and the
// request to write the fitted table.
#include "ui_usercalv3.h"

#include "languagedictionary.h"
#include "leastsquarescurvefitting.h"

#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>

#include <cmath>

namespace {

// A miss in percent, rounded up to three significant digits: never shown
// smaller than it is, so a refused miss never reads as the 0.1 % allowed.
// The allowance covers only the product's own rounding (0.722 * 1000).
double roundedUp(double percent)
{
    const double scale = std::pow(10.0, 2 - std::floor(std::log10(percent)));
    return std::ceil(percent * scale * (1 - 1e-15)) / scale;
}

} // namespace

bool UI_UserCalV3::calibration_2points_check(QPointF pre, QPointF next, QString& err)
{
    const char* english = nullptr;
    const char* chinese = nullptr;
    if (!(next.x() > pre.x() && next.y() > pre.y())) {
        english = "Doesn't match the principle of monotonous increment：(X=%1, Y=%2), (X=%3, Y=%4)";
        chinese = "不符合单调递增原则：(X=%1, Y=%2), (X=%3, Y=%4)";
    } else {
        const double slope = (next.y() - pre.y()) / (next.x() - pre.x());
        if (slope < m_yxRateMin) {
            english = "Slope too small：(X=%1, Y=%2), (X=%3, Y=%4)";
            chinese = "Y/X斜率过小：(X=%1, Y=%2), (X=%3, Y=%4)";
        } else if (slope > m_yxRateMax) {
            english = "Slope too big：(X=%1, Y=%2), (X=%3, Y=%4)";
            chinese = "Y/X斜率过大：(X=%1, Y=%2), (X=%3, Y=%4)";
        } else {
            return true;
        }
    }
    const bool cn = m_lang->language() == QLatin1String("cn");
    err = QString::fromUtf8(cn ? chinese : english).arg(pre.x()).arg(pre.y()).arg(next.x()).arg(next.y());
    return false;
}

bool UI_UserCalV3::calibration_points_check(QList<QPointF> points, QString& err)
{
    for (int i = 1; i < points.size(); ++i) {
        if (!calibration_2points_check(points.at(i - 1), points.at(i), err))
            return false;
    }
    return true;
}

double UI_UserCalV3::get_singleXPercent()
{
    double percent = 0;
    for (int k = 0; k < m_percentRadios.size(); ++k) {
        if (m_percentRadios.at(k)->isChecked())
            percent += 10 * (k + 1);
    }
    return percent;
}

void UI_UserCalV3::onClicked_calibrate(bool v)
{
    Q_UNUSED(v);
    if (m_op != OP_NONE)
        return;
    if (!fullScaleKnown()) {
        showMessage(m_lang->translate(QStringLiteral("Full scale of the device is unknown (%1 sccm); calibration refused."))
                        .arg(m_tarGasRange));
        return;
    }
    QList<QPointF> points;
    QString err;
    if (!tablePoints(points, err)) {
        showMessage(err);
        return;
    }
    if (!calibration_points_check(points, err)
        || (m_singlePointRadio->isChecked() && !mergeSinglePoint(points, err))) {
        showMessage(err);
        return;
    }
    const int n = points.size();
    if (n < 2 || n > MAX_POINTS) {
        showMessage(m_lang->translate(QStringLiteral("Calibration needs 2 to 16 points, got %1.")).arg(n));
        return;
    }
    double x[MAX_POINTS];
    double y[MAX_POINTS];
    for (int i = 0; i < n; ++i) {
        x[i] = points.at(i).x();
        y[i] = points.at(i).y();
    }
    // The measured points become the device's file only for a table that
    // will be sent.
    if (!fitPoints(x, y, n, err) || !savePoints(x, y, n, err)) {
        showMessage(err);
        return;
    }
    sendFittedTable();
}

// False, naming the row as the table shows it, when a cell does not hold a number.
bool UI_UserCalV3::tablePoints(QList<QPointF>& points, QString& err) const
{
    for (int r = 0; r < m_pointsModel->rowCount(); ++r) {
        double v[2];
        for (int c = 0; c < 2; ++c) {
            bool ok = false;
            const QString text = m_pointsModel->item(r, c)->text();
            v[c] = text.toDouble(&ok);
            if (!ok || !std::isfinite(v[c])) {
                err = m_lang->translate(QStringLiteral("Row %1 of the points table is not a number: %2")).arg(r + 1).arg(text);
                return false;
            }
        }
        points << QPointF(v[0] / 100, v[1] * 100 / m_tarGasRange / 100);
    }
    return true;
}

// The reference reading at the chosen percentage replaces the point at that
// setpoint, or joins the list in order (then only in the list that is fitted
// and saved, not in the table).
bool UI_UserCalV3::mergeSinglePoint(QList<QPointF>& points, QString& err)
{
    const double x0 = get_singleXPercent() / 100;
    const double y0 = m_sccmSpin->value() * 100 / m_tarGasRange / 100;
    int row = -1;
    int at = points.size();
    for (int i = 0; i < points.size(); ++i) {
        if (std::abs(points.at(i).x() - x0) < 0.01) {
            row = i;
            break;
        }
        if (points.at(i).x() > x0) {
            at = i;
            break;
        }
    }
    if (row >= 0)
        points[row].setY(y0);
    else
        points.insert(at, QPointF(x0, y0));
    if (!calibration_points_check(points, err))
        return false;
    if (row >= 0)
        m_pointsModel->item(row, 1)->setText(QString::number(m_sccmSpin->value(), 'g', 6));
    return true;
}

bool UI_UserCalV3::fitPoints(double* x, double* y, int n, QString& err)
{
    // The checks before let through only a setpoint below 0 %, which can come
    // from a hand-edited points file.
    for (int i = 0; i < n; ++i) {
        if (x[i] < 0.0) {
            err = m_lang->translate(QStringLiteral("Calibration fail: the point (%1 %, %2 %) has a setpoint below 0 %; "
                                                   "correct it in the points file %3."))
                      .arg(x[i] * 100)
                      .arg(y[i] * 100)
                      .arg(pointsFilePath(m_pointsName));
            return false;
        }
    }
    // Should the fit itself fail, neither other settings nor a restart would
    // help, so the message asks for neither.
    const QString failed = m_lang->translate(QStringLiteral("Calibration fail: the fit could not work out a table for these points."));
    if (!m_fit->fitting_real(x, y, n)) {
        double px = 0;
        double py = 0;
        double miss = 0;
        err = failed;
        if (m_fit->missedPoint(px, py, miss)) {
            err = m_lang->translate(QStringLiteral("Calibration fail: with slopes %1 to %2, no table meets the point "
                                                   "(%3 %, %4 %); the nearest misses it by %5 % of full scale."))
                      .arg(m_yxRateMin)
                      .arg(m_yxRateMax)
                      .arg(px * 100)
                      .arg(py * 100)
                      .arg(roundedUp(miss * 100));
        } else if (m_fit->boundsUnmet()) {
            err = m_lang->translate(QStringLiteral("Calibration fail: the device can hold no table with slopes %1 to %2; "
                                                   "change yx_rate_min and yx_rate_max in tervancal.ini."))
                      .arg(m_yxRateMin)
                      .arg(m_yxRateMax);
        }
        return false;
    }
    m_fit->get_xyTable(m_fitX, m_fitY);
    // The fit's own check of what the device will hold: nothing outside the
    // registers' range or the slope bounds reaches it.
    if (!m_fit->tableHolds(m_fitX, m_fitY)) {
        err = failed;
        return false;
    }
    return true;
}

void UI_UserCalV3::sendFittedTable()
{
    // One calibration per run of the program.
    m_startButton->setEnabled(false);
    m_singleGroup->setEnabled(false);
    m_expected.clear();
    for (int i = 1; i <= CAL_REGS_NUMBER; ++i) {
        setCalCell(i, 0, m_fitX.at(i - 1));
        setCalCell(i, 1, m_fitY.at(i - 1));
        m_expected.insert(QStringLiteral("CalTabValueX%1").arg(i), m_fitX.at(i - 1));
        m_expected.insert(QStringLiteral("CalTabValueY%1").arg(i), m_fitY.at(i - 1));
    }
    startOperation(OP_CALIBRATE);
    emit writeXYTable_req(m_fitX, m_fitY);
}
