// The bitstream programmer without a window: the checks before anything is
// sent, the file read into whole sectors, and the flash job's plan. Its
// endings are told in endings.h's words.
#pragma once

#include "firmwareversion.h"
#include "flashjob.h"
#include "usermessage.h"

#include <QByteArray>
#include <QString>

namespace bitstream {

enum class LoadStatus { Ok, OpenFailed, TooLarge };

struct BitstreamLoad {
    LoadStatus status = LoadStatus::Ok;
    QByteArray data;  // padded with 0xFF to whole sectors
    int sectorCount = 0;
    QByteArray sha256;  // of the file's bytes as read, before the padding
};

// Reads at most 16 MiB + 1 bytes, so an oversized file is recognised without
// holding it, and pads the rest of the last sector with 0xFF.
BitstreamLoad loadBitstream(const QString &path);
UserMessage loadFailedMessage(LoadStatus status);

// What the Program button checks before the camera is asked anything.
struct Preflight {
    enum class Kind { Go, Refuse, Ask };
    Kind kind = Kind::Go;
    UserMessage message;  // the refusal, or the question to answer Yes to
};

// A path of fewer than 3 characters is refused; a file over 16 MiB is
// refused; one that reaches the camera's parameter area needs a Yes. A file
// that cannot be read is left to the job, which reports it.
Preflight preflight(const QString &path, const FirmwareVersion &camera);

// Programs every sector from address 0; with `verify`, reads each back and
// compares it, stopping at the first that differs. With `changedOnly`,
// sectors the camera already holds are left alone (needs `verify`).
flash::JobPlan planProgram(const QByteArray &padded, bool verify, bool changedOnly = false);

namespace texts {
QString selectBitFileFirst();
QString paramAreaQuestion(quint32 base);
}  // namespace texts

}  // namespace bitstream
