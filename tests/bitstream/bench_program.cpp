// Benchmark of bitstream programming: N sectors programmed and read back
// through the real channel into the simulator on loopback, against the
// protocol's floor; the longest stall of the GUI event loop meanwhile; and
// the peak memory of a job holding a 16 MiB file.
//   bench_program [N]     (or ORVANTA_BENCH_SECTORS=N; default 4)
//   ORVANTA_BENCH_FULL16=1 programs all 4,096 sectors of the 16 MiB file
//   into an in-memory camera (about seven minutes of 100 ms pauses).
// Prints figures only; it fails only when a job does not succeed.
#include "camsimprocess.h"
#include "devicechannel.h"
#include "gvcp.h"
#include "memorycamera.h"
#include "programjob.h"
#include "sendthread.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
long peakKiB()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Content does not matter to the figures: a sparse file of zeros.
QString writeFile(const QString &path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(size) ? path : QString();
}

// Median round trip of a bare READREG, without the channel's 2 ms pause.
double medianRttMs(UdpSocket &socket, const SocketAddress &to)
{
    std::vector<double> times;
    quint8 packet[gvcp::SmallCommandBuffer] = {}, reply[gvcp::ReplyBuffer];
    for (int i = 0; i < 200; ++i) {
        const int length = gvcp::buildReadReg(packet, quint16(1000 + i), 0);
        socket.discardPending();
        QElapsedTimer timer;
        timer.start();
        if (socket.sendTo(packet, length, to) == length && socket.receive(reply, sizeof reply) >= 12)
            times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.empty() ? -1 : times[times.size() / 2];
}
}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    const int sectors = qMax(1, argc > 1 ? atoi(argv[1]) : qEnvironmentVariableIntValue("ORVANTA_BENCH_SECTORS"));
    QTemporaryDir dir;

    // 1. Peak memory with a 16 MiB file, first, before the simulator and
    // widgets add their own. Unless asked for the whole file, a few sectors
    // suffice: the file and its read-back buffer are in place by then.
    {
        MemoryCamera camera;  // its own 16 MiB flash is in the baseline
        const long before = peakKiB();
        const bool full = qEnvironmentVariableIntValue("ORVANTA_BENCH_FULL16") == 1;
        QByteArray bitData;
        std::atomic<int> count{0};
        std::atomic<bool> cancel{false};
        int programmed = 0;
        ProgramCallbacks callbacks;
        callbacks.step = [&](int, bool verify) {
            programmed += verify ? 0 : 1;
            cancel = cancel || (!full && programmed >= 3);
        };
        const BitstreamJobInput input{writeFile(dir.filePath("cam_101_full.bit"), 16777216), true, "2.3"};
        const ProgramResult result = runProgramJob(camera, input, bitData, count, callbacks, &cancel);
        std::printf("memory: 16 MiB file, %d of %d sectors programmed: VmHWM %.1f -> %.1f MiB (+%.1f)\n",
                    programmed, int(count), before / 1024.0, peakKiB() / 1024.0, (peakKiB() - before) / 1024.0);
        if (full && result.outcome != ProgramOutcome::Success)
            return 1;
    }

    // 2. N sectors through the channel into the simulator, on the worker,
    // with the GUI event loop watched.
    CamsimProcess sim;
    QString error;
    UdpSocket socket;
    const quint8 loopback[4] = {127, 0, 0, 1};
    if (!sim.start({"--version", "2.3"}, &error) || !socket.open() || !socket.bindTo(loopback, 0)) {
        std::fprintf(stderr, "bench_program: %s\n", qPrintable(error));
        return 1;
    }
    DeviceChannel channel;
    channel.choose(&socket, loopback);
    channel.deviceAddr.port = sim.port();
    const double rtt = medianRttMs(socket, channel.deviceAddr);

    const BitstreamJobInput input{writeFile(dir.filePath("cam_101_bench.bit"), sectors * 4096 - 100), true, "2.3"};
    QByteArray bitData;
    std::atomic<int> count{0};
    ProgramResult result;
    qint64 jobNs = 0;
    QProgressBar bar;
    bar.show();
    SendThread worker(nullptr, [&] {
        ProgramCallbacks callbacks;
        callbacks.step = [&](int num, bool verify) { emit worker.step(num, verify); };
        callbacks.msg = [&](QString title, QString text) { emit worker.msg(title, text); };
        QElapsedTimer timer;
        timer.start();
        result = runProgramJob(channel, input, bitData, count, callbacks);
        jobNs = timer.nsecsElapsed();
    });
    QObject::connect(&worker, &SendThread::step, &bar, [&](int num, bool) { bar.setValue((num + 1) * 100 / qMax(1, int(count))); });
    QObject::connect(&worker, &SendThread::msg, &app, &QApplication::quit);

    // The event loop's pulse: the longest gap between two 10 ms ticks.
    QElapsedTimer pulse;
    qint64 lastTick = -1, longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = pulse.nsecsElapsed();
        longestGap = lastTick < 0 ? 0 : qMax(longestGap, now - lastTick);
        lastTick = now;
    });
    pulse.start();
    ticker.start(10);
    worker.start();
    worker.requestProgram();
    QTimer::singleShot(600000, &app, &QApplication::quit);  // never wait for ever
    app.exec();
    worker.requestStop();
    worker.wait();

    const double exchange = 2.0 + rtt;
    const double floor = sectors * (100.0 + 9 * exchange) + sectors * 9 * exchange;
    const double measured = jobNs / 1e6;
    std::printf("program: %d sectors written and read back into camsim on loopback, round trip %.3f ms\n"
                "  floor %.1f ms, measured %.1f ms: %.2f %% above (%.2f ms per sector)\n"
                "gui: longest gap between 10 ms ticks during the job %.1f ms\n",
                sectors, rtt, floor, measured, (measured / floor - 1.0) * 100.0, measured / sectors, longestGap / 1e6);
    return result.outcome == ProgramOutcome::Success ? 0 : 1;
}
