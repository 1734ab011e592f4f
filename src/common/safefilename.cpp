#include "safefilename.h"

QString safeFileBase(const QString& text)
{
    QString base = text;
    for (QChar& c : base) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20)
            c = QLatin1Char('_');
    }
    return base;
}
