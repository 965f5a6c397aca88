#include "commands.h"

#include "bitfilename.h"
#include "camerachannel.h"
#include "devicelink.h"
#include "doctor.h"
#include "firmwareversion.h"
#include "history.h"
#include "interrupt.h"
#include "ipchange.h"
#include "jobrunner.h"
#include "output.h"
#include "paramwriter.h"
#include "programjob.h"
#include "selection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>

#include <functional>

namespace {

// A few tries: on a lossy link one lost reply must not cost a camera its job
// when a line of them is programmed.
constexpr int ProbeAttempts = 3;

int refuse(const QString &message)
{
    printProblem(message);
    return ExitRefused;
}

// Discovery in the command's scope. False (the exit status in `status`) when
// the named interface is not the PC's.
bool discover(const CommonOptions &options, QList<DeviceRecord> &records, int &status)
{
    DeviceLink link;
    link.setSettingsPath(options.settingsPath);
    link.setOnlyInterface(options.onlyInterface);
    if (!link.discover(true)) {
        status = refuse(link.error());
        return false;
    }
    records = link.devices();
    return true;
}

// Discovery and selection. Returns -1 with `chosen` filled, or the exit status.
int chooseCameras(const CommonOptions &options, QList<DeviceRecord> &chosen)
{
    QList<DeviceRecord> records;
    int status = ExitRefused;
    if (!discover(options, records, status))
        return status;
    QString error;
    if (!selectCameras(records, options.cameras, options.all, chosen, error)) {
        printProblem(error);
        return ExitNoMatch;
    }
    return -1;
}

// The IP commands change one camera's address: never several by mistake.
int chooseOneCamera(const CommonOptions &options, DeviceRecord &camera)
{
    QList<DeviceRecord> chosen;
    const int status = chooseCameras(options, chosen);
    if (status >= 0)
        return status;
    if (chosen.size() != 1) {
        printProblem(
            QStringLiteral("This command changes one camera's address, but %1 cameras matched.")
                .arg(chosen.size()));
        return ExitNoMatch;
    }
    camera = chosen.first();
    return -1;
}

int refuseAll(const QStringList &refusals)
{
    for (const QString &r : refusals)
        printProblem(r);
    printProblem(QStringLiteral("Nothing was sent to any camera."));
    return ExitRefused;
}

// Every camera's job on the runner, at most --jobs at once; Ctrl+C stops them
// between two exchanges and starts no further one.
int runJobs(const CommonOptions &options, const QList<JobTask> &tasks)
{
    // With --json only the JSON goes to stdout; progress and closing lines
    // go to stderr.
    std::FILE *out = options.json ? stderr : stdout;
    ProgressBoard board(out, isLiveTerminal(out));
    QList<CameraResult> results;
    for (const JobTask &task : tasks) {
        board.add(identity(task.camera), task.plan);
        results.append({task.camera, {}, 0});
    }
    installInterruptHandler();
    JobRunner runner(options.jobs);
    runner.setSharedStop(interruptFlag());
    runner.setHistoryPath(options.historyPath);
    QHash<int, int> rowOf;  // job id -> row
    QEventLoop loop;
    QObject::connect(&runner, &JobRunner::progress, &loop,
                     [&](int id, const flash::JobProgress &p) {
                         board.update(rowOf.value(id), p);
                         board.redraw();
                     });
    QObject::connect(&runner, &JobRunner::finished, &loop, [&](const JobReport &report) {
        CameraResult &r = results[rowOf.value(report.id)];
        r.ending = report.ending;
        r.seconds = report.seconds;
        if (!report.historyProblem.isEmpty())
            printProblem(report.historyProblem);
        board.finish(rowOf.value(report.id), endings::resultName(r.ending), closingLine(r));
        board.redraw();
    });
    QObject::connect(&runner, &JobRunner::idle, &loop, &QEventLoop::quit);
    for (int row = 0; row < tasks.size(); ++row)
        rowOf.insert(runner.start(tasks[row]), row);
    if (!tasks.isEmpty())
        loop.exec();
    board.close();
    const int status = printResults(results, options.json, true);
    return interruptRequested() ? ExitFailed : status;
}

JobTask taskFor(const CommonOptions &options, const DeviceRecord &camera,
                const flash::JobPlan &plan, const QString &path, const QByteArray &sha256)
{
    JobTask task;
    task.camera = camera;
    task.plan = plan;
    task.plan.dryRun = options.dryRun;
    task.probeAttempts = ProbeAttempts;
    task.history.frontEnd = QStringLiteral("cli");
    task.history.file = path;
    task.history.sha256 = sha256;
    return task;
}

QString cannotReadBack(const DeviceRecord &camera)
{
    return identity(camera) + QStringLiteral(": Firmware %1 cannot read its flash back, which "
                                             "--changed-only needs.")
                                  .arg(camera.versionText());
}

using IpCommand = std::function<endings::Ending(CameraChannel &, const DeviceRecord &,
                                                const ipassign::Addresses &)>;

// The address fields (when the command takes them) are refused before
// discovery; then exactly one camera, on a channel of its own. A real run
// is recorded in the history, whatever its ending, before it is shown.
int runIpCommand(const CommonOptions &options, bool withAddresses, const QString &ip,
                 const QString &mask, const QString &gateway, const IpCommand &command,
                 const std::function<QString(const ipassign::Addresses &)> &settingsText)
{
    ipassign::Addresses a;
    QString error;
    if (withAddresses && !ipassign::parseAddresses(ip, mask, gateway, a, error))
        return refuse(error);
    DeviceRecord camera;
    const int status = chooseOneCamera(options, camera);
    if (status >= 0)
        return status;
    QElapsedTimer clock;
    clock.start();
    CameraChannel channel(camera);
    CameraResult r{camera, command(channel, camera, a), 0};
    r.seconds = clock.elapsed() / 1000.0;
    if (!options.dryRun) {
        history::Source source;
        source.frontEnd = QStringLiteral("cli");
        source.ipSettings = settingsText(a);
        QString error;
        if (!history::append(options.historyPath,
                             history::entryOf(camera, r.ending, source, 0, r.seconds), error))
            printProblem(QStringLiteral("The history file %1 was not written: %2")
                             .arg(QDir::toNativeSeparators(options.historyPath), error));
    }
    return printResults({r}, options.json);
}

}  // namespace

