#pragma once

#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class Clock;
class ClockTimer;

// How a nested wait ended.
enum class WaitEnd {
    Condition,      // the condition holds
    Deadline,       // the time ran out
    GuardDestroyed, // the guard object was destroyed by an event handled during the wait
    EndRequested,   // the program is to end (EndRequest)
};

// The program's one wait that keeps the event loop running: timers, sockets, the user's commands
// and the termination signals are handled while it waits. It ends when its condition holds, its
// deadline passes on the Clock, its guard object is destroyed, or the end of the program is
// requested, and says which came first. The guard is usually the object whose member function
// waits: after GuardDestroyed, nothing of it may be touched.
//
// The condition is looked at when the wait starts and again whenever one of the signals given
// to wakeOn is emitted. Deadlines run on timers of the Clock, so ManualClock's auto-advance
// jumps straight to them once nothing else is pending.
class NestedWait {
public:
    using Condition = std::function<bool()>;

    explicit NestedWait(Clock &clock, const QObject *guard = nullptr);
    ~NestedWait();
    NestedWait(const NestedWait &) = delete;
    NestedWait &operator=(const NestedWait &) = delete;

    // The condition is looked at again whenever sender emits signal.
    template <class Sender, class Signal>
    NestedWait &wakeOn(const Sender *sender, Signal signal)
    {
        QObject::connect(sender, signal, &loop_, &QEventLoop::quit);
        return *this;
    }
    // A further guard: the wait ends with GuardDestroyed when this object goes too.
    NestedWait &alsoGuard(const QObject *guard);
    // The wait goes on through a request to end: for the orderly end's own pauses.
    NestedWait &throughEndRequest()
    {
        throughEndRequest_ = true;
        return *this;
    }

    // Up to msec milliseconds; an empty condition never holds (a plain pause).
    WaitEnd forMs(int msec, const Condition &condition = {});
    // Up to a deadline that tells reached() and msecUntil() (the next time to look again, at
    // least 1), such as SecondDeadline.
    template <class Deadline>
    WaitEnd until(const Deadline &deadline, const Condition &condition)
    {
        return run(condition, [&deadline] { return deadline.reached(); },
                   [&deadline] { return deadline.msecUntil(); });
    }
    // With no deadline: until the condition holds, the guard goes or the end is requested.
    WaitEnd untilCondition(const Condition &condition);

private:
    WaitEnd run(const Condition &condition, const std::function<bool()> &deadlineReached,
                const std::function<int()> &msecUntil);
    ClockTimer &timer();

    Clock &clock_;
    QList<QPointer<QObject>> guards_;
    bool throughEndRequest_ = false;
    QEventLoop loop_;
    std::unique_ptr<ClockTimer> timer_;
};
