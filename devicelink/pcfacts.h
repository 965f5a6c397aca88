// What the PC itself says about its network, for a diagnosis: the drop
// counters of its kernel, its receive buffer limit, and per card the link
// speed and the reverse-path filter. Only read, never set. One source file
// per platform: pcfacts_posix.cpp reads Linux's /proc and /sys (elsewhere
// every fact stays unknown), pcfacts_win.cpp knows nothing yet.
#pragma once

#include <QString>

namespace pcfacts {

// Counters that only grow; -1: not known here.
struct Counters {
    qint64 reversePathDrops = -1;  // datagrams dropped by reverse-path filtering
    // Packets to the PC dropped for their source address, ARP requests from
    // another subnet among them (on Linux counted for the whole machine).
    qint64 martianSources = -1;
    qint64 receiveBufferDrops = -1;  // UDP datagrams dropped because a receive buffer was full
};
Counters readCounters();

// The largest receive buffer an unprivileged process may ask for (bytes,
// net.core.rmem_max); -1: not known.
qint64 receiveBufferLimit();

// A card's link speed in Mb/s; -1 when not known (down, wireless, virtual).
int linkSpeedMbps(const QString &card);

// The reverse-path filter setting (0 off, 1 strict, 2 loose) of a card, or
// of every card when `card` is empty (the kernel takes the larger of the
// two); -1: not known.
int reversePathFilter(const QString &card);

}  // namespace pcfacts
