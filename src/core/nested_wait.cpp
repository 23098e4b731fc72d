#include "nested_wait.h"

#include "clock.h"
#include "end_request.h"

#include <algorithm>

NestedWait::NestedWait(Clock &clock, const QObject *guard) : clock_(clock)
{
    if (guard)
        alsoGuard(guard);
}

NestedWait &NestedWait::alsoGuard(const QObject *guard)
{
    guards_.append(const_cast<QObject *>(guard));
    QObject::connect(guard, &QObject::destroyed, &loop_, &QEventLoop::quit);
    return *this;
}

NestedWait::~NestedWait() = default;

ClockTimer &NestedWait::timer()
{
    if (!timer_) {
        timer_ = clock_.createTimer();
        timer_->setSingleShot(true);
        QObject::connect(timer_.get(), &ClockTimer::timeout, &loop_, &QEventLoop::quit);
    }
    return *timer_;
}

WaitEnd NestedWait::forMs(int msec, const Condition &condition)
{
    bool fired = false;
    ClockTimer &t = timer();
    const QMetaObject::Connection firing =
        QObject::connect(&t, &ClockTimer::timeout, &loop_, [&fired] { fired = true; });
    t.start(qMax(0, msec));
    const WaitEnd end = run(condition, [&fired] { return fired; }, {});
    QObject::disconnect(firing);
    t.stop();
    return end;
}

WaitEnd NestedWait::untilCondition(const Condition &condition)
{
    return run(condition, {}, {});
}

WaitEnd NestedWait::run(const Condition &condition, const std::function<bool()> &deadlineReached,
                        const std::function<int()> &msecUntil)
{
    EndRequest *endRequest = throughEndRequest_ ? nullptr : EndRequest::current();
    QMetaObject::Connection ending;
    if (endRequest)
        ending = QObject::connect(endRequest, &EndRequest::requested, &loop_, &QEventLoop::quit);
    WaitEnd end;
    for (;;) {
        if (std::any_of(guards_.cbegin(), guards_.cend(), [](const auto &g) { return !g; })) {
            end = WaitEnd::GuardDestroyed;
            break;
        }
        if (condition && condition()) {
            end = WaitEnd::Condition;
            break;
        }
        if (!throughEndRequest_ && EndRequest::isPending()) {
            end = WaitEnd::EndRequested;
            break;
        }
        if (deadlineReached && deadlineReached()) {
            end = WaitEnd::Deadline;
            break;
        }
        if (msecUntil)
            timer().start(msecUntil());
        // An application that has quit runs no event loop any more: nothing can end the wait.
        if (loop_.exec() == -1) {
            end = WaitEnd::EndRequested;
            break;
        }
    }
    QObject::disconnect(ending);
    return end;
}
