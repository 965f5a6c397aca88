// The history's platform calls, plain C++ so that the Windows branch is
// cross-built like the socket layer: history_posix.cpp (open with O_APPEND,
// flock, fdatasync) and history_win.cpp (a lock byte past any real end,
// WriteFile at the end, FlushFileBuffers).
#pragma once

#include <string>

namespace historynative {

// Appends `line` with one write under an exclusive lock and flushes it to the
// disk. Paths and texts are UTF-8. False with `error` naming the cause.
bool appendWhole(const std::string &path, const std::string &line, std::string &error);

// The user this process runs as; empty when unknown.
std::string userName();

// The folder the history lives in by default; empty when the platform's
// variables are missing.
std::string stateFolder();

}  // namespace historynative
