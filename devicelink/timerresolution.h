// Millisecond timing that the fixed pauses of the exchanges rely on. One file
// per platform: timerresolution_posix.cpp, timerresolution_win.cpp.
#pragma once

// Windows' default timer tick is about 15.6 ms, which would stretch every
// fixed 2 ms wait of the flash protocol about sevenfold. While an object of
// this class lives, the process asks for 1 ms resolution. Elsewhere it does
// nothing.
class TimerResolution {
public:
    TimerResolution();
    ~TimerResolution();
    TimerResolution(const TimerResolution &) = delete;
    TimerResolution &operator=(const TimerResolution &) = delete;

    bool active() const { return active_; }

private:
    bool active_ = false;
};

// Linux stretches a thread's short sleeps by its timer slack (50 us by
// default); a job that pauses 2 ms eighteen times a sector asks for none.
// Does nothing elsewhere.
void tightenThreadTimerSlack();
