// What a command did on each camera, and the flash jobs of many cameras run
// at once: one thread and one channel per running camera.
#pragma once

#include "devicerecord.h"
#include "exchangeresult.h"
#include "flashjob.h"
#include "usermessage.h"

#include <QList>
#include <QString>

#include <cstdio>
#include <functional>

struct CameraResult {
    DeviceRecord record;
    QString result;   // success, done, verify-error, no-answer, refused or cancelled
    int sector = -1;  // where the job stopped, or the sector that differs
    QString message;  // the window's text for this ending
    double seconds = 0;
    int cameraStatus = -1;  // the error status the camera answered with, if it did

    bool succeeded() const;
};

// "192.0.2.10 02:00:00:00:00:01 SERIAL": how a camera is named in every line.
QString identity(const DeviceRecord &record);

// An IP command's ending: `failedText` unless the camera acknowledged.
CameraResult ipCommandResult(const DeviceRecord &record, const ExchangeResult &exchange,
                             const QString &doneText, const QString &failedText);

// Prints the closing lines, or only the JSON array of the results on stdout.
// Returns the exit status: 0 when every camera succeeded, 1 otherwise.
int report(const QList<CameraResult> &results, bool json, bool linesPrinted = false);

struct FlashTask {
    DeviceRecord record;
    flash::JobPlan plan;
    std::function<UserMessage(const flash::JobOutcome &)> messageFor;
};

// Runs every task, at most `parallel` at a time: each probes its camera, then
// runs its job on a channel of its own. Progress and the closing lines go to
// `progress` (redrawn in place when `live`). From the start on, Ctrl+C stops
// every running job between two exchanges and starts no further one.
QList<CameraResult> runFlashTasks(const QList<FlashTask> &tasks, int parallel, std::FILE *progress,
                                  bool live);
