#include "interrupt.h"

#include <atomic>
#include <csignal>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

void onSignal(int) { requested.store(true); }

}  // namespace

void installInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Blocking receives are resumed: the exchange's own time-out bounds them.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const std::atomic<bool> *interruptFlag() { return &requested; }

bool isLiveTerminal(std::FILE *stream) { return isatty(fileno(stream)) == 1; }

int terminalColumns(std::FILE *stream)
{
    struct winsize size = {};
    return ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}
