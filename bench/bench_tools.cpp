// Prints the register tool's figures against the simulated device: read all,
// and write all with the read-back of every written register, each as the
// ratio of its elapsed time to the ideal of one frame per 20 ms tick (plus the
// 2000 ms hold that write all asks for after its commit).
#include "simdevice.h"
#include "tervanhalv3.h"
#include "ui_toolsv3.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void quiet(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type != QtDebugMsg && !msg.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

struct Round
{
    double ms = 0;
    int frames = 0;   // frames on the wire
    int holdMs = 0;   // delays the lists ask for
    bool failed = false;
    QString checked; // "Checked" of "Total" as the page shows them
};

// Runs one operation of the page and waits until the page is enabled again.
Round run(UI_ToolsV3& page, TervanHALV3& hal, void (UI_ToolsV3::*slot)(bool))
{
    Round r;
    QEventLoop loop;
    auto count = QObject::connect(&page, &UI_ToolsV3::commands_req, &loop, [&r](const QList<mfc_frame_t>& frames) {
        for (const mfc_frame_t& f : frames) {
            if (f.op == MFC_DELAY)
                r.holdMs += f.input.toInt();
            else
                r.frames += 1;
        }
    });
    // Connected after the page: runs once the page has handled the reply.
    auto done = QObject::connect(&hal, &TervanHALV3::ack, &loop, [&page, &loop] {
        if (page.isEnabled())
            loop.quit();
    });
    auto fail = QObject::connect(&hal, &TervanHALV3::timeout, &loop, [&r, &loop] {
        r.failed = true;
        loop.quit();
    });
    auto error = QObject::connect(&hal, &TervanHALV3::error, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, [&r, &loop] {
        r.failed = true;
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    (page.*slot)(false);
    if (!page.isEnabled())
        loop.exec();
    r.ms = clock.nsecsElapsed() / 1e6;
    r.failed = r.failed || !page.isEnabled();
    r.checked = page.findChild<QLineEdit*>(QStringLiteral("checkedEdit"))->text() + QStringLiteral(" of ")
        + page.findChild<QLineEdit*>(QStringLiteral("totalEdit"))->text();
    QObject::disconnect(count);
    QObject::disconnect(done);
    QObject::disconnect(fail);
    QObject::disconnect(error);
    return r;
}

void report(const char* what, std::vector<Round> rounds)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < rounds.size(); ++i) {
        const Round& r = rounds[i];
        const double ideal = r.frames * double(TervanHALV3::TICK_MS) + r.holdMs;
        ratios.push_back(r.ms / ideal);
        std::printf("  %s round %zu: %d frames + %d ms hold in %.1f ms, ideal %.0f ms, ratio %.3f; checked %s%s\n", what,
                    i + 1, r.frames, r.holdMs, r.ms, ideal, ratios.back(), qPrintable(r.checked),
                    r.failed ? ", FAILED" : "");
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("  %s median ratio %.3f (target <= 1.10)\n", what, ratios[ratios.size() / 2]);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler(quiet);
    qRegisterMetaType<TervanCore::mfc_reg_t>();

    SimDevice dev;
    TervanHALV3 hal;
    const bool opened = hal.open(dev.slavePath(), 38400);
    if (!opened)
        return 1;
    hal.setAddress(dev.address());

    // Wired as the main window wires it: requests to the link, replies and
    // failures back (the link follows a MACAddress reply by itself).
    UI_ToolsV3 page;
    QObject::connect(&page, &UI_ToolsV3::commands_req, &hal, [&page, &hal](const QList<mfc_frame_t>& frames) {
        QString err;
        if (!hal.request(frames, err))
            page.linkFailed(err);
    });
    QObject::connect(&hal, &TervanHALV3::ack, &page, &UI_ToolsV3::mfc_ack);
    QObject::connect(&hal, &TervanHALV3::timeout, &page, [&page] { page.linkFailed(QStringLiteral("timeout")); });
    QObject::connect(&hal, &TervanHALV3::error, &page, &UI_ToolsV3::linkFailed);

    std::printf("register tool against the simulated device (tick %d ms)\n", TervanHALV3::TICK_MS);
    std::vector<Round> reads;
    std::vector<Round> writes;
    for (int i = 0; i < 3; ++i) {
        reads.push_back(run(page, hal, &UI_ToolsV3::onClicked_realAll));
        // Writes back every writable value that read all filled in, and verifies it.
        writes.push_back(run(page, hal, &UI_ToolsV3::onClicked_writeAll));
    }
    report("read all", reads);
    report("write all + verify", writes);
    return 0;
}
