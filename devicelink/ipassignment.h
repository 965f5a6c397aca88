// Changing a camera's IP settings: the address fields checked before
// anything is sent, the configuration modes, and IP Config followed by the
// restart that makes the camera use what was stored.
#pragma once

#include "camerachannel.h"

#include <QString>

namespace ipassign {

// The configuration byte IP Config stores (GigE Vision bits: 0x01 persistent
// IP, 0x02 DHCP, 0x04 link-local address).
enum Mode { Static = 0x05, Dhcp = 0x06, LinkLocal = 0x04 };

// The mode a camera's current configuration byte (discovery) stands for, as
// the IP panel shows it: persistent IP before DHCP, otherwise link-local.
Mode modeOf(qint32 ipConfig);

struct Addresses {
    quint8 ip[4] = {};
    quint8 mask[4] = {};
    quint8 gateway[4] = {};
};

// Checks the three texts in order; on the first that is not a dotted IPv4
// address returns false and the message naming it ("The subnet mask is not
// a valid IPv4 address ...").
bool parseAddresses(const QString &ip, const QString &mask, const QString &gateway, Addresses &out,
                    QString &error);

struct ConfigOutcome {
    ExchangeResult stored;     // IPCONFIG
    ExchangeResult restarted;  // FORCEIP to 0.0.0.0
};

// Stores `mode` (and, for Static, the addresses) in the camera, then sends
// FORCEIP to 0.0.0.0, on which the camera restarts its IP configuration with
// what was stored. The restart goes out whatever the first answer was.
ConfigOutcome configureAndRestart(CameraChannel &channel, const quint8 mac[6], Mode mode,
                                  const Addresses &addresses);

QString forceIpFailedText();
QString configFailedText();

}  // namespace ipassign
