// The narrow exchange interface that the flash protocol and the flash jobs
// are written against: one request, one acknowledge, no retries, and a
// result that says what happened. CameraChannel implements it over UDP;
// tests implement it in memory.
#pragma once

#include "exchangeresult.h"

class DeviceAccess {
public:
    virtual ~DeviceAccess() = default;
    virtual ExchangeResult readReg(quint32 address, quint32 &value) = 0;
    // Several registers in one exchange; `values` gets one value per address.
    virtual ExchangeResult readRegs(const quint32 *addresses, int count, quint32 *values) = 0;
    virtual ExchangeResult writeReg(quint32 address, quint32 value) = 0;
    // On success `size` is the reply length (data start at offset 12).
    virtual ExchangeResult readMem(quint32 address, quint32 count, quint8 *buffer, int &size) = 0;
    virtual ExchangeResult writeMem(quint16 address, const quint8 *data, int length,
                                    int paddedLength) = 0;
    virtual ExchangeResult writeMemWord(quint32 address, quint32 value) = 0;
    // While this tool holds control of the camera, one exchange waits at
    // most `ms` for its reply (0: no cap), so that a lost reply cannot outlast
    // the keep-alive interval. Access without a reply time-out ignores it.
    virtual void capReplyWait(int ms) { (void)ms; }
};
