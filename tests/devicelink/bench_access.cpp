// Flash access speed against the simulator on loopback: N sectors written and
// read back through the channel, compared with the protocol's floor
// (write: 100 ms + 9 x (2 ms + rtt) per sector; read: 9 x (2 ms + rtt)).
// Prints figures only; nothing here passes or fails on time.
#include "camsimprocess.h"
#include "devicechannel.h"
#include "flashprotocol.h"
#include "gvcp.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

double msSince(const std::chrono::steady_clock::time_point &start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Forwards to the channel and keeps the duration of every exchange, to tell
// a steady per-exchange cost from scheduling tails.
class TimedAccess : public DeviceAccess {
public:
    explicit TimedAccess(DeviceAccess &inner) : inner_(inner) {}
    std::vector<double> durations;

    bool readReg(quint32 a, quint32 &v) override { return timed([&] { return inner_.readReg(a, v); }); }
    bool readMem(quint32 a, quint32 c, quint8 *b, int &s) override
    {
        return timed([&] { return inner_.readMem(a, c, b, s); });
    }
    bool writeMem(quint16 a, const quint8 *d, int l, int p) override
    {
        return timed([&] { return inner_.writeMem(a, d, l, p); });
    }
    bool writeMemWord(quint32 a, quint32 v) override
    {
        return timed([&] { return inner_.writeMemWord(a, v); });
    }

private:
    template <class F>
    bool timed(F f)
    {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = f();
        durations.push_back(msSince(start));
        return ok;
    }
    DeviceAccess &inner_;
};

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int sectors = argc > 1 ? QByteArray(argv[1]).toInt() : 4;
    if (qEnvironmentVariableIsSet("BENCH_SECTORS"))
        sectors = qEnvironmentVariableIntValue("BENCH_SECTORS");
    if (sectors < 1)
        sectors = 1;

    CamsimProcess sim;
    QString error;
    if (!sim.start({}, &error)) {
        std::fprintf(stderr, "bench_access: %s\n", qPrintable(error));
        return 1;
    }
    UdpSocket socket;
    socket.open();
    const quint8 loopback[4] = {127, 0, 0, 1};
    socket.bindTo(loopback, 0);
    DeviceChannel channel;
    channel.choose(&socket, loopback);
    channel.deviceAddr.port = sim.port();

    // Round trip of one READMEM exchange without the pause, straight on the
    // socket; the median, so that a scheduling hiccup does not move the floor.
    constexpr int Probes = 200;
    quint8 packet[gvcp::LargeCommandBuffer] = {};
    quint8 reply[2048];
    std::vector<double> samples;
    int answered = 0;
    for (int i = 0; i < Probes; ++i) {
        const int n = gvcp::buildReadMem(packet, gvcp::nextAccessReqId(), flash::WindowReadBase, 512);
        const auto start = std::chrono::steady_clock::now();
        socket.sendTo(packet, n, channel.deviceAddr);
        if (socket.receive(reply, sizeof reply) > 0) {
            samples.push_back(msSince(start));
            ++answered;
        }
    }
    const double rtt = median(samples);

    // What the fixed waits and the drain really cost on this machine.
    samples.clear();
    for (int i = 0; i < 100; ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        samples.push_back(msSince(start));
    }
    const double pause = median(samples);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i)
        socket.discardPending();
    const double drain = msSince(start) / 1000;

    QByteArray data(sectors * flash::SectorSize, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 131 + i / 4096) & 0xFF);
    QByteArray back(data.size(), '\0');

    start = std::chrono::steady_clock::now();
    for (int s = 0; s < sectors; ++s)
        if (flash::writeFlashBlock(channel, reinterpret_cast<const quint8 *>(data.constData()) + s * 4096,
                                   quint32(s) * 4096) != flash::Status::Ok) {
            std::fprintf(stderr, "bench_access: write of sector %d failed\n", s);
            return 1;
        }
    const double writeMs = msSince(start);
    TimedAccess timedReads(channel);
    start = std::chrono::steady_clock::now();
    for (int s = 0; s < sectors; ++s)
        if (flash::readFlashBlock(timedReads, reinterpret_cast<quint8 *>(back.data()) + s * 4096,
                                  quint32(s) * 4096) != flash::Status::Ok) {
            std::fprintf(stderr, "bench_access: read of sector %d failed\n", s);
            return 1;
        }
    const double readMs = msSince(start);

    const double writeFloor = sectors * (flash::ProgramPauseMs + 9 * (2.0 + rtt));
    const double readFloor = sectors * 9 * (2.0 + rtt);
    std::printf("bench_access: %d sectors, rtt %.3f ms (%d/%d answered), 2 ms pause %.3f ms, "
                "drain %.4f ms (rtt and pause are medians)\n",
                sectors, rtt, answered, Probes, pause, drain);
    std::printf("  write %.1f ms, floor %.1f ms, %+.2f%%  (%.2f ms/sector)\n", writeMs, writeFloor,
                100.0 * (writeMs - writeFloor) / writeFloor, writeMs / sectors);
    std::printf("  read  %.1f ms, floor %.1f ms, %+.2f%%  (%.2f ms/sector)\n", readMs, readFloor,
                100.0 * (readMs - readFloor) / readFloor, readMs / sectors);
    double sum = 0;
    for (double d : timedReads.durations)
        sum += d;
    std::printf("  read exchanges: median %.3f ms, mean %.3f ms, max %.3f ms\n",
                median(timedReads.durations), sum / double(timedReads.durations.size()),
                *std::max_element(timedReads.durations.begin(), timedReads.durations.end()));
    std::printf("  read-back %s\n", back == data ? "identical" : "DIFFERS");
    return back == data ? 0 : 1;
}
