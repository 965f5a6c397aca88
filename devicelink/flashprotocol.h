// The camera's flash protocol: a 4,096-byte transfer window written and read
// in 512-byte pieces, and a control word that programs the window into a
// flash sector (0xD5) or loads a sector into it (0xD6). Every repeated
// exchange is bounded, and a job can be cancelled between exchanges.
#pragma once

#include "deviceaccess.h"
#include "flashmap.h"

#include <atomic>

namespace flash {

constexpr int PieceSize = 512;
constexpr int PieceCount = SectorSize / PieceSize;
constexpr quint16 WindowWriteBase = 0x0C00;
constexpr quint32 WindowReadBase = 0x80000C00;
constexpr quint32 WindowStep = 0x80;  // per 512-byte piece, on both sides
constexpr quint16 ControlWordAddress = 0x27;
constexpr quint8 ProgramOp = 0xD5;
constexpr quint8 LoadOp = 0xD6;
constexpr quint32 AddressMask = 0x00FFFFFF;  // 24-bit flash byte address
constexpr int ProgramPauseMs = 100;          // the camera is never asked whether it finished
constexpr int ReadBufferSize = 2048;
// Consecutive failed attempts of one exchange before giving up: far beyond
// what a few lost datagrams cause, and about ten seconds against a camera
// that no longer answers (each failed attempt waits out a 500 ms receive).
constexpr int MaxAttempts = 20;

enum class Status {
    Ok,
    NoAnswer,     // MaxAttempts exchanges in a row failed
    Cancelled,    // stopped on request between two exchanges
    Refused,      // an address or size this protocol never sends; nothing was sent
    CameraError,  // the camera answered with an error status: not retried blindly
};

// What stops a job between two exchanges: its own cancel flag and one shared
// by every job of a run (Ctrl+C). Either may be null.
class StopFlags {
public:
    StopFlags(const std::atomic<bool> *own = nullptr, const std::atomic<bool> *shared = nullptr)
        : own_(own), shared_(shared)
    {
    }
    bool raised() const { return (own_ && own_->load()) || (shared_ && shared_->load()); }

private:
    const std::atomic<bool> *own_;
    const std::atomic<bool> *shared_;
};

struct BlockResult {
    Status status = Status::Ok;
    ExchangeResult last;  // the exchange that ended a failed block
    bool ok() const { return status == Status::Ok; }
};

// Writes one 4 KB block at `flashAddress`: eight window pieces, the 0xD5
// control word, then the 100 ms pause. The one block writer under both
// flash writers.
BlockResult writeFlashBlock(DeviceAccess &device, const quint8 *block, quint32 flashAddress,
                            const StopFlags &stop = StopFlags());

// Reads 4,096 bytes at `flashAddress` into `destination`: the 0xD6 control
// word, then eight window pieces.
BlockResult readFlashBlock(DeviceAccess &device, quint8 *destination, quint32 flashAddress,
                           const StopFlags &stop = StopFlags());

// Sends four control-word bytes to address 0x27, again while the camera does
// not answer, at most MaxAttempts times.
BlockResult sendControlWord(DeviceAccess &device, const quint8 word[4],
                            const StopFlags &stop = StopFlags());

}  // namespace flash
