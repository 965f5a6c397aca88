// Discovery: one DISCOVERY broadcast from every local address, the
// acknowledges of all sockets collected together, and plain records back.
// Nothing here outlives the call: the sockets are closed when it returns.
#pragma once

#include "devicerecord.h"

#include <QList>
#include <QString>

// An IPv4 address of a running, non-loopback network card.
struct LocalAddress {
    QString address;
    QString interfaceName;
    QString netmask;  // dotted; empty when the system does not say
};

// Every such address, in the system's order (an interface with two IPv4
// addresses gives two); each is written to the debug stream ("Interface:").
QList<LocalAddress> usableLocalAddresses();

// One socket discovery sends from.
struct DiscoveryEndpoint {
    QString bindAddress;    // not an address, or not one of the PC's: left unbound
    QString hostIP;         // what the records found here report as their PC address
    QString interfaceName;  // where its broadcast companion listens; empty for none
};

constexpr int MaxDiscoverySockets = 8;

// One endpoint per local address, at most eight; or, when `setting` (the
// File/Broadcast key of setting.ini) is longer than 4 characters, a single
// one bound to it, whose records report the first local address.
QList<DiscoveryEndpoint> discoveryEndpoints(const QList<LocalAddress> &local,
                                            const QString &setting = QString());

struct DiscoveryOptions {
    // The collection ends when no acknowledge has come on any socket for
    // silenceMs, and in any case after limitMs (against a flooding sender).
    int silenceMs = 500;
    int limitMs = 5000;
    quint16 port = 3956;  // the cameras' GVCP port
};

// Sends one DISCOVERY to 255.255.255.255 from every endpoint and lists every
// acknowledge, by endpoint and then by arrival. Per endpoint a companion
// socket (where the system allows one without privileges) also receives
// acknowledges that cameras broadcast; a camera whose acknowledge arrives
// both ways is listed once.
// The receive buffer the system grants a discovery socket (bytes, as the
// system counts them), or 0 when no socket could be opened.
int discoveryReceiveBuffer();

QList<DeviceRecord> discoverCameras(const QList<DiscoveryEndpoint> &endpoints,
                                    const DiscoveryOptions &options = DiscoveryOptions());
