#include "flowrecord.h"

#include "xlsxdocument.h"

#include <QDebug>
#include <QVariant>

namespace {
const QString kCaptions[] = {
    QStringLiteral("日期时间"),
    QStringLiteral("设定流量"),
    QStringLiteral("瞬时流量"),
};
} // namespace

struct FlowRecord::Private
{
    Clock clock;
    xlsx::Document* doc = nullptr;
    QString path;
    bool recording = false;
    int row = 0;             // next row to write
    double interval = 60.0;  // seconds between rows
    qint64 nextMs = 0;       // ms since the epoch at which the next row is due
    bool errorReported = false;
};

FlowRecord::FlowRecord(QObject* parent)
    : QObject(parent)
    , d(new Private)
{
    setClock(nullptr);
}

FlowRecord::~FlowRecord()
{
    // Rows kept after a failed save get one more chance; nobody is left to tell.
    if (d->doc)
        d->doc->save();
    delete d->doc;
    delete d;
}

void FlowRecord::setClock(Clock clock)
{
    d->clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
}

qint64 FlowRecord::dueAfter(const QDateTime& from) const
{
    return from.toMSecsSinceEpoch() + qint64(1000.0 * d->interval);
}

void FlowRecord::start(double saveTime, const QString& path)
{
    if (d->doc)
        stop();

    d->recording = true;
    d->interval = saveTime;
    d->path = path;
    qDebug().noquote().nospace() << "excel path: " << path;
    d->doc = new xlsx::Document(path);
    for (int c = 0; c < 3; ++c)
        d->doc->write(1, c + 1, kCaptions[c]);
    d->row = 2;
    d->nextMs = dueAfter(d->clock());
}

void FlowRecord::stop()
{
    d->recording = false;
    if (!d->doc)
        return;
    saveDocument();
    delete d->doc;
    d->doc = nullptr;
}

void FlowRecord::step(double activeSetpoint, double flow)
{
    if (!d->recording || !d->doc)
        return;
    const QDateTime now = d->clock();
    if (now.toMSecsSinceEpoch() < d->nextMs)
        return;

    const int row = d->row;
    d->doc->write(row, 1, now.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss:zzz")));
    d->doc->write(row, 2, QString::number(activeSetpoint, 'g', 6));
    d->doc->write(row, 3, QString::number(flow, 'g', 6));
    d->row += 1;
    saveDocument();
    d->nextMs = dueAfter(now);
}

bool FlowRecord::isRecording() const { return d->recording; }

void FlowRecord::saveDocument()
{
    if (d->doc->save()) {
        if (d->errorReported) {
            d->errorReported = false;
            emit saveError(false, QString());
        }
        return;
    }
    const QString msg = QStringLiteral("Record not saved: %1: %2").arg(d->path, d->doc->errorString());
    qDebug().noquote() << msg;
    if (!d->errorReported) {
        d->errorReported = true;
        emit saveError(true, msg);
    }
}
