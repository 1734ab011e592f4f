// Flow record pattern: three text cells per row, a save after every row, up
// to 1,000,000 rows in a Stream document. Prints the cost of a save (time and
// bytes written) and the resident memory as the sheet grows, and the cost of
// rewriting the whole workbook for comparison.
//
//   bench_xlsx [folder]   (default: a temporary folder)

#include "xlsxdocument.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QDateTime kStart = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 42));

void writeRow(xlsx::Document& doc, int row)
{
    const QDateTime t = kStart.addMSecs(qint64(row) * 100);
    doc.write(row, 1, t.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss:zzz")));
    doc.write(row, 2, QStringLiteral("50"));
    doc.write(row, 3, QString::number(37.5 + (row % 7) * 0.125, 'g', 6));
}

void writeHeader(xlsx::Document& doc)
{
    doc.write(1, 1, QStringLiteral("日期时间"));
    doc.write(1, 2, QStringLiteral("设定流量"));
    doc.write(1, 3, QStringLiteral("瞬时流量"));
}

long rssKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

struct Window {
    double sumMs = 0;
    double maxMs = 0;
    qint64 bytes = 0;
    qint64 maxBytes = 0;
    int saves = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    const QString path = folder + QStringLiteral("/bench_record.xlsx");
    QFile::remove(path);

    const std::vector<int> marks{1000, 10000, 100000, 1000000};
    const int window = 200; // saves averaged before each mark
    std::printf("Append pattern: 3 text cells a row, save after every row (%s)\n",
                qPrintable(path));
    std::printf("%8s %12s %12s %14s %14s %12s %12s\n", "rows", "ms/save", "max ms", "bytes/save",
                "max bytes", "file bytes", "RSS KiB");

    std::vector<double> appendMs;
    std::vector<long> rss;
    {
        xlsx::Document doc(path, xlsx::Document::Stream);
        writeHeader(doc);
        if (!doc.save()) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(doc.errorString()));
            return 1;
        }
        Window w;
        QElapsedTimer timer;
        for (int row = 2; row <= marks.back() + 1; ++row) {
            writeRow(doc, row);
            timer.start();
            const bool ok = doc.save();
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            if (!ok) {
                std::fprintf(stderr, "save failed at row %d: %s\n", row, qPrintable(doc.errorString()));
                return 1;
            }
            const int dataRows = row - 1;
            auto mark = std::find(marks.begin(), marks.end(), dataRows);
            if (std::any_of(marks.begin(), marks.end(),
                            [&](int m) { return dataRows > m - window && dataRows <= m; })) {
                w.sumMs += ms;
                w.maxMs = std::max(w.maxMs, ms);
                w.bytes += doc.lastSaveBytes();
                w.maxBytes = std::max(w.maxBytes, doc.lastSaveBytes());
                ++w.saves;
            }
            if (mark != marks.end()) {
                rss.push_back(rssKiB());
                std::printf("%8d %12.4f %12.4f %14.1f %14lld %12lld %12ld\n", dataRows, w.sumMs / w.saves,
                            w.maxMs, double(w.bytes) / w.saves, static_cast<long long>(w.maxBytes),
                            static_cast<long long>(QFileInfo(path).size()), rss.back());
                appendMs.push_back(w.sumMs / w.saves);
                w = Window();
            }
        }
    }
    std::printf("memory: resident set %+ld KiB from row %d to row %d: %.3f bytes a row\n",
                rss.back() - rss.front(), marks.front(), marks.back(),
                double(rss.back() - rss.front()) * 1024.0 / (marks.back() - marks.front()));

    std::printf("\nWhole-workbook rewrite of the same rows (3 saves each)\n");
    std::printf("%8s %12s %14s %12s\n", "rows", "ms/save", "bytes/save", "ratio");
    const QString fullPath = folder + QStringLiteral("/bench_full.xlsx");
    // The whole-file comparison stops at 100,000 rows: it holds every row in memory.
    for (size_t i = 0; i < marks.size() && marks[i] <= 100000; ++i) {
        QFile::remove(fullPath);
        xlsx::Document doc(fullPath);
        writeHeader(doc);
        for (int row = 2; row <= marks[i] + 1; ++row)
            writeRow(doc, row);
        double sum = 0;
        qint64 bytes = 0;
        const int saves = 3;
        for (int k = 0; k < saves; ++k) {
            // A change to an earlier row: nothing can be appended.
            doc.write(1, 4, QString::number(k));
            QElapsedTimer timer;
            timer.start();
            if (!doc.save()) {
                std::fprintf(stderr, "save failed: %s\n", qPrintable(doc.errorString()));
                return 1;
            }
            sum += double(timer.nsecsElapsed()) / 1e6;
            bytes += doc.lastSaveBytes();
        }
        const double ms = sum / saves;
        std::printf("%8d %12.3f %14lld %11.0fx\n", marks[i], ms,
                    static_cast<long long>(bytes / saves), ms / appendMs[i]);
    }
    QFile::remove(path);
    QFile::remove(fullPath);
    return 0;
}
