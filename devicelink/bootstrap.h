// The standard bootstrap registers that say how a camera is set up: what it
// will use at its next start (the current IP configuration register and the
// persistent address), its network interfaces, capabilities and link speed.
// A register the camera does not have is left out, never guessed.
#pragma once

#include "deviceaccess.h"

#include <QString>
#include <QStringList>
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

// Several registers: one READREG of them all; when the camera refuses that
// with an error status (it lacks one of them, or reads one at a time), each
// on its own. The result is the first exchange's, or the one at which the
// camera stopped answering on the way through them one by one: not ok and
// not a camera status means it did not answer, and the registers not read
// stay absent.
ExchangeResult readRegisters(DeviceAccess &camera, const quint32 *addresses, Register *out,
                             int count, int attempts = 3);

// What a diagnosis reads of a camera besides its stored configuration.
struct CameraSetup {
    StoredConfiguration stored;
    Register interfaces;  // number of network interfaces
    Register capability;  // GVCP capability word
    Register linkSpeed;   // Mb/s; read only where the capability says it exists
};

// The result as readRegisters'.
ExchangeResult readCameraSetup(DeviceAccess &camera, CameraSetup &out, int attempts = 2);

// "static 192.0.2.50 / 255.255.255.0 / 192.0.2.254", "DHCP, then link-local",
// "DHCP", "link-local", "no IP configuration enabled": what the camera does at
// its next start; a persistent address register it lacks is left out. Empty
// when the camera lacks the IP configuration register.
QString nextStartText(const StoredConfiguration &stored);
// "After a power cycle: " and nextStartText, or empty when that is empty.
QString powerCycleLine(const StoredConfiguration &stored);
// The procedures enabled in an IP configuration word by their command-line
// names, in the order the camera tries them: "static", "dhcp", "lla".
QStringList enabledModeNames(quint32 ipConfig);

// The four bytes of an address register, in dotted order.
void addressBytes(quint32 value, quint8 out[4]);

}  // namespace bootstrap
