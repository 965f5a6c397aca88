// How a job on one camera ended, and the one catalogue of what each ending is
// called: the text the technician reads (the window's message box, the
// command line's closing line) and the command line's result name. Both front
// ends take their words from here, so they cannot drift apart.
#pragma once

#include "control.h"
#include "exchangeresult.h"
#include "flashjob.h"
#include "usermessage.h"

#include <QMetaType>
#include <QString>

namespace endings {

enum class Operation { WriteParam, Program, ForceIp, IpConfig, ControlWord };

enum class Result {
    Success,      // written and verified; an IP command acknowledged
    Done,         // written; this firmware cannot read its flash back
    VerifyError,  // a sector read back differently
    NoAnswer,     // the camera stopped answering (or never acknowledged)
    CameraError,  // the camera answered with an error status
    Refused,      // the job refused its own plan: nothing was sent
    Cancelled,    // stopped on request between two exchanges
    NotPresent,   // the presence check before the job got no answer: nothing was sent
    NotStarted,   // stopped before the job started: nothing was sent
    WouldChange,  // a dry run: a real run would write; nothing was written
    Unchanged,    // the camera holds it already: nothing was written
    InUse,        // another application controls the camera: nothing was written
    LostControl,  // another application took control during the job, which stopped there
};

// IP Config stores the mode, then restarts the camera's configuration.
enum class IpStep { Store, Restart };

struct Ending {
    Operation operation = Operation::Program;
    Result result = Result::Done;
    flash::Phase phase = flash::Phase::Writing;  // flash jobs: where it ended
    int sector = -1;                             // where it stopped, or the sector that differs
    quint16 cameraStatus = 0;                    // CameraError: what the camera said
    IpStep ipStep = IpStep::Store;               // IP Config: the step that failed
    bool restartFailed = false;  // IP Config: the restart was not acknowledged either
    bool changed = false;        // something was written to the camera
    int sectorsToProgram = 0;    // WouldChange of a flash job: sectors a real run writes
    int sectorsCompared = 0;     // ... of this many compared with the camera's (0: none)
    control::Holder holder;      // InUse, LostControl: who controls the camera, where it says
};

Operation operationOf(flash::JobKind kind);
Ending fromOutcome(flash::JobKind kind, const flash::JobOutcome &outcome);
// A FORCEIP; or the two steps of IP Config, the first that failed deciding.
Ending fromForceIp(const ExchangeResult &exchange);
Ending fromIpConfig(const ExchangeResult &stored, const ExchangeResult &restarted);
Ending of(Operation operation, Result result);
// A dry run's or an unchanged camera's ending of an IP command: nothing written.
Ending ipWithoutWrite(Operation operation, bool wouldChange);
Ending inUse(Operation operation, const control::Holder &holder);
// A job that stopped because the camera refused a write with access denied.
Ending lostControl(flash::JobKind kind, const flash::JobOutcome &outcome,
                   const control::Holder &holder);

// What the technician reads. Every job ending has a text; the window leaves
// some unshown (it asks before it cancels a bitstream job).
UserMessage message(const Ending &ending);
// success, done, verify-error, no-answer, refused, cancelled, would-change,
// unchanged, in-use or lost-control.
QString resultName(const Ending &ending);
bool succeeded(const Ending &ending);

}  // namespace endings

Q_DECLARE_METATYPE(endings::Ending)
