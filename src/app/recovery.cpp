#include "recovery.h"

#include "app_logging.h"
#include "auto_start.h"
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

// Seconds before a device that is there but would not open is tried again, after n failures in a
// row: 2, 4, 8 ... up to a minute. A device node that udev has not yet given its group opens a
// moment later; one the user may never open must not fill the log every second.
int secondsBeforeNextOpen(int failures)
{
    return failures >= 6 ? Recovery::kSilentSecondsBeforeRestart : 1 << failures;
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

void Recovery::restoreAtStart(bool portWanted, bool realTimeWanted)
{
    if (!enabled_)
        return;
    realTimeWanted_ = realTimeWanted || realTimeWanted_;
    if (!portWanted || link_.port().isOpen())
        return;
    const int n = link_.portNumber();
    qCInfo(lcApp) << "port" << n << "did not open at start; looking for it";
    reporting_.lines().addLine(
        QStringLiteral("COM%1: not opened at start. Checking every second for the device.").arg(n));
    waitingForDevice_ = true;
    neverOpened_ = true;
    // A device that is there did not open for another reason: no second try at once.
    failedOpens_ = deviceIsThere(n) ? 1 : 0;
    ticksBeforeOpen_ = failedOpens_ > 0 ? secondsBeforeNextOpen(failedOpens_) : 0;
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
    if (!enabled_ || busy_ || window_)
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
        waitingForDevice_ = neverOpened_ = false;
        return;
    }
    if (ticksBeforeOpen_ > 0) {
        --ticksBeforeOpen_;
        return;
    }
    if (heldByUser_ || !deviceIsThere(link_.portNumber()))
        return;
    qCInfo(lcApp) << "device of port" << link_.portNumber() << "there; opening";
    reporting_.lines().addLine(
        (neverOpened_ ? QStringLiteral("COM%1: device found. Opening the port.")
                      : QStringLiteral("COM%1: device back. Reopening the port."))
            .arg(link_.portNumber()));
    // Start-up's automatic start would run its own start, with messages, once the port is open.
    if (realTimeWanted_ && autoStart_)
        autoStart_->disarm();
    const QPointer<Recovery> self(this);
    busy_ = true;
    reporting_.setQuiet(true);
    const bool opened = link_.openPort();
    if (!self)
        return;
    reporting_.setQuiet(false);
    busy_ = false;
    if (!opened) {
        ticksBeforeOpen_ = secondsBeforeNextOpen(++failedOpens_) - 1;
        return; // still waiting: a later look tries again
    }
    waitingForDevice_ = neverOpened_ = false;
    failedOpens_ = 0;
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
