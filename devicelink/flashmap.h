// The camera's flash as both flash writers see it: 16 MiB in 4 KB sectors,
// the bitstream from address 0, and the parameter area, whose place depends
// on the firmware's major version.
#pragma once

#include "firmwareversion.h"

#include <QtGlobal>

namespace flash {

constexpr int SectorSize = 4096;
constexpr quint32 FlashSize = 0x01000000;  // 16 MiB, what a 24-bit address reaches

// Firmware 3.x and 4.x keep their parameters at 2 MB, every other one at 1.5 MB.
inline quint32 parameterAreaBase(int major)
{
    return major == 3 || major == 4 ? 0x200000 : 0x180000;
}

}  // namespace flash
