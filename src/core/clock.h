#pragma once

#include <QDateTime>
#include <QObject>

#include <memory>

// A timer driven by a Clock: a real QTimer in the program, a manually advanced one in tests.
class ClockTimer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ClockTimer() override = default;

    virtual void setSingleShot(bool singleShot) = 0;
    virtual void start(int msec) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual int interval() const = 0;

signals:
    void timeout();
};

// The wall clock and the timers that run on it. Every time-out of the program is measured
// through this seam so that tests can move time instead of sleeping.
class Clock {
public:
    virtual ~Clock() = default;

    // Local time, for what a person reads. Converting to local time looks the time zone up
    // (a file status on every call), so paths that run for every packet use the ones below.
    virtual QDateTime now() const = 0;
    virtual std::unique_ptr<ClockTimer> createTimer(QObject *parent = nullptr) = 0;

    // The same instant as now(), in milliseconds since the epoch (UTC): for instants that are
    // kept, compared or plotted.
    virtual qint64 epochMs() const { return now().toMSecsSinceEpoch(); }
    // Milliseconds from an arbitrary start on a clock that never jumps: for elapsed time, which
    // a change of the wall clock must not stretch or turn negative.
    virtual qint64 monotonicMs() const { return epochMs(); }
    // Local time as a fixed offset from UTC: it reads and compares like now(), without a time
    // zone look-up for each call, for what runs with every packet and is sometimes shown.
    virtual QDateTime nowWithOffset() const
    {
        const QDateTime t = now();
        return t.toOffsetFromUtc(t.offsetFromUtc());
    }

    // Time zones differ from UTC by whole minutes, so the second needs no local time.
    int secondOfMinute() const
    {
        const qint64 second = epochMs() / 1000 % 60;
        return int(second < 0 ? second + 60 : second);
    }
};

// The system's clock and Qt's timers.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    std::unique_ptr<ClockTimer> createTimer(QObject *parent = nullptr) override;
    qint64 epochMs() const override;
    qint64 monotonicMs() const override;
    QDateTime nowWithOffset() const override;

private:
    // The local offset found at the last look-up, taken until the next quarter hour (UTC):
    // offsets and their changes fall on quarter hours.
    mutable int offsetSeconds_ = 0;
    mutable qint64 offsetFromMs_ = 0;
    mutable qint64 offsetUntilMs_ = 0;
};
