#include "flashprotocol.h"

#include "gvcp.h"

#include <QDebug>

#include <chrono>
#include <cstring>
#include <thread>

namespace flash {

namespace {

bool cancelled(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load();
}

// A control word carries the address in its low 24 bits and the operation
// in the top byte: an address that is not a sector inside the flash would
// turn into another operation or another sector, so it is never sent.
bool validSectorAddress(quint32 flashAddress)
{
    return flashAddress < FlashSize && flashAddress % SectorSize == 0;
}

// Repeats one exchange until it succeeds, at most MaxAttempts times in a
// row, looking at the cancel flag before each attempt.
template <class Attempt, class OnFailure>
Status repeat(const std::atomic<bool> *cancel, Attempt attempt, OnFailure onFailure)
{
    for (int tries = 0; tries < MaxAttempts; ++tries) {
        if (cancelled(cancel))
            return Status::Cancelled;
        if (attempt())
            return Status::Ok;
        onFailure();
    }
    return Status::NoAnswer;
}

}  // namespace

Status writeFlashBlock(DeviceAccess &device, const quint8 *block, quint32 flashAddress,
                       const std::atomic<bool> *cancel)
{
    if (!block || !validSectorAddress(flashAddress)) {
        qDebug() << "flash write refused: address" << Qt::hex << flashAddress;
        return Status::NoAnswer;
    }
    for (int k = 0; k < PieceCount; ++k) {
        const quint16 window = quint16(WindowWriteBase + WindowStep * quint32(k));
        const quint8 *piece = block + PieceSize * k;
        Status s = repeat(
            cancel, [&] { return device.writeMem(window, piece, PieceSize, PieceSize); }, [] {});
        if (s != Status::Ok)
            return s;
    }
    const quint8 control[4] = {ProgramOp, quint8(flashAddress >> 16), quint8(flashAddress >> 8),
                               quint8(flashAddress)};
    Status s = repeat(
        cancel, [&] { return device.writeMem(ControlWordAddress, control, 4, 4); }, [] {});
    if (s != Status::Ok)
        return s;
    // The camera is programming the sector now; it is not interrupted, even
    // by a cancel, so the next exchange never lands in the middle of it.
    std::this_thread::sleep_for(std::chrono::milliseconds(ProgramPauseMs));
    return Status::Ok;
}

Status readFlashBlock(DeviceAccess &device, quint8 *destination, quint32 flashAddress,
                      const std::atomic<bool> *cancel)
{
    if (!destination || !validSectorAddress(flashAddress)) {
        qDebug() << "flash read refused: address" << Qt::hex << flashAddress;
        return Status::NoAnswer;
    }
    const quint32 word = (quint32(LoadOp) << 24) | (flashAddress & AddressMask);
    Status s = repeat(
        cancel, [&] { return device.writeMemWord(ControlWordAddress, word); },
        [&] { qDebug() << "reread" << flashAddress; });
    if (s != Status::Ok)
        return s;

    quint8 buffer[ReadBufferSize];
    for (int k = 0; k < PieceCount; ++k) {
        const quint32 window = WindowReadBase + WindowStep * quint32(k);
        int size = 0;
        s = repeat(
            cancel,
            [&] {
                std::memset(buffer, 0, sizeof buffer);
                size = ReadBufferSize;
                // A reply that does not carry the whole piece would leave
                // part of the destination unwritten: it counts as failed.
                return device.readMem(window, PieceSize, buffer, size) &&
                       size >= gvcp::ReadMemDataOffset + PieceSize;
            },
            [] {});
        if (s != Status::Ok)
            return s;
        std::memcpy(destination + PieceSize * k, buffer + gvcp::ReadMemDataOffset, PieceSize);
    }
    return Status::Ok;
}

}  // namespace flash
