// Windows' default timer tick is about 15.6 ms, which would stretch every
// fixed 2 ms wait of the flash protocol about sevenfold. While an object of
// this class lives, the process asks for 1 ms resolution. Elsewhere it does
// nothing.
#pragma once

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
