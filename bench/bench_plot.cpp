// Plot step of the normal page over a simulated day: one ReadFlow reply every
// 40 ms (four plot points per step), driven by a test clock. At each checkpoint
// it prints the cost of a step with the page hidden (data only) and shown
// (data, replot and repaint), the points per graph and the process's VmRSS.
#include "ui_normalv3.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <qcustomplot.h>

#include <cmath>
#include <cstdio>

namespace {

QDateTime g_now;
constexpr int STEP_MS = 40;

long vmRssKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

TervanCore::mfc_reg_t reply(const char* name, double v)
{
    TervanCore::mfc_reg_t reg;
    reg.cmd = QString::fromLatin1(name);
    reg.type = KIND_DOUBLE;
    reg.value.f64 = v;
    reg.output = QString::number(v, 'g', 6);
    return reg;
}

struct Driver
{
    UI_NormalV3* page;
    qint64 steps = 0;

    void step()
    {
        g_now = g_now.addMSecs(STEP_MS);
        ++steps;
        // The transport reads the active setpoint on every fiftieth tick.
        if (steps % 50 == 0)
            page->mfc_ack(reply("ReadActiveSetpoint", 50));
        page->mfc_ack(reply("ReadFlow", 50 + 5 * std::sin(double(steps) / 500.0)));
    }

    // Mean microseconds per step over n steps.
    double timed(int n, bool paint)
    {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < n; ++i) {
            step();
            if (paint)
                QCoreApplication::processEvents();
        }
        return double(timer.nsecsElapsed()) / 1000.0 / n;
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "bench_plot: no temporary working directory\n");
        return 1;
    }

    // Starts in the morning so that the day crosses midnight.
    g_now = QDateTime(QDate(2024, 3, 5), QTime(9, 0));
    UI_NormalV3::setClock([] { return g_now; });
    auto* page = new UI_NormalV3(false, nullptr);
    page->resize(880, 640);
    auto* plot = page->findChild<QCustomPlot*>(QStringLiteral("smallPlot"));
    Driver driver{ page };

    std::printf("retention %.0f s, one step = one ReadFlow reply every %d ms, 4 points per step\n",
                UI_NormalV3::RETENTION_SECONDS, STEP_MS);
    std::printf("%-10s %12s %16s %18s %12s\n", "simulated", "points/graph", "hidden us/step",
                "shown+paint us/step", "VmRSS KiB");

    const struct
    {
        const char* name;
        qint64 seconds;
    } checkpoints[] = { { "1 min", 60 },       { "1 h", 3600 },       { "4 h", 4 * 3600 },
                        { "8 h", 8 * 3600 },   { "16 h", 16 * 3600 }, { "24 h", 24 * 3600 },
                        { "48 h", 48 * 3600 } };
    for (const auto& cp : checkpoints) {
        const qint64 target = cp.seconds * 1000 / STEP_MS;
        while (driver.steps < target)
            driver.step();
        const int points = plot->graph(0)->dataCount();
        const double hidden = driver.timed(2000, false);
        page->show();
        QCoreApplication::processEvents();
        const double shown = driver.timed(200, true);
        page->hide();
        QCoreApplication::processEvents();
        std::printf("%-10s %12d %16.2f %18.1f %12ld\n", cp.name, points, hidden, shown,
                    vmRssKiB());
        std::fflush(stdout);
    }
    delete page;
    UI_NormalV3::setClock(nullptr);
    return 0;
}
