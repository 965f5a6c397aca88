// The simulator's UDP side: one socket, a poll loop with timers for held
// replies, the flash dump on SIGUSR1 and at exit, and the ip hook.
#pragma once

#include "camera.h"

#include <cstdio>
#include <string>

namespace camsim {

struct TransportOptions {
    std::string bindAddress = "0.0.0.0";
    int port = 3956;             // 0 picks a free port (printed on the ready line)
    std::string flashOut;        // dumped on SIGUSR1 and at exit when set
    std::string ipHook;          // "CMD NEWIP NEWMASK NEWGATEWAY" on address changes
    FILE *log = nullptr;
};

// Runs until SIGTERM or SIGINT. Returns the process exit status.
int runTransport(Camera &camera, const TransportOptions &options);

// Writes the flash to `path` through path.tmp and a rename, so a reader never
// sees half a dump. Returns false (with a message on stderr) on failure.
bool dumpFlash(const Bytes &flash, const std::string &path);

}  // namespace camsim