int listCameras(const CommonOptions &options)
{
    QList<DeviceRecord> records;
    int status = ExitRefused;
    if (!discover(options, records, status))
        return status;
    // Who controls each camera: asked of all at once, and only for JSON.
    const QVector<control::Holder> holders =
        options.json ? control::readHolders(records) : QVector<control::Holder>();
    if (options.details) {
        const QVector<doctor::CameraReading> details = doctor::readCameras(records);
        printCameraList(records, holders, options.json, &details);
    } else {
        printCameraList(records, holders, options.json);
    }
    return ExitSucceeded;
}

int forceIp(const CommonOptions &options, const QString &ip, const QString &mask,
            const QString &gateway)
{
    return runIpCommand(
        options, true, ip, mask, gateway,
        [&options](CameraChannel &channel, const DeviceRecord &camera,
                   const ipassign::Addresses &a) {
            return ipchange::forceIp(channel, camera, a, options.dryRun);
        },
        ipchange::forceIpText);
}

int ipConfig(const CommonOptions &options, ipassign::Mode mode, const QString &ip,
             const QString &mask, const QString &gateway)
{
    // Only a static configuration carries addresses; the others send zeros.
    return runIpCommand(
        options, mode == ipassign::Static, ip, mask, gateway,
        [mode, &options](CameraChannel &channel, const DeviceRecord &camera,
                         const ipassign::Addresses &a) {
            return ipchange::ipConfig(channel, camera, mode, a, options.dryRun);
        },
        [mode](const ipassign::Addresses &a) { return ipchange::ipConfigText(mode, a); });
}

