// The standard bootstrap registers that say how a camera is set up: what it
// will use at its next start (the current IP configuration register and the
// persistent address). A register the camera does not have is left out,
// never guessed.
#pragma once

#include "deviceaccess.h"

#include <QtGlobal>

namespace bootstrap {

struct Register {
    bool present = false;  // the camera answered it without an error status
    quint32 value = 0;
};

// One register, asked up to `attempts` times while the camera does not
// answer. An error status leaves it absent; the result is the last exchange.
ExchangeResult readRegister(DeviceAccess &camera, quint32 address, Register &out, int attempts = 3);

struct StoredConfiguration {
    Register ipConfig;  // 0x1 persistent (static), 0x2 DHCP, 0x4 link-local
    Register persistentIp, persistentMask, persistentGateway;
};

// False when the camera stopped answering; registers it lacks stay absent.
bool readStoredConfiguration(DeviceAccess &camera, StoredConfiguration &out);

// The four bytes of an address register, in dotted order.
void addressBytes(quint32 value, quint8 out[4]);

}  // namespace bootstrap
