// Prints link figures: how close reading every register comes to the ideal of
// one frame per 20 ms tick, the tick and reply spacing seen on the way, and
// the cost of encoding and decoding one frame.
#include "replyparser.h"
#include "simdevice.h"
#include "tervancore.h"
#include "tervanhalv3.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void quiet(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

struct Round
{
    double ms = 0;
    int frames = 0;
    double meanGapMs = 0;
    double maxGapMs = 0;
    int timeouts = 0;
};

Round readAllRound(TervanHALV3& hal)
{
    QStringList names;
    const QStringList skip = hal.core()->noReadAllList();
    for (const QString& n : hal.core()->cmdList()) {
        if (n != "Undefined" && !skip.contains(n))
            names << n;
    }
    const QString last = names.last();

    Round r;
    r.frames = names.size();
    QEventLoop loop;
    QElapsedTimer clock;
    std::vector<qint64> ackAt;
    int seen = 0;
    auto c1 = QObject::connect(&hal, &TervanHALV3::ack, &loop, [&](TervanCore::mfc_reg_t reg) {
        ackAt.push_back(clock.nsecsElapsed());
        if (reg.cmd == last && ++seen == 1)
            loop.quit();
    });
    auto c2 = QObject::connect(&hal, &TervanHALV3::timeout, &loop, [&](QStringList) {
        ++r.timeouts;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);

    QString err;
    clock.start();
    if (!hal.readAll(err)) {
        std::fprintf(stderr, "readAll refused: %s\n", qPrintable(err));
        return r;
    }
    loop.exec();
    r.ms = clock.nsecsElapsed() / 1e6;
    QObject::disconnect(c1);
    QObject::disconnect(c2);

    double sum = 0;
    for (size_t i = 1; i < ackAt.size(); ++i) {
        const double gap = (ackAt[i] - ackAt[i - 1]) / 1e6;
        sum += gap;
        r.maxGapMs = std::max(r.maxGapMs, gap);
    }
    if (ackAt.size() > 1)
        r.meanGapMs = sum / double(ackAt.size() - 1);
    return r;
}

template <typename F>
double nsPer(int n, F&& f)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i)
        f(i);
    return double(t.nsecsElapsed()) / n;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quiet);
    qRegisterMetaType<TervanCore::mfc_reg_t>();

    SimDevice dev;
    TervanHALV3 hal;
    if (!hal.open(dev.slavePath(), 38400)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(dev.slavePath()));
        return 1;
    }
    // Let the polling start so the link is in its steady state.
    {
        QEventLoop settle;
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
    }

    std::printf("readAll against the simulated device (tick %d ms, coarse)\n", TervanHALV3::TICK_MS);
    std::vector<double> ratios;
    for (int round = 1; round <= 3; ++round) {
        const Round r = readAllRound(hal);
        const double ideal = r.frames * double(TervanHALV3::TICK_MS);
        const double ratio = r.ms / ideal;
        ratios.push_back(ratio);
        std::printf("  round %d: %d registers in %.1f ms, ideal %.0f ms, ratio %.3f; reply spacing mean %.2f ms, max %.2f ms%s\n",
                    round, r.frames, r.ms, ideal, ratio, r.meanGapMs, r.maxGapMs, r.timeouts ? ", TIMEOUT" : "");
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("  median ratio %.3f (target <= 1.10)\n", ratios[ratios.size() / 2]);

    // Codec cost per frame.
    TervanCore core;
    core.setAddress(0x20);
    const int n = 200000;
    QByteArray frame;
    QString err;
    const double encRead = nsPer(n, [&](int) {
        frame.clear();
        core.encodeRead(QStringLiteral("ReadFlow"), frame, err);
    });
    const double encWrite = nsPer(n, [&](int) {
        frame.clear();
        core.encodeWrite(QStringLiteral("DigitalSetpoint"), QStringLiteral("50"), frame, err);
    });
    const QByteArray reply = QByteArray::fromHex("060002800568 01b9 007000 19");
    QString name;
    TervanCore::mfc_value_t value;
    int kind = 0;
    const double dec = nsPer(n, [&](int) { core.decode(reply, name, value, kind); });
    const double rx = nsPer(n, [&](int) {
        int state = TervanHALV3::RX_ACK;
        quint8 remain = 0;
        QByteArray buf;
        ReplyParser::feed(reply, state, remain, buf);
        TervanCore::mfc_reg_t reg;
        core.decode(buf, reg.cmd, reg.value, reg.type);
        reg.output = ReplyParser::outputText(reg);
    });
    std::printf("codec per frame (%d runs)\n", n);
    std::printf("  encodeRead ReadFlow           %8.0f ns\n", encRead);
    std::printf("  encodeWrite DigitalSetpoint   %8.0f ns\n", encWrite);
    std::printf("  decode ReadFlow reply         %8.0f ns\n", dec);
    std::printf("  receive: frame+decode+output  %8.0f ns\n", rx);
    return 0;
}
