// Benchmark: one verified 36-sector parameter write (the 2.3 camera with a
// 1.3 file) through DeviceChannel against the simulator on loopback, timed
// against the protocol's floor:
//   36 x (100 ms + 9 x (2 ms + rtt))  +  37 x 9 x (2 ms + rtt)
// where rtt is a bare request/acknowledge round trip measured first.
// Prints only; a busy machine must not fail it. Run in a private network
// namespace (CTest does so).
#include "camsimprocess.h"
#include "devicechannel.h"
#include "paramfile.h"
#include "paramlayout.h"
#include "paramwriter.h"
#include "udpsocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Median time of a bare READREG exchange on a socket of its own, in ms.
double measureRoundTrip(const quint8 camera[4], int samples)
{
    UdpSocket socket;
    const quint8 loopback[4] = {127, 0, 0, 1};
    if (!socket.open() || !socket.bindTo(loopback, 0))
        return -1;
    SocketAddress to;
    std::copy(camera, camera + 4, to.address);
    to.port = 3956;
    std::vector<double> times;
    for (int i = 0; i < samples; ++i) {
        const quint8 readReg[12] = {0x42, 0x01, 0x00, 0x80, 0x00, 0x04,
                                    quint8(i >> 8), quint8(i + 1), 0, 0, 0, 0};
        quint8 reply[512];
        QElapsedTimer t;
        t.start();
        if (socket.sendTo(readReg, sizeof readReg, to) != sizeof readReg)
            return -1;
        if (socket.receive(reply, sizeof reply) < 0)
            continue;
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    if (times.empty())
        return -1;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dumps;
    CamsimProcess camsim;
    QString error;
    if (!camsim.start({"--version", "2.3"}, &error, "127.0.0.2", 3956)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const quint8 camera[4] = {127, 0, 0, 2};
    const double rtt = measureRoundTrip(camera, 200);
    if (rtt < 0) {
        std::fprintf(stderr, "no round trip measured\n");
        return 1;
    }

    UdpSocket socket;
    const quint8 loopback[4] = {127, 0, 0, 1};
    if (!socket.open() || !socket.bindTo(loopback, 0))
        return 1;
    DeviceChannel channel;
    channel.choose(&socket, camera);

    std::vector<quint8> image(param::ImageSize);
    for (int i = 0; i < param::ImageSize; ++i)
        image[i] = quint8(i * 31 + i / 4096);
    const param::ParamLayout layout = param::chooseParamLayout("2.3", true, "1.3");

    QElapsedTimer t;
    t.start();
    const param::ParamWriteOutcome out =
        param::writeParamImage(channel, image.data(), layout, dumps.path());
    const double elapsed = double(t.nsecsElapsed()) / 1e6;
    if (out.result != param::ParamWriteOutcome::Result::Success) {
        std::fprintf(stderr, "write did not succeed (result %d, sector %d)\n", int(out.result),
                     out.sector);
        return 1;
    }

    const int written = 36;
    const int read = 37;
    const double exchange = 2.0 + rtt;
    const double floor = written * (100.0 + 9 * exchange) + read * 9 * exchange;
    std::printf("parameter write, %d sectors written + %d read back, verified\n", written, read);
    std::printf("  round trip (median of 200):  %8.3f ms\n", rtt);
    std::printf("  measured:                    %8.1f ms\n", elapsed);
    std::printf("  floor:                       %8.1f ms\n", floor);
    std::printf("  above floor:                 %8.2f %%\n", 100.0 * (elapsed - floor) / floor);
    return 0;
}
