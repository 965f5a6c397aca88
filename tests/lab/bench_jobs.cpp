// One benchmark per flash job against the simulated camera of bench.lab: a
// verified 36-sector parameter write, or a bitstream of N sectors programmed
// and read back, each run as the front ends run it: on the job runner, the
// camera's control taken before and released after. Each is printed against
// the protocol's floor: per sector
// written 100 ms plus nine exchanges, per sector read nine exchanges, an
// exchange being the 2 ms pause plus the median round trip of 200 bare
// READREGs. Prints figures only; fails only when the job does not succeed.
//   bench_jobs paramwrite | program [N]
#include "camerachannel.h"
#include "gvcp.h"
#include "jobrunner.h"
#include "paramwriter.h"
#include "programjob.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

flash::JobResult runOnRunner(const flash::JobPlan &plan, CameraChannel &channel)
{
    JobRunner runner(1);
    JobReport report;
    QObject::connect(&runner, &JobRunner::finished, [&](const JobReport &r) { report = r; });
    JobTask task;
    task.access = std::shared_ptr<DeviceAccess>(&channel, [](DeviceAccess *) {});
    task.plan = plan;
    runner.start(task);
    runner.waitForAll();
    return report.outcome.result;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const QString job = argc > 1 ? argv[1] : "program";
    const int sectors = argc > 2 ? qMax(1, atoi(argv[2])) : 16;
    const quint8 host[4] = {192, 0, 2, 1};
    const SocketAddress camera{{192, 0, 2, 10}, gvcp::Port};
    UdpSocket socket;
    if (!socket.open() || !socket.bindTo(host, 0))
        return std::fprintf(stderr, "bench_jobs: no socket on 192.0.2.1 (run it in tests/lab/bench.lab)\n"), 1;
    CameraChannel channel("192.0.2.1", camera);

    std::vector<double> rtt;
    quint8 packet[gvcp::SmallCommandBuffer] = {}, reply[gvcp::ReplyBuffer];
    for (int i = 0; i < 200; ++i) {
        const int length = gvcp::buildReadReg(packet, quint16(1000 + i), 0);
        QElapsedTimer t;
        t.start();
        if (socket.sendTo(packet, length, camera) == length && socket.receive(reply, sizeof reply) >= 12)
            rtt.push_back(t.nsecsElapsed() / 1e6);
    }
    if (rtt.empty())
        return std::fprintf(stderr, "bench_jobs: the camera does not answer\n"), 1;
    std::sort(rtt.begin(), rtt.end());
    const double exchange = 2.0 + rtt[rtt.size() / 2];

    QTemporaryDir dir;
    QElapsedTimer t;
    double floor = 0;
    bool ok = false;
    if (job == "paramwrite") {
        param::ParamFileLoad file;
        file.image = QByteArray(param::ImageSize, '\0');
        for (int i = 0; i < file.image.size(); ++i)
            file.image[i] = char(i * 31 + i / 4096);
        file.hasFileVersion = true;
        file.fileVersion = "1.3";
        const flash::JobPlan plan = param::planWrite(file, true, "2.3", dir.path()).job;
        t.start();
        ok = runOnRunner(plan, channel) == flash::JobResult::Success;
        floor = 36 * (100 + 9 * exchange) + 37 * 9 * exchange;
    } else {
        QFile file(dir.filePath("cam_101_bench.bit"));
        if (!file.open(QIODevice::WriteOnly) || !file.resize(sectors * 4096 - 100))
            return 1;
        file.close();
        t.start();
        ok = runOnRunner(bitstream::planProgram(bitstream::loadBitstream(file.fileName()).data, true), channel) ==
             flash::JobResult::Success;
        floor = sectors * (100 + 18 * exchange);
    }
    const double ms = t.nsecsElapsed() / 1e6;
    std::printf("%s: %.1f ms, floor %.1f ms (exchange %.3f ms), %+.2f %% above the floor\n",
                qPrintable(job == "paramwrite" ? "parameter write, 36 sectors verified"
                                               : QString("bitstream, %1 sectors verified").arg(sectors)),
                ms, floor, exchange, 100.0 * (ms - floor) / floor);
    return ok ? 0 : 1;
}
