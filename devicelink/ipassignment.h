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
// The mode IP Config stores for the checked button: DHCP, else Static, else LLA.
Mode modeFor(bool dhcpChecked, bool staticChecked);
// "static", "dhcp" and "lla": the modes' names on the command line and in JSON.
QString modeName(Mode mode);
// False for any other text.
bool modeFromName(const QString &name, Mode &mode);

// An address proposal in the subnet of a PC card (random ip).
struct AddressProposal {
    QString ip;
    QString mask;
    QString gateway;
};
// For the card's address `hostIP` and a draw r from 0 to 32767: host number
// 1 + r/32767*252 (1..253, 253 only for 32767), gateway .254, mask
// 255.255.255.0 (255.255.0.0 for 169.x). False, and `out` untouched, unless
// hostIP has exactly four dot-separated parts.
bool randomHostAddress(const QString &hostIP, int r, AddressProposal &out);
constexpr int ProposalDrawLimit = 32768;  // draws are 0 .. 32767

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

}  // namespace ipassign
