// The command line's IP commands with what a fleet rollout needs: a dry run
// that sends no command that changes anything, and "unchanged" when the
// camera already has what was asked, so that running a command twice writes
// once. The window's IP panel keeps its own plain sequence (ipassignment.h).
#pragma once

#include "bootstrap.h"
#include "devicerecord.h"
#include "endings.h"
#include "ipassignment.h"

namespace ipchange {

// Does the camera, as discovery just saw it, run these three addresses?
bool runs(const DeviceRecord &camera, const ipassign::Addresses &addresses);

// Does the configuration read back from the camera store `mode` (and, for a
// static one, these addresses)? A register the camera lacks matches nothing.
bool stores(const bootstrap::StoredConfiguration &stored, ipassign::Mode mode,
            const ipassign::Addresses &addresses);

// FORCEIP, unless the camera already runs these addresses. A dry run sends
// nothing at all.
endings::Ending forceIp(CameraChannel &channel, const DeviceRecord &camera,
                        const ipassign::Addresses &addresses, bool dryRun);

// IP Config and the restart, unless the camera's stored configuration, read
// back from it, already matches (and a static one is what it runs). When it
// cannot be read, a real run writes and a dry run says it would. A dry run
// only reads.
endings::Ending ipConfig(CameraChannel &channel, const DeviceRecord &camera, ipassign::Mode mode,
                         const ipassign::Addresses &addresses, bool dryRun);

// What was asked, for the history: "force 192.0.2.30 255.255.255.0
// 192.0.2.254", "static 192.0.2.31 ...", "dhcp" or "lla".
QString forceIpText(const ipassign::Addresses &addresses);
QString ipConfigText(ipassign::Mode mode, const ipassign::Addresses &addresses);

}  // namespace ipchange
