#pragma once

#include "clock.h"

// A time-out on the wall clock's second of the minute: the start second plus n, wrapped past 59,
// is reached when the clock shows that second. A wait of n seconds so lasts between n-1 and n.
class SecondDeadline {
public:
    SecondDeadline(const Clock &clock, int seconds)
        : clock_(clock), second_((clock.secondOfMinute() + seconds) % 60)
    {
    }

    int second() const { return second_; }
    bool reached() const { return clock_.secondOfMinute() == second_; }

    // Milliseconds until the clock next shows the deadline second (at least 1), for timers and
    // blocking waits that should wake no later than the deadline.
    int msecUntil() const
    {
        const QTime t = clock_.now().time();
        const int msOfMinute = t.second() * 1000 + t.msec();
        int ms = second_ * 1000 - msOfMinute;
        if (ms <= 0)
            ms += 60000;
        return ms;
    }

private:
    const Clock &clock_;
    int second_;
};
