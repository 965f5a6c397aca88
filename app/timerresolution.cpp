#include "timerresolution.h"

#ifdef _WIN32
#include <windows.h>
#include <timeapi.h>

TimerResolution::TimerResolution() : active_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

TimerResolution::~TimerResolution()
{
    if (active_)
        timeEndPeriod(1);
}
#else
TimerResolution::TimerResolution() = default;
TimerResolution::~TimerResolution() = default;
#endif
