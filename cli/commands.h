// The subcommands of orvanta-cli, after their options were read. Each returns
// the process's exit status.
#pragma once

#include "ipassignment.h"

#include <QString>
#include <QStringList>

enum ExitStatus {
    ExitSucceeded = 0,  // every camera succeeded
    ExitFailed = 1,     // a job failed or was stopped
    ExitRefused = 2,    // a usage error, or a refusal before anything was sent
    ExitNoMatch = 3,    // a selector matched no camera, or too many for an IP command
};

struct CommonOptions {
    QStringList cameras;    // -c selectors
    bool all = false;       // --all
    QString onlyInterface;  // --interface
    QString settingsPath;   // --settings: a setting.ini to honour
    int jobs = 0;           // --jobs; 0: every camera at once
    bool json = false;      // --json
    bool details = false;   // list --details
    bool dryRun = false;    // --dry-run: every check and read, no write of any kind
    QString historyPath;    // --history, else ORVANTA_HISTORY, else the state folder's
};

int listCameras(const CommonOptions &options);
// In doctor.cpp: exit 0 when nothing is found, 1 when something is.
int runDoctor(const CommonOptions &options);
int forceIp(const CommonOptions &options, const QString &ip, const QString &mask,
            const QString &gateway);
int ipConfig(const CommonOptions &options, ipassign::Mode mode, const QString &ip,
             const QString &mask, const QString &gateway);
int writeParam(const CommonOptions &options, const QString &path, const QString &dumpDirectory,
               bool changedOnly = false);
int program(const CommonOptions &options, const QString &path, bool yes, bool changedOnly);
// `history`: the entries of the history file, those of the -c cameras and
// from `since` on (both optional). historycommand.cpp.
int showHistory(const CommonOptions &options, const QString &since);
