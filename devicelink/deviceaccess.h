// The narrow exchange interface that the flash protocol and both flash
// writers are written against: one request, one acknowledge, no retries.
// DeviceChannel implements it over UDP; tests implement it in memory.
#pragma once

#include <QtGlobal>

class DeviceAccess {
public:
    virtual ~DeviceAccess() = default;
    virtual bool readReg(quint32 address, quint32 &value) = 0;
    // On success `size` is the reply length (data start at offset 12).
    virtual bool readMem(quint32 address, quint32 count, quint8 *buffer, int &size) = 0;
    virtual bool writeMem(quint16 address, const quint8 *data, int length, int paddedLength) = 0;
    virtual bool writeMemWord(quint32 address, quint32 value) = 0;
};
