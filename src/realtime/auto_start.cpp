#include "auto_start.h"

#include "clock.h"
#include "monitor_link.h"
#include "radio_discovery.h"
#include "realtime_control.h"
#include "realtime_logging.h"
#include "status_lines.h"
#include "user_prompts.h"

#include <QPointer>

AutoStart::AutoStart(Clock &clock, MonitorLink &link, RadioDiscovery &discovery,
                     RealTimeControl &control, StatusLines *statusLog, UserPrompts *prompts,
                     QObject *parent)
    : QObject(parent),
      link_(link),
      discovery_(discovery),
      control_(control),
      statusLog_(statusLog),
      prompts_(prompts),
      timer3_(clock.createTimer(this))
{
    connect(timer3_.get(), &ClockTimer::timeout, this, &AutoStart::tick);
}

AutoStart::~AutoStart() = default;

void AutoStart::arm()
{
    timer3_->start(kIntervalMs);
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
    const int method = control_.linkMethod();
    if ((method == 1 || method == 2) && !discovery_.radioNodeFound()) {
        if (prompts_)
            prompts_->message(QStringLiteral(
                "An attempt to start real-time was aborted since a zigbee node has not been "
                "discovered. Open the Communication Panel and try using the \"Find\" buttons."));
        return;
    }
    const QPointer<AutoStart> self(this);
    control_.startRealTime();
    if (!self || !statusLog_)
        return;
    statusLog_->clear();
    statusLog_->addLine(QStringLiteral("Real-Time was off. Now attempting to start real-time."));
}
