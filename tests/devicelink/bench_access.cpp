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

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

double msSince(const std::chrono::steady_clock::time_point &start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

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
    // socket, averaged.
    constexpr int Probes = 200;
    quint8 packet[gvcp::LargeCommandBuffer] = {};
    quint8 reply[2048];
    auto start = std::chrono::steady_clock::now();
    int answered = 0;
    for (int i = 0; i < Probes; ++i) {
        const int n = gvcp::buildReadMem(packet, gvcp::nextAccessReqId(), flash::WindowReadBase, 512);
        socket.sendTo(packet, n, channel.deviceAddr);
        if (socket.receive(reply, sizeof reply) > 0)
            ++answered;
    }
    const double rtt = msSince(start) / Probes;

    // What the fixed waits really cost on this machine.
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const double pause = msSince(start) / 100;
    start = std::chrono::steady_clock::now();
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
    start = std::chrono::steady_clock::now();
    for (int s = 0; s < sectors; ++s)
        if (flash::readFlashBlock(channel, reinterpret_cast<quint8 *>(back.data()) + s * 4096,
                                  quint32(s) * 4096) != flash::Status::Ok) {
            std::fprintf(stderr, "bench_access: read of sector %d failed\n", s);
            return 1;
        }
    const double readMs = msSince(start);

    const double writeFloor = sectors * (flash::ProgramPauseMs + 9 * (2.0 + rtt));
    const double readFloor = sectors * 9 * (2.0 + rtt);
    std::printf("bench_access: %d sectors, rtt %.3f ms (%d/%d answered), 2 ms pause takes %.3f ms, "
                "drain %.4f ms\n",
                sectors, rtt, answered, Probes, pause, drain);
    std::printf("  write %.1f ms, floor %.1f ms, %+.2f%%  (%.2f ms/sector)\n", writeMs, writeFloor,
                100.0 * (writeMs - writeFloor) / writeFloor, writeMs / sectors);
    std::printf("  read  %.1f ms, floor %.1f ms, %+.2f%%  (%.2f ms/sector)\n", readMs, readFloor,
                100.0 * (readMs - readFloor) / readFloor, readMs / sectors);
    std::printf("  read-back %s\n", back == data ? "identical" : "DIFFERS");
    return back == data ? 0 : 1;
}
