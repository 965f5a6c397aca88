// An in-memory camera behind the DeviceAccess interface: the 4,096-byte
// transfer window, the control word at 0x27 and a 16 MiB flash, with the
// faults the write job has to survive or report.
#pragma once

#include "deviceaccess.h"

#include <QList>
#include <QPair>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

class FakeCamera : public DeviceAccess {
public:
    static constexpr quint32 FlashSize = 0x01000000;

    std::vector<quint8> window = std::vector<quint8>(4096, 0);
    std::vector<quint8> flash = std::vector<quint8>(FlashSize, 0xFF);

    // What the camera saw.
    QList<quint32> programmed;                 // flash addresses of 0xD5 commands
    QList<quint32> loaded;                     // flash addresses of 0xD6 commands
    QList<QPair<quint8, quint32>> otherWords;  // control words with other codes
    QList<QByteArray> controlWrites;           // raw bytes of 4-byte writes to 0x27
    int exchanges = 0;                         // every call, answered or not
    int readRegs = 0;

    // Faults.
    int answerLimit = -1;       // stop answering after this many exchanges (-1: never)
    int dropEvery = 0;          // fail every n-th exchange (0: never)
    int failFirst = 0;          // fail the first n exchanges
    quint32 corruptSector = 0xFFFFFFFF;  // flash address whose programming goes wrong
    std::function<void(int)> onExchange;  // called with the exchange count

    bool readReg(quint32, quint32 &value) override
    {
        if (!answer())
            return false;
        ++readRegs;
        value = 0x00010002;
        return true;
    }

    bool readMem(quint32 address, quint32 count, quint8 *buffer, int &size) override
    {
        if (!answer())
            return false;
        const quint32 base = 0x80000C00;
        if (address < base || address > base + 7 * 0x80 || (address - base) % 0x80 || count != 512)
            return false;
        const int piece = int((address - base) / 0x80);
        const int length = std::min<int>(12 + 512, size);
        std::memset(buffer, 0, 12);
        buffer[2] = 0x00;
        buffer[3] = 0x85;
        std::memcpy(buffer + 12, window.data() + 512 * piece, size_t(length - 12));
        size = length;
        return true;
    }

    bool writeMem(quint16 address, const quint8 *data, int length, int paddedLength) override
    {
        if (!answer())
            return false;
        if (address >= 0x0C00 && address <= 0x0F80 && (address - 0x0C00) % 0x80 == 0) {
            if (length != 512 || paddedLength != 512)
                return false;
            std::memcpy(window.data() + 512 * ((address - 0x0C00) / 0x80), data, 512);
            return true;
        }
        if (address == 0x27 && length == 4 && paddedLength == 4) {
            controlWrites.append(QByteArray(reinterpret_cast<const char *>(data), 4));
            control(quint32(data[0]) << 24 | quint32(data[1]) << 16 | quint32(data[2]) << 8 | data[3]);
            return true;
        }
        return false;
    }

    bool writeMemWord(quint32 address, quint32 value) override
    {
        if (!answer())
            return false;
        if (address != 0x27)
            return false;
        control(value);
        return true;
    }

    QByteArray flashBytes(quint32 address, int count) const
    {
        return QByteArray(reinterpret_cast<const char *>(flash.data()) + address, count);
    }

private:
    bool answer()
    {
        ++exchanges;
        if (onExchange)
            onExchange(exchanges);
        if (answerLimit >= 0 && exchanges > answerLimit)
            return false;
        if (exchanges <= failFirst)
            return false;
        if (dropEvery > 0 && exchanges % dropEvery == 0)
            return false;
        return true;
    }

    void control(quint32 word)
    {
        const quint8 op = quint8(word >> 24);
        const quint32 address = word & 0x00FFFFFF;
        if (op == 0xD5) {
            programmed.append(address);
            std::memcpy(flash.data() + address, window.data(), 4096);
            if (address == corruptSector)
                flash[address + 100] ^= 0x5A;
        } else if (op == 0xD6) {
            loaded.append(address);
            std::memcpy(window.data(), flash.data() + address, 4096);
        } else {
            otherWords.append(qMakePair(op, address));
        }
    }
};
