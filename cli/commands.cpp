#include "commands.h"

#include "bitfilename.h"
#include "camerachannel.h"
#include "firmwareversion.h"
#include "interrupt.h"
#include "jobrunner.h"
#include "paramwriter.h"
#include "programjob.h"
#include "selection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <functional>

namespace {

// Discovery and selection. Returns -1 with `chosen` filled, or the exit status.
int chooseCameras(const CommonOptions &options, QList<DeviceRecord> &chosen)
{
    QList<DeviceRecord> records;
    QString error;
    if (!discover(options.onlyInterface, records, error))
        return refuse(error);
    if (!selectCameras(records, options.cameras, options.all, chosen, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
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
        std::fprintf(stderr, "This command changes one camera's address, but %d cameras matched.\n",
                     int(chosen.size()));
        return ExitNoMatch;
    }
    camera = chosen.first();
    return -1;
}

int refuseAll(const QStringList &refusals)
{
    for (const QString &r : refusals)
        std::fprintf(stderr, "%s\n", qPrintable(r));
    std::fprintf(stderr, "Nothing was sent to any camera.\n");
    return ExitRefused;
}

int runTasks(const CommonOptions &options, const QList<FlashTask> &tasks)
{
    // With --json only the JSON goes to stdout; progress and closing lines
    // go to stderr.
    std::FILE *progress = options.json ? stderr : stdout;
    const QList<CameraResult> results = runFlashTasks(
        tasks, options.jobs > 0 ? options.jobs : tasks.size(), progress, isLiveTerminal(progress));
    const int status = report(results, options.json, true);
    return interruptRequested() ? ExitFailed : status;
}

const char *ipModeName(ipassign::Mode mode)
{
    switch (mode) {
    case ipassign::Static: return "static";
    case ipassign::Dhcp: return "dhcp";
    case ipassign::LinkLocal: return "lla";
    }
    return "lla";
}

}  // namespace

int refuse(const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return ExitRefused;
}

int listCameras(const CommonOptions &options)
{
    QList<DeviceRecord> records;
    QString error;
    if (!discover(options.onlyInterface, records, error))
        return refuse(error);
    QJsonArray array;
    for (const DeviceRecord &r : records) {
        const bool offSubnet = checkSubnet(r) == SubnetCheck::OtherSubnet;
        if (!options.json) {
            std::printf(
                "%s\t%s\t%s\t%s\t%s\tnic %s%s\n", qPrintable(r.ipText()),
                qPrintable(r.macColonText()), qPrintable(DeviceRecord::fieldText(r.serialNumber)),
                qPrintable(DeviceRecord::fieldText(r.modelName)), qPrintable(r.versionText()),
                qPrintable(r.hostIP), offSubnet ? "\toutside the NIC's subnet" : "");
            continue;
        }
        array.append(QJsonObject{{"ip", r.ipText()},
                                 {"mask", r.maskText()},
                                 {"gateway", r.gatewayText()},
                                 {"mac", r.macColonText()},
                                 {"manufacturer", DeviceRecord::fieldText(r.manufacturerName)},
                                 {"model", DeviceRecord::fieldText(r.modelName)},
                                 {"version", r.versionText()},
                                 {"serial", DeviceRecord::fieldText(r.serialNumber)},
                                 {"userName", DeviceRecord::fieldText(r.userDefinedName)},
                                 {"nic", r.hostIP},
                                 {"offSubnet", offSubnet},
                                 {"ipMode", ipModeName(ipassign::modeOf(r.ipConfig))}});
    }
    if (options.json)
        std::printf("%s", QJsonDocument(array).toJson(QJsonDocument::Indented).constData());
    else if (records.isEmpty())
        std::fprintf(stderr, "No camera answered the discovery.\n");
    return ExitSucceeded;
}

namespace {

using IpCommand =
    std::function<CameraResult(CameraChannel &, const DeviceRecord &, const ipassign::Addresses &)>;

// The address fields (when the command takes them) are refused before
// discovery; then exactly one camera, on a channel of its own.
int runIpCommand(const CommonOptions &options, bool withAddresses, const QString &ip,
                 const QString &mask, const QString &gateway, const IpCommand &command)
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
    CameraResult r = command(channel, camera, a);
    r.seconds = clock.elapsed() / 1000.0;
    return report({r}, options.json);
}

}  // namespace

int forceIp(const CommonOptions &options, const QString &ip, const QString &mask,
            const QString &gateway)
{
    return runIpCommand(
        options, true, ip, mask, gateway,
        [](CameraChannel &channel, const DeviceRecord &camera, const ipassign::Addresses &a) {
            return ipCommandResult(camera, channel.forceIp(camera.mac, a.ip, a.mask, a.gateway),
                                   QStringLiteral("ForceIP done."), ipassign::forceIpFailedText());
        });
}

int ipConfig(const CommonOptions &options, ipassign::Mode mode, const QString &ip,
             const QString &mask, const QString &gateway)
{
    // Only a static configuration carries addresses; the others send zeros.
    return runIpCommand(
        options, mode == ipassign::Static, ip, mask, gateway,
        [mode](CameraChannel &channel, const DeviceRecord &camera, const ipassign::Addresses &a) {
            const ipassign::ConfigOutcome o =
                ipassign::configureAndRestart(channel, camera.mac, mode, a);
            CameraResult r =
                o.stored.ok()
                    ? ipCommandResult(
                          camera, o.restarted,
                          QStringLiteral("IP configuration stored; the camera restarts it."),
                          ipassign::forceIpFailedText())
                    : ipCommandResult(camera, o.stored, QString(), ipassign::configFailedText());
            if (!o.stored.ok() && !o.restarted.ok())
                r.message += QLatin1Char(' ') + ipassign::forceIpFailedText();
            return r;
        });
}

int writeParam(const CommonOptions &options, const QString &path, const QString &dumpDirectory)
{
    const param::ParamFileLoad load = param::loadParamFile(path);
    if (load.read.status == param::ReadStatus::OpenFailed)
        std::fprintf(stderr, "%s\n", qPrintable(param::openFailedMessage().text));
    const UserMessage refusal = param::refusalBeforeCamera(load);
    if (!refusal.isEmpty())
        return refuse(refusal.text);
    QList<DeviceRecord> cameras;
    const int status = chooseCameras(options, cameras);
    if (status >= 0)
        return status;

    QList<FlashTask> tasks;
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
        tasks.append({camera, plan.job, param::outcomeMessage});
    }
    if (!refusals.isEmpty())
        return refuseAll(refusals);
    for (const FlashTask &task : tasks) {
        const QString dumps = QDir(dumpDirectory).filePath(task.record.macText());
        if (!dumpDirectory.isEmpty() && !QDir().mkpath(dumps))
            return refuse(
                QStringLiteral("Cannot create the dump folder %1. Nothing was sent.").arg(dumps));
    }
    return runTasks(options, tasks);
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

    auto messageFor = [](const flash::JobOutcome &o) {
        return o.result == flash::JobResult::Cancelled ? bitstream::stoppedMessage(o)
                                                       : bitstream::outcomeMessage(o);
    };
    QList<FlashTask> tasks;
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
            refusals << who + QStringLiteral("Firmware %1 cannot read its flash back, which "
                                             "--changed-only needs.")
                                  .arg(camera.versionText());
        tasks.append({camera, bitstream::planProgram(load.data, version.canReadBack(), changedOnly),
                      messageFor});
    }
    if (!refusals.isEmpty())
        return refuseAll(refusals);
    return runTasks(options, tasks);
}
