// The bitstream programming job, independent of the window: it programs a
// file from flash address 0 through a DeviceAccess and reports through
// callbacks.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>

class DeviceAccess;

// Everything the job needs from widgets and the device table, taken on the
// GUI thread when Program is clicked.
struct BitstreamJobInput {
    QString path;
    bool cameraSelected = false;  // the device list had a current entry
    QString deviceVersion;        // that record's deviceVersion
};

// How the job talks back. Each is called on the job's own thread; the window
// turns them into queued signals and calls.
struct ProgramCallbacks {
    std::function<void(int num, bool verify)> step;          // sector num done
    std::function<void(QString title, QString text)> msg;    // the job's result
    std::function<void(QString text)> label;                 // the "0/N" label
};

enum class ProgramOutcome {
    Success,         // programmed and read back equal
    Done,            // programmed, no read-back (version or no camera)
    VerifyError,     // read-back differs in `sector`
    OpenFailed,      // file could not be opened or read
    TooLarge,        // file beyond the 24-bit flash address range
    NoAnswerProgram, // camera stopped answering while programming `sector`
    NoAnswerVerify,  // camera stopped answering while verifying `sector`
    Cancelled,       // the window is closing; nothing shown
};

struct ProgramResult {
    ProgramOutcome outcome = ProgramOutcome::Done;
    int sector = -1;
};

namespace programtext {
QString openFailed();
QString tooLarge();
QString done();
QString success();
QString verifyError(int sector);
QString noAnswerProgram(int sector);
QString noAnswerVerify(int sector);
QString paramAreaQuestion(quint32 base);
}  // namespace programtext

// Reads the file named in `input` into `bitData` (padded with 0xFF to whole
// sectors), sets `sectorCount`, programs every sector from address 0 and,
// when the camera's version allows it, reads each one back and compares it.
// Every outcome but Cancelled is reported through `callbacks.msg` exactly
// once. `cancel` is looked at between exchanges.
ProgramResult runProgramJob(DeviceAccess &device, const BitstreamJobInput &input,
                            QByteArray &bitData, std::atomic<int> &sectorCount,
                            const ProgramCallbacks &callbacks,
                            const std::atomic<bool> *cancel = nullptr);
