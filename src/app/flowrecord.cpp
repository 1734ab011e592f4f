#include "flowrecord.h"

#include "languagedictionary.h"
#include "safefilename.h"
#include "xlsxdocument.h"

#include <QDebug>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace {
const QString kCaptions[] = {
    QStringLiteral("日期时间"),
    QStringLiteral("设定流量"),
    QStringLiteral("瞬时流量"),
};
constexpr int kColumns = 3;
} // namespace

struct FlowRecord::Private
{
    Clock clock;
    xlsx::Document* doc = nullptr;
    QString startPath;       // the path the record was started on
    QString path;            // the file being written
    int part = 1;            // number of that file within the record
    int rowLimit = xlsx::kMaxRows;
    bool recording = false;
    int row = 0;             // next row to write
    int firstUnsaved = 0;    // first row not yet in the file
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
    // The page stops its record while the program can still tell of a failed
    // save; a record left open here gets one more chance, and a trace.
    if (d->doc) {
        blockSignals(true); // the page that would show them is going
        const QString problem = saveDocument();
        if (!problem.isEmpty())
            qDebug().noquote() << problem;
    }
    delete d->doc;
    delete d;
}

void FlowRecord::setClock(Clock clock)
{
    d->clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
}

void FlowRecord::setRowLimit(int rows)
{
    d->rowLimit = std::clamp(rows, 2, xlsx::kMaxRows);
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
    d->startPath = path;
    d->part = 1;
    qDebug().noquote().nospace() << "excel path: " << path;
    openFile(path);
    d->nextMs = dueAfter(d->clock());
}

void FlowRecord::openFile(const QString& path)
{
    d->path = path;
    d->doc = new xlsx::Document(path, xlsx::Document::Stream);
    for (int c = 0; c < kColumns; ++c)
        d->doc->write(1, c + 1, kCaptions[c]);
    d->row = 2;
    d->firstUnsaved = 2;
}

void FlowRecord::continueInNewFile()
{
    // Rows the old file never got go first into the new one.
    QList<QStringList> carried;
    for (int r = d->firstUnsaved; r < d->row; ++r) {
        QStringList cells;
        for (int c = 1; c <= kColumns; ++c)
            cells << d->doc->read(r, c).toString();
        carried << cells;
    }
    delete d->doc;
    do
        ++d->part;
    while (isPathTaken(numberedFilePath(d->startPath, d->part)));
    openFile(numberedFilePath(d->startPath, d->part));
    qDebug().noquote().nospace() << "excel path: " << d->path;
    for (const QStringList& cells : qAsConst(carried)) {
        for (int c = 0; c < kColumns; ++c)
            d->doc->write(d->row, c + 1, cells.at(c));
        ++d->row;
    }
}

QString FlowRecord::stop()
{
    d->recording = false;
    if (!d->doc)
        return QString();
    const QString problem = saveDocument();
    report(problem);
    delete d->doc;
    d->doc = nullptr;
    return problem;
}

void FlowRecord::step(double activeSetpoint, double flow)
{
    if (!d->recording || !d->doc)
        return;
    const QDateTime now = d->clock();
    if (now.toMSecsSinceEpoch() < d->nextMs)
        return;

    if (d->row > d->rowLimit) {
        // The old file gets one more chance at rows a failed save left behind.
        if (d->firstUnsaved < d->row && d->doc->save())
            d->firstUnsaved = d->row;
        continueInNewFile();
    }
    const int row = d->row++;
    const QString cells[kColumns] = {
        now.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss:zzz")),
        QString::number(activeSetpoint, 'g', 6),
        QString::number(flow, 'g', 6),
    };
    bool written = true;
    for (int c = 0; c < kColumns; ++c)
        written = d->doc->write(row, c + 1, cells[c]) && written;
    QString problem = saveDocument();
    if (!written)
        problem = LanguageDictionary().translate(QStringLiteral("Record row not written: %1: row %2")).arg(d->path).arg(row);
    report(problem);
    d->nextMs = dueAfter(now);
}

bool FlowRecord::isRecording() const { return d->recording; }

// Empty when every row written so far is in a file; otherwise the problem,
// in the user's language, for the status line.
QString FlowRecord::saveDocument()
{
    bool saved = d->doc->save();
    bool startNameTaken = false;
    // Our file was removed or replaced, or a new file's name was taken since
    // it was chosen: leave that file be and go on beside it.
    while (!saved && (d->doc->isFileLost() || d->doc->isNameTaken())) {
        qDebug().noquote() << d->doc->errorString();
        // The user was shown the started name; a later file's name never was.
        startNameTaken = startNameTaken || (d->part == 1 && d->doc->isNameTaken());
        continueInNewFile();
        saved = d->doc->save();
    }
    if (startNameTaken)
        emit nameTaken(LanguageDictionary().translate(QStringLiteral("%1 already exists; the record is written to %2."))
                           .arg(d->startPath, d->path));
    if (saved) {
        d->firstUnsaved = d->row;
        return QString();
    }
    return LanguageDictionary().translate(QStringLiteral("Record not saved: %1: %2")).arg(d->path, d->doc->errorString());
}

void FlowRecord::report(const QString& problem)
{
    if (problem.isEmpty()) {
        if (d->errorReported) {
            d->errorReported = false;
            emit saveError(false, QString());
        }
        return;
    }
    qDebug().noquote() << problem;
    if (!d->errorReported) {
        d->errorReported = true;
        emit saveError(true, problem);
    }
}
