#include "dpiscaler.h"

#include <QGuiApplication>
#include <QScreen>

double DpiScaler::factorFor(qreal logicalDpi)
{
    return (logicalDpi / 96.0) < 1.1 ? 1.0 : 1.25;
}

double DpiScaler::currentFactor()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return 0.0;
    return factorFor(screens.first()->logicalDotsPerInch());
}

int DpiScaler::scale(int px) const
{
    return static_cast<int>(px * currentFactor());
}
