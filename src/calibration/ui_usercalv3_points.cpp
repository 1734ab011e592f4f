// UI_UserCalV3: the points table, the default point sets and the per-device
// points file.
#include "ui_usercalv3.h"

#include "languagedictionary.h"
#include "safefilename.h"
#include "xlsxpackagewriter.h"

#include <QDebug>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardItemModel>

#include <cmath>

QString pointsFilePath(const QString& name)
{
    return QStringLiteral("%1/%2.ini").arg(QStringLiteral("data"), safeFileBase(name));
}

void UI_UserCalV3::loadPoints()
{
    if (m_pointsName.isEmpty())
        return;
    const QString path = pointsFilePath(m_pointsName);
    if (!QFileInfo(path).isFile()) {
        createDefaultPoints();
        return;
    }
    QSettings file(path, QSettings::IniFormat);
    bool ok = false;
    int count = file.value(QStringLiteral("count"), QStringLiteral("-1")).toString().toInt(&ok);
    if (!ok)
        count = 0;
    if (count == 0 || count == -1) {
        createDefaultPoints();
        return;
    }
    QList<QPointF> points;
    if (!readPointsFile(file, count, points)) {
        // Shown, not written: the file may hold measurements worth repairing
        // by hand; it is replaced only when the user saves new points.
        showPoints(defaultPoints(), 6);
        return;
    }
    showPoints(points, 10);
}

// False for a file the fit could not take: more points than its arrays hold,
// or an X or Y value that is missing or not a number.
bool UI_UserCalV3::readPointsFile(const QSettings& file, int count, QList<QPointF>& points)
{
    const QString path = file.fileName();
    if (count > MAX_POINTS) {
        qDebug().noquote() << QStringLiteral("Points file %1 holds %2 points, at most %3 are used; default points shown.")
                                  .arg(path)
                                  .arg(count)
                                  .arg(MAX_POINTS);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        double v[2];
        for (int k = 0; k < 2; ++k) {
            const QString key = QStringLiteral("%1%2").arg(k == 0 ? QLatin1Char('X') : QLatin1Char('Y')).arg(i);
            bool ok = false;
            v[k] = file.value(key).toString().toDouble(&ok);
            if (!ok || !std::isfinite(v[k])) {
                qDebug().noquote() << QStringLiteral("Points file %1: %2 is missing or not a number; default points shown.")
                                          .arg(path, key);
                return false;
            }
        }
        points << QPointF(v[0], v[1]);
    }
    return true;
}

void UI_UserCalV3::createDefaultPoints()
{
    if (m_pointsName.isEmpty())
        return;
    const QList<QPointF> points = defaultPoints();
    showPoints(points, 6);
    QString err;
    if (!writePointsFile(points, 6, err))
        showMessage(err);
}

QList<QPointF> UI_UserCalV3::defaultPoints() const
{
    const QList<double> xs = m_tarGasRange < 10000 ? QList<double>{0, 0.035, 0.35, 0.6, 0.8, 1.0}
                                                   : QList<double>{0, 0.07, 0.15, 0.25, 0.5, 0.75, 1.0};
    QList<QPointF> points;
    for (double x : xs)
        points << QPointF(x, x);
    return points;
}

void UI_UserCalV3::showPoints(const QList<QPointF>& points, int yDigits)
{
    m_pointsModel->removeRows(0, m_pointsModel->rowCount());
    for (int i = 0; i < points.size(); ++i) {
        auto* x = new QStandardItem(QString::number(points.at(i).x() * 100, 'g', 6));
        x->setEditable(false);
        auto* y = new QStandardItem(QString::number(points.at(i).y() * 100 * m_tarGasRange / 100, 'g', yDigits));
        // Row 0 is the origin: nothing to measure there.
        y->setEditable(i != 0);
        m_pointsModel->appendRow({x, y});
    }
}

bool UI_UserCalV3::savePoints(const double* x, const double* y, int count, QString& err)
{
    if (m_pointsName.isEmpty()) {
        err = m_lang->translate(QStringLiteral("No serial number: the points have no file."));
        return false;
    }
    QList<QPointF> points;
    for (int i = 0; i < count; ++i)
        points << QPointF(x[i], y[i]);
    return writePointsFile(points, 10, err);
}

// The whole file is written to a temporary beside it and renamed over it, so
// no key of a longer list survives and a crash leaves the old file whole.
bool UI_UserCalV3::writePointsFile(const QList<QPointF>& points, int yDigits, QString& err)
{
    const QString path = pointsFilePath(m_pointsName);
    QString text = QStringLiteral("[General]\ncount=%1\n").arg(points.size());
    for (int i = 0; i < points.size(); ++i) {
        text += QStringLiteral("X%1=%2\n").arg(i).arg(QString::number(points.at(i).x(), 'g', 6));
        text += QStringLiteral("Y%1=%2\n").arg(i).arg(QString::number(points.at(i).y(), 'g', yDigits));
    }
    const QByteArray bytes = text.toUtf8();
    QSaveFile file(path);
    // Unbuffered: Qt 5.15's QSaveFile loses a write error that happens while
    // flushing its buffer in commit() and renames an empty file over the points.
    // Without commit() the temporary goes and the previous file stays.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size()
        || !file.commit()) {
        // A write cut short part-way sets no error: writeError finds the system's reason.
        err = m_lang->translate(QStringLiteral("Cannot save the calibration points to %1: %2"))
                  .arg(path, xlsx::writeError(file));
        return false;
    }
    return true;
}
