// An in-memory camera behind the DeviceAccess interface: a 4,096-byte
// transfer window, a control word at 0x27 and a 16 MiB flash that starts
// erased. It keeps a record of what was asked of it and can be told to
// misbehave, so the programming job can be tested without a network.
#pragma once

#include "deviceaccess.h"

#include <QByteArray>
#include <QList>
#include <QVector>
#include <atomic>
#include <cstring>

class FakeCamera : public DeviceAccess {
public:
    static constexpr int FlashSize = 16 * 1024 * 1024;
    static constexpr int WindowSize = 4096;

    struct WriteCall {
        quint16 address;
        QByteArray data;
    };

    FakeCamera() : flash(FlashSize, char(0xFF)), window(WindowSize, char(0)) {}

    // Faults
    int stopAfter = -1;           // answer this many exchanges, then nothing
    int dropEvery = 0;            // fail every n-th exchange (0: never)
    int corruptSector = -1;       // flip a bit of this sector when it is programmed
    int cancelAfter = -1;         // set *cancelFlag after this many exchanges
    std::atomic<bool> *cancelFlag = nullptr;

    // What happened
    QByteArray flash;
    QByteArray window;
    int exchanges = 0;
    QList<quint32> programmed;    // flash addresses of 0xD5 commands
    QList<quint32> loaded;        // flash addresses of 0xD6 commands
    QList<quint32> controlWords;  // every control word, as written
    QList<WriteCall> writes;      // every acknowledged data-form write (if recordWrites)
    bool recordWrites = false;

    bool readReg(quint32 address, quint32 &value) override
    {
        if (!answer())
            return false;
        value = address == 0 ? 0x00010002 : 0;
        return true;
    }

    bool readMem(quint32 address, quint32 count, quint8 *buffer, int &size) override
    {
        if (!answer())
            return false;
        const quint32 offset = windowOffset(address & 0x7FFFFFFF);
        if (!(address & 0x80000000) || offset == NoOffset || count > 512 || size < int(12 + count))
            return false;
        std::memset(buffer, 0, 12);
        buffer[3] = 0x85;
        buffer[8] = quint8(address >> 24);
        buffer[9] = quint8(address >> 16);
        buffer[10] = quint8(address >> 8);
        buffer[11] = quint8(address);
        std::memcpy(buffer + 12, window.constData() + offset, count);
        size = int(12 + count);
        return true;
    }

    bool writeMem(quint16 address, const quint8 *data, int length, int paddedLength) override
    {
        if (!answer())
            return false;
        QByteArray bytes(reinterpret_cast<const char *>(data), qMin(length, paddedLength));
        if (bytes.size() < paddedLength)
            bytes.append(paddedLength - bytes.size(), char(0));
        if (recordWrites)
            writes.append({address, bytes});
        if (address == 0x27 && bytes.size() == 4) {
            control(quint32(quint8(bytes[0])) << 24 | quint32(quint8(bytes[1])) << 16 |
                    quint32(quint8(bytes[2])) << 8 | quint32(quint8(bytes[3])));
            return true;
        }
        const quint32 offset = windowOffset(address);
        if (offset == NoOffset || bytes.size() != 512)
            return true;  // accepted, not part of the window
        std::memcpy(window.data() + offset, bytes.constData(), 512);
        return true;
    }

    bool writeMemWord(quint32 address, quint32 value) override
    {
        if (!answer())
            return false;
        if (address == 0x27)
            control(value);
        return true;
    }

    QByteArray sector(int s) const { return flash.mid(s * WindowSize, WindowSize); }

private:
    static constexpr quint32 NoOffset = 0xFFFFFFFF;

    static quint32 windowOffset(quint32 address)
    {
        if (address < 0x0C00 || address > 0x0F80 || (address - 0x0C00) % 0x80 != 0)
            return NoOffset;
        return (address - 0x0C00) / 0x80 * 512;
    }

    bool answer()
    {
        ++exchanges;
        if (cancelFlag && cancelAfter >= 0 && exchanges > cancelAfter)
            *cancelFlag = true;
        if (stopAfter >= 0 && exchanges > stopAfter)
            return false;
        if (dropEvery > 0 && exchanges % dropEvery == 0)
            return false;
        return true;
    }

    void control(quint32 word)
    {
        controlWords.append(word);
        const quint32 address = word & 0x00FFFFFF;
        const quint8 op = quint8(word >> 24);
        if (address % WindowSize != 0)
            return;
        if (op == 0xD5) {
            programmed.append(address);
            std::memcpy(flash.data() + address, window.constData(), WindowSize);
            if (int(address / WindowSize) == corruptSector)
                flash[int(address)] = char(flash[int(address)] ^ 0x01);
        } else if (op == 0xD6) {
            loaded.append(address);
            std::memcpy(window.data(), flash.constData() + address, WindowSize);
        }
    }
};
