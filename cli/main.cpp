// orvanta-cli: discovery, IP assignment, parameter writes and bitstream
// programming from the command line, on many cameras at once. Every rule and
// text comes from the core the window uses; this file reads the options.
#include "buildstamp.h"
#include "commands.h"
#include "history.h"
#include "logging.h"
#include "output.h"
#include "timerresolution.h"
#include "udpsocket.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

struct Subcommand {
    const char *name;
    const char *usage;  // after "orvanta-cli NAME"
    const char *summary;
};

const Subcommand subcommands[] = {
    {"list", "[--json] [--details] [--interface ADDR] [--settings FILE]",
     "Discovers the cameras and prints one a line: address, MAC, serial number, model, "
     "firmware, the PC address it answered on, and a mark when it is outside that "
     "address's subnet."},
    {"doctor", "[--json] [--interface ADDR]",
     "Finds why cameras are missing or unreachable and what they will do at their next power "
     "cycle; prints one finding a line, each with its fix. Changes nothing. Exit status 0 when "
     "nothing is found, 1 when something is."},
    {"force-ip", "-c CAM --ip A --mask M --gateway G [--dry-run]",
     "Gives one camera these addresses until its next power cycle."},
    {"ip-config", "-c CAM [--dry-run] static --ip A --mask M --gateway G | dhcp | lla",
     "Stores the IP configuration mode (and, for static, the addresses) in one camera, then "
     "makes it restart its IP configuration; unchanged, and nothing written, when the camera "
     "already stores it."},
    {"write-param", "-c CAM... FILE.hex [--dump-dir DIR] [--changed-only] [--dry-run]",
     "Writes a parameter file into each camera's parameter area and verifies it by reading "
     "it back where the firmware can."},
    {"program", "-c CAM... FILE.bit [--yes] [--changed-only] [--dry-run]",
     "Programs a bitstream into each camera's flash from address 0 and verifies it by reading "
     "it back where the firmware can."},
    {"history", "[-c CAM...] [--since DATE] [--json]",
     "Shows the history of writes to cameras, from this PC's history file (both the window's "
     "and the command line's): time, PC, user, front end, operation, camera, file or IP "
     "settings, result, sectors written and seconds."},
};

int runCommand(QStringList args);
bool helpAll = false;  // --help-all: every command's help, for the manual page

void printOverview()
{
    std::printf("Usage: orvanta-cli COMMAND [options]\n\nCommands:\n");
    for (const Subcommand &s : subcommands)
        std::printf("  %-12s %s\n", s.name, s.usage);
    std::printf("\n'orvanta-cli COMMAND --help' explains a command's options; "
                "'orvanta-cli --help-all' explains every command's; 'orvanta-cli --version' shows "
                "the version and build stamp.\n"
                "Every write to a camera (not a dry run) is recorded in the history file, "
                "history.jsonl in $XDG_STATE_HOME/orvanta (default ~/.local/state/orvanta; "
                "%%LOCALAPPDATA%%\\Orvanta on Windows); ORVANTA_HISTORY or --history FILE names "
                "another.\n"
                "Exit status: 0 every camera succeeded; 1 a job failed or was stopped; 2 a usage "
                "error or a refusal before anything was sent; 3 a camera selector matched no "
                "camera (or, for force-ip and ip-config, more than one).\n");
    std::printf("doctor exits with 0 when it found nothing, 1 when it found something.\n");
}

int usageError(const Subcommand &s, const QString &problem)
{
    printProblem(QStringLiteral("orvanta-cli %1: %2\nUsage: orvanta-cli %1 %3 (see --help)")
                     .arg(QLatin1String(s.name), problem, QLatin1String(s.usage)));
    return ExitRefused;
}

}  // namespace

int main(int argc, char *argv[])
{
    TimerResolution timerResolution;
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.size() < 2 || args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h")) {
        printOverview();
        return args.size() < 2 ? ExitRefused : ExitSucceeded;
    }
    if (args[1] == QLatin1String("--version")) {
        std::printf("orvanta-cli %s\n%s\n", ORVANTA_VERSION,
                    qPrintable(versionLabelText(buildStamp())));
        return ExitSucceeded;
    }
    if (args[1] == QLatin1String("--help-all")) {
        helpAll = true;
        printOverview();
        for (const Subcommand &s : subcommands) {
            std::printf("\n");
            std::fflush(stdout);
            runCommand({args[0], QLatin1String(s.name), QStringLiteral("--help")});
        }
        return ExitSucceeded;
    }
    return runCommand(args);
}

