#include "manual_clock.h"

#include <QPointer>

#include <limits>

class ManualClockTimer final : public ClockTimer {
public:
    ManualClockTimer(ManualClock *clock, QObject *parent) : ClockTimer(parent), clock_(clock) {}
    ~ManualClockTimer() override
    {
        if (clock_)
            clock_->timerDestroyed(this);
    }

    void setSingleShot(bool singleShot) override { singleShot_ = singleShot; }
    void start(int msec) override
    {
        interval_ = msec;
        due_ = clock_->elapsedMs() + msec;
        active_ = true;
        clock_->timerStarted();
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }
    int interval() const override { return interval_; }

    qint64 due() const { return due_; }
    void fire()
    {
        if (singleShot_)
            active_ = false;
        else
            due_ += qMax(1, interval_);
        emit timeout();
    }
    void detach() { clock_ = nullptr; }

private:
    ManualClock *clock_;
    qint64 due_ = 0;
    int interval_ = 0;
    bool singleShot_ = false;
    bool active_ = false;
};

ManualClock::ManualClock(const QDateTime &start, QObject *parent) : QObject(parent)
{
    setTime(start);
    idleJump_.setInterval(0);
    idleJump_.setSingleShot(true);
    // A 0 ms timer fires in the same pass of the event loop as the events already waiting, and
    // one of them may end the wait (a reply that quits a nested loop): jumping then would move
    // time past a wait that is over. So the timer only queues the jump for the next pass, and a
    // jump queued before the latest start of the timer is dropped (that start queues its own).
    connect(&idleJump_, &QTimer::timeout, this, [this] {
        const quint64 ticket = jumpTicket_;
        QMetaObject::invokeMethod(
            this,
            [this, ticket] {
                if (ticket != jumpTicket_)
                    return;
                if (autoAdvance_ && advanceToNextTimer() && autoAdvance_ && nextDue())
                    startIdleJump(); // keep time flowing while something still waits on it
            },
            Qt::QueuedConnection);
    });
}

void ManualClock::setTime(const QDateTime &time)
{
    origin_ = time;
    originMs_ = time.toMSecsSinceEpoch();
    wallMs_ = originMs_;
    now_ = time;
    nowAtMs_ = originMs_;
}

QDateTime ManualClock::now() const
{
    if (nowAtMs_ != wallMs_) {
        now_ = origin_.addMSecs(wallMs_ - originMs_);
        nowAtMs_ = wallMs_;
    }
    return now_;
}

void ManualClock::startIdleJump()
{
    ++jumpTicket_;
    idleJump_.start();
}

ManualClock::~ManualClock()
{
    for (ManualClockTimer *timer : std::as_const(timers_))
        timer->detach();
}

std::unique_ptr<ClockTimer> ManualClock::createTimer(QObject *parent)
{
    auto timer = std::make_unique<ManualClockTimer>(this, parent);
    timers_.append(timer.get());
    return timer;
}

ManualClockTimer *ManualClock::nextDue() const
{
    ManualClockTimer *next = nullptr;
    for (ManualClockTimer *timer : timers_) {
        if (timer->isActive() && (!next || timer->due() < next->due()))
            next = timer;
    }
    return next;
}

void ManualClock::advance(qint64 msec)
{
    const qint64 target = elapsed_ + msec;
    for (ManualClockTimer *timer = nextDue(); timer && timer->due() <= target; timer = nextDue()) {
        wallMs_ += timer->due() - elapsed_;
        elapsed_ = timer->due();
        timer->fire(); // may start, stop or destroy timers, or advance the clock itself
        if (elapsed_ > target)
            return;
    }
    wallMs_ += target - elapsed_;
    elapsed_ = target;
}

void ManualClock::skip(qint64 msec)
{
    wallMs_ += msec;
    elapsed_ += msec;
    if (autoAdvance_ && nextDue())
        startIdleJump();
}

bool ManualClock::advanceToNextTimer()
{
    ManualClockTimer *timer = nextDue();
    if (!timer)
        return false;
    advance(qMax<qint64>(0, timer->due() - elapsed_));
    return true;
}

void ManualClock::setAutoAdvance(bool on)
{
    autoAdvance_ = on;
    if (on && nextDue())
        startIdleJump();
}

void ManualClock::timerStarted()
{
    if (autoAdvance_)
        startIdleJump();
}

void ManualClock::timerDestroyed(ManualClockTimer *timer)
{
    timers_.removeAll(timer);
}
