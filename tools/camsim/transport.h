// The simulator's UDP side: one socket, a poll loop with timers for held
// replies, the flash dump on SIGUSR1 and at exit, and the ip hook. With
// `fleet` set, several cameras share the socket: datagrams are routed as
// fleetRecipients() says, each camera replies from its own address, and its
// log lines carry its number.
#pragma once

#include "camera.h"

#include <cstdio>
#include <string>
#include <vector>

namespace camsim {

struct TransportOptions {
    std::string bindAddress = "0.0.0.0";
    int port = 3956;       // 0 picks a free port (printed on the ready line)
    std::string flashOut;  // dumped on SIGUSR1 and at exit when set
    std::string ipHook;    // "CMD NEWIP NEWMASK NEWGATEWAY" on address changes
                           // (a fleet adds OLDIP: only that camera's address moves)
    bool fleet = false;    // route by destination; otherwise one camera takes everything
    FILE *log = nullptr;
};

// Runs until SIGTERM or SIGINT. Returns the process exit status. The flash
// dump is of the first camera (flashOut is for a single camera).
int runTransport(std::vector<Camera> &cameras, const TransportOptions &options);

// Writes the flash to `path` through path.tmp and a rename, so a reader never
// sees half a dump. Returns false (with a message on stderr) on failure.
bool dumpFlash(const Bytes &flash, const std::string &path);

}  // namespace camsim
