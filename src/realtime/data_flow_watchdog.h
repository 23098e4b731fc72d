#pragma once

#include "data_server_control.h"
#include "reporters.h"

#include <QObject>

#include <memory>

class Clock;
class ClockTimer;
struct LinkFlags;
class RealTimeControl;

// Tells whether real-time data is flowing: every second (Timer2) it counts a tick; every packet
// byte sets the count back to 0. Three ticks without a byte mean the stream has stopped. Each
// change is shown once, and the first sign of data opens the TCP server when it should listen.
class DataFlowWatchdog : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 1000;
    static constexpr int kStartTicks = 6; // the program starts "off" without announcing a stop

    DataFlowWatchdog(Clock &clock, LinkFlags &flags, const RealTimeControl &control,
                     Reporter<RealTimeStatusView> view, Reporter<DataServerControl> server,
                     QObject *parent = nullptr);
    ~DataFlowWatchdog() override;

    void start();
    // A packet byte arrived.
    void packetByteSeen() { rxIdleTicks_ = 0; }
    int rxIdleTicks() const { return rxIdleTicks_; }
    // One tick of the watchdog; public so that tests can drive it.
    void tick();

private:
    LinkFlags &flags_;
    const RealTimeControl &control_;
    Reporter<RealTimeStatusView> view_;
    Reporter<DataServerControl> server_;
    std::unique_ptr<ClockTimer> timer2_;
    int rxIdleTicks_ = kStartTicks;
};
