// The timer guard on Windows: 1 ms resolution through the multimedia timer
// (winmm) for as long as the guard lives.
#include "timerresolution.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <timeapi.h>

TimerResolution::TimerResolution() : active_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

TimerResolution::~TimerResolution()
{
    if (active_)
        timeEndPeriod(1);
}

void tightenThreadTimerSlack() {}