namespace {

int runCommand(QStringList args)
{
    const Subcommand *command = nullptr;
    for (const Subcommand &s : subcommands)
        if (args[1] == QLatin1String(s.name))
            command = &s;
    if (!command) {
        printProblem(QStringLiteral("orvanta-cli: unknown command '%1'").arg(args[1]));
        printOverview();
        return ExitRefused;
    }
    const QString name = QString::fromLatin1(command->name);
    const bool list = name == QLatin1String("list");
    const bool doctorCommand = name == QLatin1String("doctor");
    const bool withoutCameras = list || doctorCommand;  // no -c, no positional argument
    const bool ipCommand = name == QLatin1String("force-ip") || name == QLatin1String("ip-config");
    const bool historyCommand = name == QLatin1String("history");
    const bool flashCommand = !withoutCameras && !ipCommand && !historyCommand;

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(command->summary));
    const QCommandLineOption help({"h", "help"}, "Shows this help.");
    const QCommandLineOption camera({"c", "camera"},
                                    "A camera by IP address, MAC (00:11:22:33:44:55, "
                                    "00-11-22-33-44-55, 001122334455 or 0011.2233.4455) or serial "
                                    "number. Repeatable.",
                                    "CAM");
    const QCommandLineOption all("all", "Every camera found.");
    const QCommandLineOption onlyInterface(
        "interface", "Discover on this PC address (or network card) only.", "ADDR");
    const QCommandLineOption settings(
        "settings",
        "Honours a setting.ini ([File] Broadcast=ADDRESS: discover through that PC address "
        "only), as the window does with the one beside it. Default: every network card.",
        "FILE");
    const QCommandLineOption jobs("jobs", "At most N cameras at once (default: all).", "N");
    const QCommandLineOption json(
        "json", list             ? "Prints only a JSON array, one object per camera."
                : doctorCommand  ? "Prints only a JSON array, one object per finding."
                : historyCommand ? "Prints only a JSON array, one object per entry."
                                 : "Prints only the final result, as a JSON array (progress goes "
                                   "to stderr).");
    const QCommandLineOption details(
        "details", "Reads every camera's stored IP configuration, number of network interfaces "
                   "and link speed as well (all cameras at once).");
    const QCommandLineOption verbose("verbose", "Debug lines of every exchange, to stderr.");
    const QCommandLineOption ip("ip", "The camera's new address.", "A");
    const QCommandLineOption mask("mask", "The camera's new subnet mask.", "M");
    const QCommandLineOption gateway("gateway", "The camera's new gateway.", "G");
    const QCommandLineOption dumpDir(
        "dump-dir",
        "Writes each camera's hexdata.dat (sent) and data.dat (read back) into "
        "DIR/<its MAC, 12 hex digits>/. Without it no dump files are written.",
        "DIR");
    const QCommandLineOption yes("yes", "Programs a file that reaches the parameter area.");
    const QCommandLineOption changedOnly(
        "changed-only", "Reads each sector first and programs only those that differ, then "
                        "verifies every sector. Needs firmware that reads back.");
    const QCommandLineOption dryRun(
        "dry-run", "Every check and read of a real run, and no write of any kind: each camera's "
                   "result is would-change or unchanged. Writes no history.");
    const QCommandLineOption historyFile(
        "history",
        "The history file (default: ORVANTA_HISTORY, else history.jsonl in the user's state "
        "folder).",
        "FILE");
    const QCommandLineOption since("since",
                                   "Entries from this day (2024-05-31, UTC) or time "
                                   "(2024-05-31T14:00:00Z) on.",
                                   "DATE");
    const QCommandLineOption changedOnlyParam(
        "changed-only", "Reads each parameter sector first and writes only those that differ; "
                        "unchanged when none does. Needs firmware that reads back.");
    if (historyCommand)
        parser.addOptions({help, camera, json, since, historyFile, verbose});
    else
        parser.addOptions({help, onlyInterface, settings, json, verbose});
    if (!withoutCameras && !historyCommand)
        parser.addOptions({camera, all, dryRun, historyFile});
    if (list)
        parser.addOption(details);
    if (flashCommand)
        parser.addOption(jobs);
    if (ipCommand)
        parser.addOptions({ip, mask, gateway});
    if (name == QLatin1String("ip-config"))
        parser.addPositionalArgument("mode", "static, dhcp or lla.");
    if (name == QLatin1String("write-param")) {
        parser.addPositionalArgument("FILE.hex", "The parameter file.");
        parser.addOptions({dumpDir, changedOnlyParam});
    }
    if (name == QLatin1String("program")) {
        parser.addPositionalArgument("FILE.bit", "The bitstream file.");
        parser.addOptions({yes, changedOnly});
    }

