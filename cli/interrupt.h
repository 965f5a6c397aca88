// The console facts that differ by platform (interrupt_posix.cpp,
// interrupt_win.cpp): Ctrl+C and termination requests, and whether an
// output stream is a terminal that can redraw lines.
#pragma once

#include <atomic>
#include <cstdio>

// From now on Ctrl+C (and SIGTERM, Ctrl+Break) no
// longer ends the process; it is only noted, so that running flash jobs can
// stop between two exchanges and say where they stopped.
void installInterruptHandler();
// Raised by Ctrl+C; running jobs read it between exchanges.
const std::atomic<bool> *interruptFlag();
inline bool interruptRequested() { return interruptFlag()->load(); }

// True when `stream` is a terminal that understands the cursor-up and
// erase-line sequences of the live progress board.
bool isLiveTerminal(std::FILE *stream);
// The terminal's width in characters; 80 when it cannot be told.
int terminalColumns(std::FILE *stream);
