#include "interrupt.h"

#include <atomic>

#include <io.h>
#include <windows.h>

namespace {

std::atomic<bool> requested{false};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: requested.store(true); return TRUE;
    default: return FALSE;
    }
}

}  // namespace

void installInterruptHandler() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

const std::atomic<bool> *interruptFlag() { return &requested; }

bool isLiveTerminal(std::FILE *stream)
{
    if (!_isatty(_fileno(stream)))
        return false;
    // The console understands the escape sequences once asked to.
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return false;
    return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int terminalColumns(std::FILE *stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info))
        return 80;
    return info.srWindow.Right - info.srWindow.Left + 1;
}
