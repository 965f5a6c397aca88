// The timer guard on POSIX systems: the process timer needs no raising, but a
// Linux thread can drop its timer slack.
#include "timerresolution.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

TimerResolution::TimerResolution() = default;
TimerResolution::~TimerResolution() = default;

void tightenThreadTimerSlack()
{
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}
