// One flash job on one camera: the image it writes, the sectors to program
// and to read back, a cancel flag, its progress and its outcome. The
// parameter writer and the bitstream programmer both plan one; the job runner
// (jobrunner.h) runs it on a worker thread, and it reports its progress
// through a callback.
#pragma once

#include "deviceaccess.h"
#include "flashprotocol.h"

#include <QByteArray>
#include <QMetaType>
#include <QVector>

#include <atomic>
#include <functional>

namespace flash {

// A parameter write, a bitstream, or one device-specific control word sent
// to the flash's control register (nothing else).
enum class JobKind { Parameter, Bitstream, ControlWord };
enum class Phase { Comparing, Writing, ReadingBack };

struct JobProgress {
    Phase phase = Phase::Writing;
    int step = 0;     // sectors done in this phase, 1..total
    int total = 0;    // sectors this phase will do
    int sector = -1;  // the image sector just done
};

struct JobPlan {
    JobKind kind = JobKind::Bitstream;
    QByteArray image;             // whole sectors
    quint32 base = 0;             // flash address of image sector 0
    QVector<int> writeSectors;    // programmed, in this order
    bool verify = false;          // read back and compare
    QVector<int> readSectors;     // read back, in this order
    QVector<int> compareSectors;  // compared with the image
    // Read writeSectors first and program only those that differ.
    bool changedOnly = false;
    // Reads only: with changedOnly the sectors are compared and the job ends
    // there; without it the job ends before any exchange. Nothing is written.
    bool dryRun = false;
    // When set, every read sector is read before any comparison, and this is
    // called in between with an image-sized read-back buffer (the dumps).
    std::function<void(const QByteArray &image, const QByteArray &readBack)> afterReadBack;
    // ControlWord: the four bytes sent, most significant first.
    quint32 controlWord = 0;
};

enum class JobResult {
    Success,
    Done,
    VerifyError,
    NoAnswer,
    CameraError,
    Refused,
    Cancelled,
    WouldChange,  // a dry run found sectors to program
    Unchanged,    // the camera holds every sector already: nothing was programmed
};

struct JobOutcome {
    JobResult result = JobResult::Done;
    Phase phase = Phase::Writing;
    int sector = -1;        // where it stopped, or the first sector that differs
    ExchangeResult cause;   // the exchange that ended a NoAnswer or CameraError
    int programmed = 0;     // sectors programmed
    int unchanged = 0;      // sectors not programmed because the camera held them already
    int toProgram = 0;      // sectors found to differ (changedOnly) or planned, before any write
    bool compared = false;  // the sectors were compared with the camera's first
};

class FlashJob {
public:
    using ProgressCallback = std::function<void(const JobProgress &)>;

    explicit FlashJob(JobPlan plan);

    const JobPlan &plan() const { return plan_; }

    // Thread-safe: the job stops before its next exchange.
    void cancel() { cancel_ = true; }
    bool cancelled() const { return cancel_; }

    // `sharedStop`, when given, stops the job as cancel() does.
    JobOutcome run(DeviceAccess &camera, const ProgressCallback &onProgress = {},
                   const std::atomic<bool> *sharedStop = nullptr);

private:
    bool planIsSound() const;

    JobPlan plan_;
    std::atomic<bool> cancel_{false};
};

}  // namespace flash

Q_DECLARE_METATYPE(flash::JobProgress)