int writeParam(const CommonOptions &options, const QString &path, const QString &dumpDirectory,
               bool changedOnly)
{
    const param::ParamFileLoad load = param::loadParamFile(path);
    if (load.read.status == param::ReadStatus::OpenFailed)
        printProblem(param::openFailedMessage().text);
    const UserMessage refusal = param::refusalBeforeCamera(load);
    if (!refusal.isEmpty())
        return refuse(refusal.text);
    QList<DeviceRecord> cameras;
    const int status = chooseCameras(options, cameras);
    if (status >= 0)
        return status;

    QList<JobTask> tasks;
    QStringList refusals;
    for (const DeviceRecord &camera : cameras) {
        // Each camera's dumps in a folder of its own, so they cannot overwrite
        // each other; without --dump-dir, none.
        const QString dumps =
            dumpDirectory.isEmpty() ? QString() : QDir(dumpDirectory).filePath(camera.macText());
        param::WritePlan plan = param::planWrite(load, true, camera.versionText(), dumps);
        if (!plan.refusal.isEmpty())
            refusals << identity(camera) + QStringLiteral(": ") + plan.refusal.text;
        if (dumps.isEmpty())
            plan.job.afterReadBack = nullptr;
        if (changedOnly && plan.refusal.isEmpty() && !plan.job.verify)
            refusals << cannotReadBack(camera);
        plan.job.changedOnly = changedOnly;
        tasks.append(taskFor(options, camera, plan.job, path, load.read.sha256));
    }
    if (!refusals.isEmpty())
        return refuseAll(refusals);
    for (const JobTask &task : tasks) {
        const QString dumps = QDir(dumpDirectory).filePath(task.camera.macText());
        if (!dumpDirectory.isEmpty() && !options.dryRun && !QDir().mkpath(dumps))
            return refuse(
                QStringLiteral("Cannot create the dump folder %1. Nothing was sent.").arg(dumps));
    }
    return runJobs(options, tasks);
}

int program(const CommonOptions &options, const QString &path, bool yes, bool changedOnly)
{
    // What does not depend on the camera is refused before discovery.
    const bitstream::Preflight early = bitstream::preflight(path, FirmwareVersion());
    if (early.kind == bitstream::Preflight::Kind::Refuse)
        return refuse(early.message.text);
    const BitFileName name = checkBitFileName(path);
    if (name != BitFileName::Valid)
        return refuse(bitFileNameMessage(name));
    const bitstream::BitstreamLoad load = bitstream::loadBitstream(path);
    if (load.status != bitstream::LoadStatus::Ok)
        return refuse(bitstream::loadFailedMessage(load.status).text);
    QList<DeviceRecord> cameras;
    const int status = chooseCameras(options, cameras);
    if (status >= 0)
        return status;

    QList<JobTask> tasks;
    QStringList refusals;
    for (const DeviceRecord &camera : cameras) {
        const QString who = identity(camera) + QStringLiteral(": ");
        const FirmwareVersion version = FirmwareVersion::fromText(camera.versionText());
        const bitstream::Preflight check = bitstream::preflight(path, version);
        if (check.kind == bitstream::Preflight::Kind::Refuse)
            refusals << who + check.message.text;
        if (check.kind == bitstream::Preflight::Kind::Ask && !yes)
            refusals << who + check.message.text +
                            QStringLiteral(" Give --yes to program it anyway.");
        if (changedOnly && !version.canReadBack())
            refusals << cannotReadBack(camera);
        tasks.append(taskFor(options, camera,
                             bitstream::planProgram(load.data, version.canReadBack(), changedOnly),
                             path, load.sha256));
    }
    if (!refusals.isEmpty())
        return refuseAll(refusals);
    return runJobs(options, tasks);
}
