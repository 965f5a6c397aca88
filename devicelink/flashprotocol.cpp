#include "flashprotocol.h"

#include "gvcp.h"
#include "logging.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace flash {

namespace {

// A control word carries the address in its low 24 bits and the operation
// in the top byte: an address that is not a sector inside the flash would
// turn into another operation or another sector, so it is never sent.
bool validSectorAddress(quint32 flashAddress)
{
    return flashAddress < FlashSize && flashAddress % SectorSize == 0;
}

BlockResult refused()
{
    BlockResult r;
    r.status = Status::Refused;
    return r;
}

// Repeats one exchange until it is accepted, at most MaxAttempts times in a
// row, looking at the stop flags before each attempt. An error status from
// the camera ends it at once: repeating the same request will not change the
// camera's mind, and a "busy" camera must not be reported as a silent one.
template <class Attempt, class OnFailure>
BlockResult repeat(const StopFlags &stop, Attempt attempt, OnFailure onFailure)
{
    BlockResult r;
    for (int tries = 0; tries < MaxAttempts; ++tries) {
        if (stop.raised()) {
            r.status = Status::Cancelled;
            return r;
        }
        r.last = attempt();
        if (r.last.ok())
            return r;
        if (r.last.kind == ExchangeResult::Kind::CameraStatus) {
            r.status = Status::CameraError;
            return r;
        }
        onFailure();
    }
    r.status = Status::NoAnswer;
    return r;
}

}  // namespace

BlockResult writeFlashBlock(DeviceAccess &device, const quint8 *block, quint32 flashAddress,
                            const StopFlags &stop)
{
    if (!block || !validSectorAddress(flashAddress)) {
        qCDebug(lcOrvanta) << "flash write refused: address" << Qt::hex << flashAddress;
        return refused();
    }
    for (int k = 0; k < PieceCount; ++k) {
        const quint16 window = quint16(WindowWriteBase + WindowStep * quint32(k));
        const quint8 *piece = block + PieceSize * k;
        const BlockResult r = repeat(
            stop, [&] { return device.writeMem(window, piece, PieceSize, PieceSize); }, [] {});
        if (!r.ok())
            return r;
    }
    const quint8 control[4] = {ProgramOp, quint8(flashAddress >> 16), quint8(flashAddress >> 8),
                               quint8(flashAddress)};
    const BlockResult r = repeat(
        stop, [&] { return device.writeMem(ControlWordAddress, control, 4, 4); }, [] {});
    if (!r.ok())
        return r;
    // The camera is programming the sector now; it is not interrupted, even
    // by a cancel, so the next exchange never lands in the middle of it.
    std::this_thread::sleep_for(std::chrono::milliseconds(ProgramPauseMs));
    return r;
}

BlockResult readFlashBlock(DeviceAccess &device, quint8 *destination, quint32 flashAddress,
                           const StopFlags &stop)
{
    if (!destination || !validSectorAddress(flashAddress)) {
        qCDebug(lcOrvanta) << "flash read refused: address" << Qt::hex << flashAddress;
        return refused();
    }
    const quint32 word = (quint32(LoadOp) << 24) | (flashAddress & AddressMask);
    BlockResult r = repeat(
        stop, [&] { return device.writeMemWord(ControlWordAddress, word); },
        [&] { qCDebug(lcOrvanta) << "reread" << flashAddress; });
    if (!r.ok())
        return r;

    quint8 buffer[ReadBufferSize];
    for (int k = 0; k < PieceCount; ++k) {
        const quint32 window = WindowReadBase + WindowStep * quint32(k);
        int size = 0;
        r = repeat(
            stop,
            [&] {
                std::memset(buffer, 0, sizeof buffer);
                size = ReadBufferSize;
                ExchangeResult e = device.readMem(window, PieceSize, buffer, size);
                // A reply that does not carry the whole piece would leave
                // part of the destination unwritten: it counts as failed.
                if (e.ok() && size < gvcp::ReadMemDataOffset + PieceSize) {
                    e.kind = ExchangeResult::Kind::BadReply;
                    e.length = size;
                }
                return e;
            },
            [] {});
        if (!r.ok())
            return r;
        std::memcpy(destination + PieceSize * k, buffer + gvcp::ReadMemDataOffset, PieceSize);
    }
    return r;
}

BlockResult sendControlWord(DeviceAccess &device, const quint8 word[4], const StopFlags &stop)
{
    return repeat(
        stop, [&] { return device.writeMem(ControlWordAddress, word, 4, 4); }, [] {});
}

}  // namespace flash
