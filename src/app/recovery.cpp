#include "recovery.h"

#include "app_logging.h"
#include "clock.h"
#include "monitor_link.h"
#include "port_names.h"
#include "quiet_reporting.h"

#include <QFileInfo>
#include <QPointer>

namespace {

bool deviceIsThere(int portNumber)
{
    const QString device = PortNames::deviceForPort(portNumber);
    // A link whose target has gone (an unplugged adapter's stable name) does not count.
    return !device.isEmpty() && QFileInfo::exists(device);
}

} // namespace

Recovery::Recovery(Clock &clock, MonitorLink &link, QuietReporting &reporting, QObject *parent)
    : QObject(parent),
      link_(link),
      reporting_(reporting),
      timer_(clock.createTimer(this))
{
    connect(timer_.get(), &ClockTimer::timeout, this, &Recovery::tick);
    connect(&link_.port(), &SerialPort::deviceLost, this, &Recovery::onDeviceLost);
}

Recovery::~Recovery() = default;

void Recovery::start()
{
    started_ = true;
    updateTimer();
}

void Recovery::setEnabled(bool on)
{
    enabled_ = on;
    if (!on)
        waitingForDevice_ = false;
    updateTimer();
}

void Recovery::updateTimer()
{
    // One look a second while on; off, nothing runs at all.
    if (enabled_ && started_ && !timer_->isActive())
        timer_->start(kIntervalMs);
    else if (!enabled_)
        timer_->stop();
}

void Recovery::userClosedPort()
{
    heldByUser_ = true;
    waitingForDevice_ = false;
}

void Recovery::userStartedRealTime()
{
    heldByUser_ = false;
    realTimeWanted_ = true;
    silentSeconds_ = 0;
}

void Recovery::userStoppedRealTime()
{
    heldByUser_ = true;
    realTimeWanted_ = false;
}

void Recovery::onDeviceLost()
{
    if (!enabled_ || heldByUser_)
        return;
    qCInfo(lcApp) << "device of port" << link_.portNumber() << "lost; waiting for it";
    reporting_.lines().addLine(
        QStringLiteral("COM%1: device removed. Checking every second for its return.")
            .arg(link_.portNumber()));
    waitingForDevice_ = true;
}

void Recovery::tick()
{
    if (!enabled_ || busy_)
        return;
    if (link_.flags().realTimeOn && !heldByUser_)
        realTimeWanted_ = true;
    if (waitingForDevice_)
        checkDevice();
    else
        watchSilence();
}

void Recovery::checkDevice()
{
    if (link_.port().isOpen()) { // opened meanwhile by the user
        waitingForDevice_ = false;
        return;
    }
    if (heldByUser_ || !deviceIsThere(link_.portNumber()))
        return;
    qCInfo(lcApp) << "device of port" << link_.portNumber() << "back; reopening";
    reporting_.lines().addLine(
        QStringLiteral("COM%1: device back. Reopening the port.").arg(link_.portNumber()));
    const QPointer<Recovery> self(this);
    busy_ = true;
    reporting_.setQuiet(true);
    const bool opened = link_.openPort();
    if (!self)
        return;
    reporting_.setQuiet(false);
    busy_ = false;
    if (!opened)
        return; // still waiting: the next look tries again
    waitingForDevice_ = false;
    silentSeconds_ = 0;
    if (realTimeWanted_)
        startRealTimeQuietly();
}

void Recovery::watchSilence()
{
    const bool watching = realTimeWanted_ && !heldByUser_ && link_.port().isOpen()
                          && !link_.flags().commandInProgress;
    if (!watching) {
        silentSeconds_ = 0;
        return;
    }
    if (++silentSeconds_ < kSilentSecondsBeforeRestart)
        return;
    reporting_.lines().addLine(
        QStringLiteral("No data from the monitor for %1 s. Restarting real time.")
            .arg(kSilentSecondsBeforeRestart));
    startRealTimeQuietly();
}

void Recovery::startRealTimeQuietly()
{
    silentSeconds_ = 0; // the next try, if this one fails, comes a minute later
    const QPointer<Recovery> self(this);
    busy_ = true;
    reporting_.setQuiet(true);
    link_.realTimeSequences().startRealTime();
    if (!self)
        return;
    reporting_.setQuiet(false);
    busy_ = false;
    silentSeconds_ = 0;
    const bool flowing = link_.flags().realTimeOn;
    qCInfo(lcApp) << "quiet start of real time; data flowing:" << flowing;
    reporting_.lines().addLine(flowing ? QStringLiteral("Real time restarted.")
                                       : QStringLiteral("Real time did not restart. Trying again "
                                                        "in a minute."));
}
