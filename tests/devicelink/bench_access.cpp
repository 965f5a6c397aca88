// Flash access speed against the simulator on loopback: N sectors written and
// read back through the channel, against the protocol's floor (write: 100 ms
// + 9 x (2 ms + rtt) per sector; read: 9 x (2 ms + rtt)). Prints figures
// only; nothing here passes or fails on time.
#include "camsimprocess.h"
#include "devicechannel.h"
#include "flashprotocol.h"
#include "gvcp.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int sectors = std::max(1, qEnvironmentVariableIsSet("BENCH_SECTORS") ? qEnvironmentVariableIntValue("BENCH_SECTORS")
                                                                                : argc > 1 ? atoi(argv[1]) : 4);
    CamsimProcess sim;
    QString error;
    if (!sim.start({}, &error)) {
        std::fprintf(stderr, "bench_access: %s\n", qPrintable(error));
        return 1;
    }
    UdpSocket socket;
    const quint8 loopback[4] = {127, 0, 0, 1};
    socket.open();
    socket.bindTo(loopback, 0);
    DeviceChannel channel;
    channel.choose(&socket, loopback);
    channel.deviceAddr.port = sim.port();

    // The median round trip of one READMEM straight on the socket, without
    // the pause, so a scheduling hiccup does not move the floor.
    quint8 packet[gvcp::LargeCommandBuffer] = {};
    quint8 reply[2048];
    std::vector<double> samples;
    for (int i = 0; i < 200; ++i) {
        const int n = gvcp::buildReadMem(packet, gvcp::nextAccessReqId(), flash::WindowReadBase, 512);
        const auto start = std::chrono::steady_clock::now();
        socket.sendTo(packet, n, channel.deviceAddr);
        if (socket.receive(reply, sizeof reply) > 0)
            samples.push_back(msSince(start));
    }
    std::sort(samples.begin(), samples.end());
    const double rtt = samples.empty() ? 0 : samples[samples.size() / 2];

    QByteArray data(sectors * flash::SectorSize, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 131 + i / 4096) & 0xFF);
    QByteArray back(data.size(), '\0');
    auto start = std::chrono::steady_clock::now();
    for (int s = 0; s < sectors; ++s)
        if (flash::writeFlashBlock(channel, reinterpret_cast<const quint8 *>(data.constData()) + s * 4096,
                                   quint32(s) * 4096) != flash::Status::Ok)
            return std::fprintf(stderr, "bench_access: write of sector %d failed\n", s), 1;
    const double writeMs = msSince(start);
    start = std::chrono::steady_clock::now();
    for (int s = 0; s < sectors; ++s)
        if (flash::readFlashBlock(channel, reinterpret_cast<quint8 *>(back.data()) + s * 4096, quint32(s) * 4096) !=
            flash::Status::Ok)
            return std::fprintf(stderr, "bench_access: read of sector %d failed\n", s), 1;
    const double readMs = msSince(start);

    const double writeFloor = sectors * (flash::ProgramPauseMs + 9 * (2.0 + rtt));
    const double readFloor = sectors * 9 * (2.0 + rtt);
    std::printf("bench_access: %d sectors, median rtt %.3f ms (%zu/200 answered)\n", sectors, rtt, samples.size());
    std::printf("  write %.1f ms, floor %.1f ms, %+.2f%%\n", writeMs, writeFloor,
                100.0 * (writeMs - writeFloor) / writeFloor);
    std::printf("  read  %.1f ms, floor %.1f ms, %+.2f%%\n", readMs, readFloor, 100.0 * (readMs - readFloor) / readFloor);
    std::printf("  read-back %s\n", back == data ? "identical" : "DIFFERS");
    return back == data ? 0 : 1;
}
