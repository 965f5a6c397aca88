// An in-memory camera behind DeviceAccess, so the flash writers run without a
// network: a 4,096-byte transfer window (written at 0x0C00 + 0x80k, read at
// 0x80000C00 + 0x80k, 512 bytes a piece), the control word at 0x27 (0xD5
// programs window -> sector, 0xD6 loads sector -> window) and a 16 MiB flash
// that starts erased. It records what it was asked and can misbehave.
// Anything the real camera would not acknowledge is left unanswered.
#pragma once

#include "deviceaccess.h"

#include <QByteArray>
#include <QList>

#include <cstring>
#include <functional>

class MemoryCamera : public DeviceAccess {
public:
    static constexpr int FlashSize = 16 * 1024 * 1024;
    static constexpr int SectorSize = 4096;

    struct WriteCall {
        quint16 address;
        QByteArray data;
    };

    QByteArray flash = QByteArray(FlashSize, char(0xFF));
    QByteArray window = QByteArray(SectorSize, char(0));
    quint32 version = 0x00010002;  // what READREG 0 answers

    // Faults.
    int stopAfter = -1;      // answer this many exchanges, then nothing (-1: never)
    int failFirst = 0;       // leave the first n exchanges unanswered
    int dropEvery = 0;       // leave every n-th exchange unanswered (0: never)
    int corruptSector = -1;  // this sector (address / 4096) programs with one bit flipped
    std::function<void(int)> onExchange;  // told the count of every exchange, e.g. to cancel

    // What happened.
    int exchanges = 0;             // every call, answered or not
    QList<quint32> programmed;     // flash addresses of 0xD5 commands
    QList<quint32> loaded;         // flash addresses of 0xD6 commands
    QList<quint32> controlWords;   // every control word, data or word form
    QList<WriteCall> writes;       // every acknowledged data-form write

    QByteArray sector(int s) const { return flash.mid(s * SectorSize, SectorSize); }

    bool readReg(quint32 address, quint32 &value) override
    {
        if (!answer())
            return false;
        value = address == 0 ? version : 0;
        return true;
    }

    bool readMem(quint32 address, quint32 count, quint8 *buffer, int &size) override
    {
        if (!answer() || !(address & 0x80000000))
            return false;
        const int offset = windowOffset(address & 0x7FFFFFFF);
        if (offset < 0 || count != 512 || size < int(12 + count))
            return false;
        std::memset(buffer, 0, 12);
        buffer[3] = 0x85;
        for (int i = 0; i < 4; ++i)
            buffer[8 + i] = quint8(address >> (24 - 8 * i));
        std::memcpy(buffer + 12, window.constData() + offset, count);
        size = int(12 + count);
        return true;
    }

    bool writeMem(quint16 address, const quint8 *data, int length, int paddedLength) override
    {
        if (!answer() || length != paddedLength)
            return false;
        const QByteArray bytes(reinterpret_cast<const char *>(data), length);
        const int offset = windowOffset(address);
        if (address == 0x27 && length == 4) {
            control(quint32(data[0]) << 24 | quint32(data[1]) << 16 | quint32(data[2]) << 8 | data[3]);
        } else if (offset >= 0 && length == 512) {
            std::memcpy(window.data() + offset, data, 512);
        } else {
            return false;
        }
        writes.append({address, bytes});
        return true;
    }

    bool writeMemWord(quint32 address, quint32 value) override
    {
        if (!answer() || address != 0x27)
            return false;
        control(value);
        return true;
    }

private:
    static int windowOffset(quint32 address)
    {
        if (address < 0x0C00 || address > 0x0F80 || (address - 0x0C00) % 0x80 != 0)
            return -1;
        return int(address - 0x0C00) / 0x80 * 512;
    }

    bool answer()
    {
        ++exchanges;
        if (onExchange)
            onExchange(exchanges);
        return !(stopAfter >= 0 && exchanges > stopAfter) && exchanges > failFirst &&
               !(dropEvery > 0 && exchanges % dropEvery == 0);
    }

    void control(quint32 word)
    {
        controlWords.append(word);
        const quint8 op = quint8(word >> 24);
        const int address = int(word & 0x00FFFFFF);
        if (address % SectorSize != 0 || address + SectorSize > FlashSize)
            return;
        if (op == 0xD5) {
            programmed.append(quint32(address));
            std::memcpy(flash.data() + address, window.constData(), SectorSize);
            if (address / SectorSize == corruptSector)
                flash[address] = char(flash[address] ^ 0x01);
        } else if (op == 0xD6) {
            loaded.append(quint32(address));
            std::memcpy(window.data(), flash.constData() + address, SectorSize);
        }
    }
};
