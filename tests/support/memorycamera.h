// An in-memory camera behind DeviceAccess, so the flash protocol and both
// flash jobs run without a network: a 4,096-byte transfer window (written at
// 0x0C00 + 0x80k, read at 0x80000C00 + 0x80k, 512 bytes a piece), the control
// word at 0x27 (0xD5 programs window -> sector, 0xD6 loads sector -> window)
// and a 16 MiB flash that starts erased. Programming a sector keeps the flash
// busy for 100 ms, during which nothing is answered. Of the registers it has
// the version (0), the heartbeat (0x0938) when given one, and the control
// privilege (0x0A00) for writes only. Written from the camera's side only:
// literal addresses, nothing from the tool's protocol code.
#pragma once

#include "deviceaccess.h"

#include <QByteArray>
#include <QList>

#include <chrono>
#include <cstring>
#include <functional>

class MemoryCamera : public DeviceAccess {
public:
    enum Fault {
        Answer,
        Lost,        // the request never arrives
        NoReply,     // carried out, but the reply is lost (or comes too late)
        ShortReply,  // a READMEM reply one byte short
        Busy,        // answered with the error status 0x8007, not carried out
        Denied,      // answered with 0x8006 (access denied: another application controls it)
    };

    QByteArray flash = QByteArray(16 << 20, char(0xFF));
    QByteArray window = QByteArray(4096, '\0');
    std::function<Fault(int exchange)> fault;  // exchanges count from 1
    int stopAfter = -1;                        // answer this many exchanges, then nothing (-1: never)
    int corruptByte = -1;                      // flash address programmed with one bit flipped
    std::function<void(int exchange)> onExchange;
    quint32 heartbeatMs = 0;           // 0: no heartbeat register
    quint16 privilegeStatus = 0x8001;  // the answer to a privilege write; 0: taken

    int exchanges = 0;
    QList<quint32> programmed, loaded;  // flash addresses of 0xD5 and 0xD6
    QList<quint32> controlWords;
    QList<quint32> privilegeWrites;  // values written to 0x0A00 that arrived
    QList<int> replyCaps;            // capReplyWait(), in order

    QByteArray sector(int s) const { return flash.mid(s * 4096, 4096); }

    ExchangeResult readReg(quint32 address, quint32 &value) override
    {
        value = address == 0 ? 0x00010002 : 0;
        return result(arrive());
    }

    // Register 0 and the heartbeat; any other register is not implemented.
    ExchangeResult readRegs(const quint32 *addresses, int count, quint32 *values) override
    {
        const Fault f = arrive();
        for (int i = 0; i < count; ++i) {
            if (addresses[i] != 0 && !(addresses[i] == 0x0938 && heartbeatMs))
                return f == Answer ? ExchangeResult::cameraStatus(0x8001) : result(f);
            values[i] = addresses[i] == 0 ? 0x00010002 : heartbeatMs;
        }
        return result(f);
    }
    ExchangeResult writeReg(quint32 address, quint32 value) override
    {
        const Fault f = arrive();
        if (f != Lost && address == 0x0A00)
            privilegeWrites.append(value);
        if (f != Answer)
            return result(f);
        const quint16 status = address == 0x0A00 ? privilegeStatus : 0x8001;
        return status ? ExchangeResult::cameraStatus(status) : ExchangeResult::accepted();
    }
    void capReplyWait(int ms) override { replyCaps.append(ms); }

    ExchangeResult readMem(quint32 address, quint32 count, quint8 *buffer, int &size) override
    {
        const Fault f = arrive();
        const int offset = windowOffset(address - 0x80000C00);
        if (f != Answer && f != ShortReply)
            return result(f);
        if (offset < 0 || count != 512 || size < 524)
            return result(NoReply);
        size = f == ShortReply ? 523 : 524;
        const QByteArray reply = QByteArray::fromHex("000000850204") + char(exchanges >> 8) + char(exchanges) +
                                 QByteArray::fromHex("80000C00") + window.mid(offset, 512);
        std::memcpy(buffer, reply.constData(), size_t(size));
        return ExchangeResult::accepted(size);
    }

    ExchangeResult writeMem(quint16 address, const quint8 *data, int length, int paddedLength) override
    {
        const Fault f = arrive();
        if (f == Lost || f == Busy || f == Denied || length != paddedLength)
            return result(f == Answer ? NoReply : f);
        const int offset = windowOffset(address - 0x0C00u);
        if (address == 0x27 && length == 4)
            control(quint32(data[0]) << 24 | quint32(data[1]) << 16 | quint32(data[2]) << 8 | data[3]);
        else if (offset >= 0 && length == 512)
            std::memcpy(window.data() + offset, data, 512);
        else
            return result(NoReply);
        if (f != Answer)  // the tool waits out the lost reply longer than a sector takes
            busyUntil = Clock::time_point();
        return result(f);
    }

    ExchangeResult writeMemWord(quint32 address, quint32 value) override
    {
        const Fault f = arrive();
        if (f == Lost || f == Busy || f == Denied || address != 0x27)
            return result(f == Answer ? NoReply : f);
        control(value);
        return result(f);
    }

private:
    using Clock = std::chrono::steady_clock;

    static ExchangeResult result(Fault f)
    {
        if (f == Answer)
            return ExchangeResult::accepted();
        if (f == Busy || f == Denied)
            return ExchangeResult::cameraStatus(f == Busy ? 0x8007 : 0x8006);
        return ExchangeResult::of(ExchangeResult::Kind::NoReply);
    }

    static int windowOffset(quint32 offset)
    {
        return offset < 0x400 && offset % 0x80 == 0 ? int(offset / 0x80 * 512) : -1;
    }

    Fault arrive()
    {
        ++exchanges;
        if (onExchange)
            onExchange(exchanges);
        if ((stopAfter >= 0 && exchanges > stopAfter) || Clock::now() < busyUntil)
            return Lost;
        return fault ? fault(exchanges) : Answer;
    }

    void control(quint32 word)
    {
        controlWords.append(word);
        const int address = int(word & 0x00FFFFFF);
        if (address % 4096 != 0)
            return;
        if (word >> 24 == 0xD5) {
            programmed.append(quint32(address));
            std::memcpy(flash.data() + address, window.constData(), 4096);
            if (corruptByte >= address && corruptByte < address + 4096)
                flash[corruptByte] = char(flash[corruptByte] ^ 0x01);
            busyUntil = Clock::now() + std::chrono::milliseconds(100);
        } else if (word >> 24 == 0xD6) {
            loaded.append(quint32(address));
            std::memcpy(window.data(), flash.constData() + address, 4096);
        }
    }

    Clock::time_point busyUntil;
};
