// The parameter write job over a DeviceAccess: program the layout's sectors
// of the image with the shared flash block writer, and when the layout says
// so, read all 37 sectors back, write the two dump files and compare.
// Runs synchronously in the caller's thread; every exchange is bounded.
#pragma once

#include "deviceaccess.h"
#include "flashprotocol.h"
#include "paramlayout.h"

#include <QString>
#include <atomic>

namespace param {

struct ParamWriteOutcome {
    enum class Result {
        Success,      // written, read back and equal
        Done,         // written; this camera cannot be verified
        VerifyError,  // read back, `sector` is the first that differs
        NoAnswer,     // the camera stopped answering in `phase` at `sector`
        Cancelled,    // stopped on request in `phase` at `sector`
    };
    enum class Phase { Writing, ReadingBack };

    Result result = Result::Done;
    int sector = -1;
    Phase phase = Phase::Writing;
};

// `dumpDirectory` empty: "hexdata.dat" and "data.dat" are opened by bare name
// (the process's working directory). A dump file that cannot be written is
// logged only; the comparison still runs.
ParamWriteOutcome writeParamImage(DeviceAccess &device, const quint8 *image,
                                  const ParamLayout &layout,
                                  const QString &dumpDirectory = QString(),
                                  const std::atomic<bool> *cancel = nullptr);

// What the window shows for an outcome: title "Info" or "Error", and whether
// the box is a critical one.
struct ParamMessage {
    bool critical = false;
    QString title;
    QString text;
};
ParamMessage outcomeMessage(const ParamWriteOutcome &outcome);

// The fixed control word that the auxiliary slot sends to address 0x27.
constexpr quint8 FixedControlWord[4] = {0x01, 0x34, 0x3E, 0xF5};

// Sends four control-word bytes to address 0x27, again while the camera does
// not acknowledge, at most `maxAttempts` times. Ok or NoAnswer.
flash::Status sendControlWord(DeviceAccess &device, const quint8 word[4],
                              int maxAttempts = flash::MaxAttempts);

}  // namespace param
