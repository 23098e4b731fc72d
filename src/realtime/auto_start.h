#pragma once

#include "reporters.h"

#include <QObject>

#include <memory>

class Clock;
class ClockTimer;
class MonitorLink;
class RadioDiscovery;
class RealTimeControl;

// Starts real time once after the program starts, when the user asked for it: every three
// seconds (Timer3) it looks whether the port is open, and the first time it is, runs the start
// sequence unless data already flows, then stops for good.
class AutoStart : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 3000;

    AutoStart(Clock &clock, MonitorLink &link, RadioDiscovery &discovery,
              RealTimeControl &control, Reporters reporters, QObject *parent = nullptr);
    ~AutoStart() override;

    void arm();
    // Stops it for good, when another part takes over the start.
    void disarm();
    bool isArmed() const;
    // One tick; public so that tests can drive it.
    void tick();

private:
    MonitorLink &link_;
    RadioDiscovery &discovery_;
    RealTimeControl &control_;
    Reporters reporters_;
    std::unique_ptr<ClockTimer> timer3_;
};
