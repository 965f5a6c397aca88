// Benchmark of bitstream programming: N sectors programmed and read back
// through the real channel into the simulator on loopback, against the
// protocol's floor; the longest stall of the GUI event loop while the worker
// runs the job; and the peak memory of a job holding a 16 MiB file.
//
//   bench_program [N]     (or ORVANTA_BENCH_SECTORS=N; default 4)
//   ORVANTA_BENCH_FULL16=1 also programs all 4,096 sectors of the 16 MiB file
//   into a null camera (about seven minutes of 100 ms pauses).
//
// Prints figures only; it fails only when a job does not succeed.
#include "camsimprocess.h"
#include "devicechannel.h"
#include "gvcp.h"
#include "programjob.h"
#include "sendthread.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

quint8 patternByte(qint64 i)
{
    return quint8((i * 7 + (i >> 12)) % 253);
}

// Acknowledges everything and holds no flash: a load hands back the bytes
// the benchmark's file has at that address, computed, so the job's own
// memory is all that is measured and its read-back still compares equal.
class NullCamera : public DeviceAccess {
public:
    bool readReg(quint32, quint32 &value) override { value = 0; return true; }
    bool readMem(quint32 address, quint32 count, quint8 *buffer, int &size) override
    {
        std::memset(buffer, 0, 12);
        buffer[3] = 0x85;
        const qint64 base = qint64(loaded_) + qint64((address & 0x7FFFFFFF) - 0x0C00) / 0x80 * 512;
        for (quint32 i = 0; i < count; ++i)
            buffer[12 + i] = patternByte(base + i);
        size = int(12 + count);
        return true;
    }
    bool writeMem(quint16, const quint8 *, int, int) override { return true; }
    bool writeMemWord(quint32, quint32 value) override
    {
        loaded_ = value & 0x00FFFFFF;
        return true;
    }

private:
    quint32 loaded_ = 0;
};

long vmKiB(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

QByteArray pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(patternByte(i));
    return data;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &data)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return QString();
    return path;
}

