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

    virtual QDateTime now() const = 0;
    virtual std::unique_ptr<ClockTimer> createTimer(QObject *parent = nullptr) = 0;

    int secondOfMinute() const { return now().time().second(); }
};

// The system's clock and Qt's timers.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    std::unique_ptr<ClockTimer> createTimer(QObject *parent = nullptr) override;
};
