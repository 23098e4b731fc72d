#include "auto_start.h"

#include "clock.h"
#include "monitor_link.h"
#include "radio_discovery.h"
#include "realtime_control.h"
#include "realtime_logging.h"


AutoStart::AutoStart(Clock &clock, MonitorLink &link, RadioDiscovery &discovery,
                     RealTimeControl &control, Reporters reporters, QObject *parent)
    : QObject(parent),
      link_(link),
      discovery_(discovery),
      control_(control),
      reporters_(std::move(reporters)),
      timer3_(clock.createTimer(this))
{
    connect(timer3_.get(), &ClockTimer::timeout, this, &AutoStart::tick);
}

AutoStart::~AutoStart() = default;

void AutoStart::arm()
{
    timer3_->start(kIntervalMs);
}

void AutoStart::disarm()
{
    timer3_->stop();
}

bool AutoStart::isArmed() const
{
    return timer3_->isActive();
}

void AutoStart::tick()
{
    if (!link_.port().isOpen())
        return; // tried again at the next tick
    timer3_->stop();
    qCInfo(lcRealTime) << "automatic start; real time already on:" << link_.flags().realTimeOn;
    if (link_.flags().realTimeOn)
        return;
    if (isRadioDongle(control_.linkMethod()) && !discovery_.radioNodeFound()) {
        reporters_.prompts->message(QStringLiteral(
                "An attempt to start real-time was aborted since a zigbee node has not been "
                "discovered. Open the Communication Panel and try using the \"Find\" buttons."));
        return;
    }
    // The start sequence may destroy this object: only a local copy of the log after it.
    const Reporter<StatusLines> statusLog = reporters_.statusLog;
    control_.startRealTime();
    statusLog->clear();
    statusLog->addLine(QStringLiteral("Real-Time was off. Now attempting to start real-time."));
}