// Median round trip of a bare READREG to the simulator, without the fixed
// 2 ms pause the channel adds to every exchange.
double medianRttMs(UdpSocket &socket, const SocketAddress &to, int samples)
{
    std::vector<double> times;
    quint8 packet[gvcp::SmallCommandBuffer];
    quint8 reply[gvcp::ReplyBuffer];
    for (int i = 0; i < samples; ++i) {
        std::memset(packet, 0, sizeof packet);
        const int length = gvcp::buildReadReg(packet, quint16(1000 + i), 0);
        socket.discardPending();
        QElapsedTimer timer;
        timer.start();
        if (socket.sendTo(packet, length, to) != length)
            continue;
        if (socket.receive(reply, sizeof reply) < 12)
            continue;
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    if (times.empty())
        return -1;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen"
                                                                   : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });

    int sectors = qEnvironmentVariableIntValue("ORVANTA_BENCH_SECTORS");
    if (argc > 1)
        sectors = QString::fromLocal8Bit(argv[1]).toInt();
    if (sectors <= 0)
        sectors = 4;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    // 1. Peak memory of a job holding a 16 MiB file. Taken first, before the
    // simulator and the widgets add their own.
    {
        const long before = vmKiB("VmHWM:");
        const QString path = dir.filePath("cam_101_full.bit");
        {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                return 1;
            QByteArray chunk(64 * 1024, '\0');
            for (qint64 at = 0; at < 16 * 1024 * 1024; at += chunk.size()) {
                for (int i = 0; i < chunk.size(); ++i)
                    chunk[i] = char(patternByte(at + i));
                if (file.write(chunk) != chunk.size())
                    return 1;
            }
        }
        const bool full = qEnvironmentVariableIntValue("ORVANTA_BENCH_FULL16") == 1;
        NullCamera camera;
        BitstreamJobInput input{path, true, QStringLiteral("2.3")};
        QByteArray bitData;
        std::atomic<int> count{0};
        std::atomic<bool> cancel{false};
        int programmed = 0, verified = 0;
        ProgramCallbacks callbacks;
        // Unless asked for the whole file, stop after a few sectors: the file
        // and its read-back buffer are both in place by then.
        callbacks.step = [&](int, bool verify) {
            ++(verify ? verified : programmed);
            if (programmed >= 3 && !full)
                cancel = true;
        };
        QElapsedTimer timer;
        timer.start();
        const ProgramResult result = runProgramJob(camera, input, bitData, count, callbacks, &cancel);
        const long after = vmKiB("VmHWM:");
        std::printf("memory: 16 MiB file, %d of %d sectors programmed and %d read back%s in "
                    "%.1f s: VmHWM %.1f MiB before, %.1f MiB after (+%.1f MiB; the file itself "
                    "is 16.0 MiB)\n",
                    programmed, int(count), verified, full ? "" : " before stopping",
                    timer.elapsed() / 1000.0, before / 1024.0, after / 1024.0,
                    (after - before) / 1024.0);
        if (full && result.outcome != ProgramOutcome::Success)
            return 1;
        QFile::remove(path);
    }

    // 2. N sectors through the channel into the simulator, on the worker,
    // with the GUI event loop watched.
    CamsimProcess sim;
    QString error;
    if (!sim.start({"--version", "2.3"}, &error)) {
        std::fprintf(stderr, "bench_program: %s\n", qPrintable(error));
        return 1;
    }
    UdpSocket socket;
    const quint8 loopback[4] = {127, 0, 0, 1};
    if (!socket.open() || !socket.bindTo(loopback, 0)) {
        std::fprintf(stderr, "bench_program: no socket\n");
        return 1;
    }
    DeviceChannel channel;
    channel.choose(&socket, loopback);
    channel.deviceAddr.port = sim.port;
    const double rtt = medianRttMs(socket, channel.deviceAddr, 200);
    // What one exchange of the channel costs here, the 2 ms pause included.
    double exchangeMs = 0;
    {
        QElapsedTimer timer;
        timer.start();
        quint32 value = 0;
        int answered = 0;
        for (int i = 0; i < 100; ++i)
            answered += channel.readReg(0, value) ? 1 : 0;
        exchangeMs = timer.nsecsElapsed() / 1e6 / 100;
        if (answered < 90)
            std::fprintf(stderr, "bench_program: only %d of 100 READREG answered\n", answered);
    }

    const int fileSize = sectors * 4096 - 100;
    BitstreamJobInput input{writeFile(dir, "cam_101_bench.bit", pattern(fileSize)), true,
                            QStringLiteral("2.3")};
    QByteArray bitData;
    std::atomic<int> count{0};
    ProgramResult result;
    qint64 jobNs = 0;

    QProgressBar bar;
    QLabel label;
    bar.show();
    label.show();
    SendThread worker(nullptr, [&] {
        ProgramCallbacks callbacks;
        callbacks.step = [&](int num, bool verify) { emit worker.step(num, verify); };
        callbacks.msg = [&](QString title, QString text) { emit worker.msg(title, text); };
        QElapsedTimer timer;
        timer.start();
        result = runProgramJob(channel, input, bitData, count, callbacks);
        jobNs = timer.nsecsElapsed();
    });
    QObject::connect(&worker, &SendThread::step, &bar, [&](int num, bool verify) {
        bar.setValue((num + 1) * 100 / qMax(1, int(count)));
        label.setText(QStringLiteral("%1 %2/%3").arg(verify ? "Verify" : "Program").arg(num + 1).arg(int(count)));
    });
    QString ending;
    QObject::connect(&worker, &SendThread::msg, &app, [&](QString, QString text) {
        ending = text;
        app.quit();
    });

    // The event loop's pulse: the longest gap between two 10 ms ticks.
    QElapsedTimer pulse;
    qint64 lastTick = 0, longestGap = 0, ticks = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = pulse.nsecsElapsed();
        if (ticks++ > 0)
            longestGap = qMax(longestGap, now - lastTick);
        lastTick = now;
    });
    pulse.start();
    ticker.start(10);
    worker.start();
    worker.requestProgram();
    QTimer::singleShot(600000, &app, &QApplication::quit);  // never wait for ever
    app.exec();
    ticker.stop();
    worker.requestStop();
    worker.wait();

    const double exchange = 2.0 + rtt;
    const double writeFloor = sectors * (100.0 + 9 * exchange);
    const double readFloor = sectors * 9 * exchange;
    const double floor = writeFloor + readFloor;
    const double measured = jobNs / 1e6;
    std::printf("program: %d sectors written and read back through the channel into camsim on "
                "loopback: %s\n", sectors, qPrintable(ending));
    std::printf("  round trip %.3f ms (median of 200 READREG); floor %.1f ms = write %.1f + "
                "read-back %.1f\n", rtt, floor, writeFloor, readFloor);
    std::printf("  measured %.1f ms, %.2f %% above the floor (%.2f ms per sector)\n", measured,
                (measured / floor - 1.0) * 100.0, measured / sectors);
    std::printf("  one channel exchange costs %.3f ms here (floor %.3f ms): %.1f ms of the "
                "measured time per sector is in the exchanges, 100 ms in the pause\n",
                exchangeMs, exchange, 18 * exchangeMs);
    std::printf("gui: longest gap between 10 ms ticks during the job %.1f ms (%lld ticks)\n",
                longestGap / 1e6, ticks);
    return result.outcome == ProgramOutcome::Success ? 0 : 1;
}