    args.removeAt(1);
    if (!parser.parse(args))
        return usageError(*command, parser.errorText());
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text = QStringLiteral("Usage: orvanta-cli %1 %2\n").arg(name, command->usage) +
               text.mid(text.indexOf(QLatin1Char('\n')));
        if (helpAll) {
            // A section of its own per command in the manual page (help2man).
            text.replace(QStringLiteral("\nOptions:\n"), QStringLiteral("\n"));
            text.replace(QStringLiteral("\nArguments:\n"), QStringLiteral("\n"));
            text.replace(QStringLiteral("Usage: orvanta-cli"),
                         name + QStringLiteral(":\n  orvanta-cli"));
        }
        std::printf("%s", qPrintable(text));
        return ExitSucceeded;
    }

    // Debug lines only on request, as plain text on stderr.
    qSetMessagePattern(QStringLiteral("%{message}"));
    QLoggingCategory::setFilterRules(parser.isSet(verbose) ? QStringLiteral("orvanta.debug=true")
                                                           : QStringLiteral("orvanta.debug=false"));

    CommonOptions options;
    if (!withoutCameras)
        options.cameras = parser.values(camera);
    options.all = !withoutCameras && !historyCommand && parser.isSet(all);
    options.details = list && parser.isSet(details);
    options.dryRun = !withoutCameras && !historyCommand && parser.isSet(dryRun);
    options.historyPath = (!withoutCameras || historyCommand) && parser.isSet(historyFile)
                              ? parser.value(historyFile)
                              : history::defaultPath();
    if (!historyCommand) {
        options.onlyInterface = parser.value(onlyInterface);
        options.settingsPath = parser.value(settings);
        // The window may lack its setting.ini; a file named on the command
        // line that cannot be read is a mistake, not every card.
        if (parser.isSet(settings) && !QFileInfo(options.settingsPath).isReadable())
            return usageError(
                *command,
                QStringLiteral("The settings file '%1' cannot be read.").arg(options.settingsPath));
    }
    options.json = parser.isSet(json);
    if (flashCommand && parser.isSet(jobs)) {
        bool ok = false;
        options.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || options.jobs < 1)
            return usageError(*command, QStringLiteral("--jobs needs a number of 1 or more."));
    }
    const QStringList positional = parser.positionalArguments();
    const int wanted = withoutCameras || historyCommand    ? 0
                       : name == QLatin1String("force-ip") ? 0
                                                           : 1;
    if (positional.size() != wanted)
        return usageError(
            *command,
            positional.size() < wanted
                ? QStringLiteral("An argument is missing.")
                : QStringLiteral("Unexpected argument '%1'.").arg(positional.value(wanted)));
    if (historyCommand)
        return showHistory(options, parser.value(since));
    if (!withoutCameras && options.cameras.isEmpty() && !options.all)
        return usageError(*command, QStringLiteral("Name the cameras with -c CAM or --all."));

    UdpSocket::startup();
    int status = ExitRefused;
    if (list) {
        status = listCameras(options);
    } else if (doctorCommand) {
        status = runDoctor(options);
    } else if (name == QLatin1String("force-ip")) {
        status = forceIp(options, parser.value(ip), parser.value(mask), parser.value(gateway));
    } else if (name == QLatin1String("ip-config")) {
        ipassign::Mode mode = ipassign::LinkLocal;
        if (!ipassign::modeFromName(positional.first(), mode))
            status = usageError(*command, QStringLiteral("The mode is static, dhcp or lla."));
        else if (mode != ipassign::Static &&
                 (parser.isSet(ip) || parser.isSet(mask) || parser.isSet(gateway)))
            status = usageError(*command, QStringLiteral("Only static takes addresses."));
        else
            status = ipConfig(options, mode, parser.value(ip), parser.value(mask),
                              parser.value(gateway));
    } else if (name == QLatin1String("write-param")) {
        status = writeParam(options, positional.first(), parser.value(dumpDir),
                            parser.isSet(QStringLiteral("changed-only")));
    } else {
        status = program(options, positional.first(), parser.isSet(yes), parser.isSet(changedOnly));
    }
    UdpSocket::cleanup();
    return status;
}

}  // namespace
