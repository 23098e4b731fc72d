#include "data_flow_watchdog.h"

#include "clock.h"
#include "link_flags.h"
#include "realtime_control.h"
#include "realtime_logging.h"

namespace {
constexpr int kIdleTicksForStop = 3;
// The count is kept well inside 16 bits however long the line stays quiet.
constexpr int kIdleTicksCeiling = 30000;
constexpr int kIdleTicksFloor = 20000;
} // namespace

DataFlowWatchdog::DataFlowWatchdog(Clock &clock, LinkFlags &flags, const RealTimeControl &control,
                                   Reporter<RealTimeStatusView> view,
                                   Reporter<DataServerControl> server, QObject *parent)
    : QObject(parent),
      flags_(flags),
      control_(control),
      view_(view),
      server_(server),
      timer2_(clock.createTimer(this))
{
    connect(timer2_.get(), &ClockTimer::timeout, this, &DataFlowWatchdog::tick);
}

DataFlowWatchdog::~DataFlowWatchdog() = default;

void DataFlowWatchdog::start()
{
    timer2_->start(kIntervalMs);
}

void DataFlowWatchdog::tick()
{
    if (++rxIdleTicks_ > kIdleTicksCeiling)
        rxIdleTicks_ = kIdleTicksFloor;
    const bool wasOn = flags_.realTimeOn;
    if (rxIdleTicks_ >= kIdleTicksForStop) {
        flags_.realTimeOn = false;
        if (wasOn) {
            qCInfo(lcRealTime) << "watchdog: no data for" << rxIdleTicks_ << "ticks, real time off";
            view_->showRealTimeStopped(RealTimeStatusView::Field::MainWindow);
        }
        return;
    }
    flags_.realTimeOn = true;
    if (wasOn)
        return;
    qCInfo(lcRealTime) << "watchdog: data flowing, real time on";
    if (control_.startupListen() && server_->isServerClosed())
        server_->openServer();
    view_->showRealTimeActive(RealTimeStatusView::Field::MainWindow);
}
