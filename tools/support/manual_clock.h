#pragma once

#include "clock.h"

#include <QList>
#include <QTimer>

class ManualClockTimer;

// A clock that moves only when told to. Timers created from it fire, in order of their due
// time, as advance() passes them. With auto-advance on, the clock jumps to the next due timer
// whenever the event loop has nothing else to do, so a wait of seconds finishes at once while
// keeping its order against every other event. It serves the tests and orvo-decode, which reads
// a captured stream faster than real time.
class ManualClock final : public QObject, public Clock {
    Q_OBJECT
public:
    explicit ManualClock(const QDateTime &start = QDateTime(QDate(2026, 1, 1), QTime(12, 0, 0)),
                         QObject *parent = nullptr);
    ~ManualClock() override;

    QDateTime now() const override;
    std::unique_ptr<ClockTimer> createTimer(QObject *parent = nullptr) override;
    qint64 epochMs() const override { return wallMs_; }
    qint64 monotonicMs() const override { return elapsed_; }

    // Sets the wall clock, as a user or a time server would: elapsed time does not move.
    void setTime(const QDateTime &time);
    // Moves time forward by msec, firing every timer that falls due on the way.
    void advance(qint64 msec);
    // Moves time forward by msec without firing anything: timers that fell due fire at the next
    // advance (or idle jump), as real timers wait for the event loop while a call blocks.
    void skip(qint64 msec);
    // Moves time to the next due timer and fires it; false when no timer is running.
    bool advanceToNextTimer();
    void setAutoAdvance(bool on);
    qint64 elapsedMs() const { return elapsed_; }

private:
    friend class ManualClockTimer;
    void timerStarted();
    void timerDestroyed(ManualClockTimer *timer);
    ManualClockTimer *nextDue() const;
    void startIdleJump();

    // now() is origin_ moved on to wallMs_, in origin_'s own kind of time (local, UTC, a zone).
    QDateTime origin_;
    qint64 originMs_ = 0;
    qint64 wallMs_ = 0;
    qint64 elapsed_ = 0;
    // now() at wallMs_ == nowAtMs_: moving a local time on costs a time zone look-up
    mutable QDateTime now_;
    mutable qint64 nowAtMs_ = 0;
    QList<ManualClockTimer *> timers_;
    QTimer idleJump_;
    quint64 jumpTicket_ = 0;
    bool autoAdvance_ = false;
};
