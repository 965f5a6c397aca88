#include "pcfacts.h"

// Windows has no reverse-path filter to speak of and grants the receive
// buffer discovery asks for; its link speeds are not read yet.
namespace pcfacts {

Counters readCounters() { return Counters(); }

qint64 receiveBufferLimit() { return -1; }

int linkSpeedMbps(const QString &) { return -1; }

int reversePathFilter(const QString &) { return -1; }

}  // namespace pcfacts
