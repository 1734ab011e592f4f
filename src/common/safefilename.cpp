#include "safefilename.h"

#include <QFileInfo>

namespace {
bool leavesFolder(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20;
}
} // namespace

QString safeFileBase(const QString& text)
{
    QString base = text;
    for (QChar& c : base) {
        if (leavesFolder(c))
            c = QLatin1Char('_');
    }
    return base;
}

bool isPlainFileName(const QString& name)
{
    bool onlyDots = true;
    for (QChar c : name) {
        if (leavesFolder(c))
            return false;
        onlyDots = onlyDots && c == QLatin1Char('.');
    }
    return !onlyDots;
}

QString numberedFilePath(const QString& path, int n)
{
    const QString name = QFileInfo(path).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const int stemEnd = path.size() - name.size() + (dot > 0 ? dot : name.size());
    return path.left(stemEnd) + QLatin1Char('_') + QString::number(n) + path.mid(stemEnd);
}

bool isPathTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString freeFilePath(const QString& path)
{
    QString free = path;
    for (int n = 2; isPathTaken(free); ++n)
        free = numberedFilePath(path, n);
    return free;
}
