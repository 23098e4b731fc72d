#pragma once

#include <QObject>

#include <functional>
#include <memory>

class Clock;
class ClockTimer;

// Saves the counters now and then, so that a crash or a power cut loses little: Timer4 ticks
// every three seconds and every 101st tick (about five minutes) runs the save.
class PeriodicSave : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 3000;
    static constexpr int kTicksPerSave = 101;

    PeriodicSave(Clock &clock, std::function<void()> save, QObject *parent = nullptr);
    ~PeriodicSave() override;

    void start();
    // One tick; public so that tests can drive it.
    void tick();
    int ticks() const { return ticks_; }

private:
    std::function<void()> save_;
    std::unique_ptr<ClockTimer> timer4_;
    int ticks_ = 0;
};
