// Many cameras behind one socket, as the tool sees a segment full of them:
// each is its own Camera, and a datagram goes to the cameras it is for.
#pragma once

#include "camera.h"

#include <vector>

namespace camsim {

constexpr int MaxFleet = 253;  // .2 to .254 of one /24

// `count` cameras derived from `first`: camera i (from 0) has address
// first.ip + i, the MAC plus i in its low three bytes, serial and user name
// with the suffix "-NNN" (i + 1; the name is cut so that the suffix always
// fits its 16-byte field), and the fault seed plus i.
std::vector<Camera> makeFleet(const Identity &first, const Faults &faults, int count);
Identity fleetMember(const Identity &first, int index);

// The cameras a datagram sent to `to` is for. DISCOVERY, FORCEIP and
// IPCONFIG reach every camera (the last two name a MAC, which each camera
// judges for itself); anything else reaches the camera whose current address
// is `to`, and none when no camera has it.
std::vector<size_t> fleetRecipients(const std::vector<Camera> &cameras, const uint8_t *data,
                                    size_t length, const Ip4 &to);

}  // namespace camsim
