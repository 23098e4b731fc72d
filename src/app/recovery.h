#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class AutoStart;
class Clock;
class ClockTimer;
class MonitorLink;
class QuietReporting;

// Looks after the link while nobody is at the screen (setting AutoRecover):
// - when the port's device vanishes while open, it checks every second whether the device is
//   back (by the same port-name rules as opening), reopens the port when it is, and starts real
//   time again if it was on;
// - when real time was on, the port is open and no packet byte has come for 60 s, it runs the
//   start sequence again, at most once a minute, until packets flow.
// - what the start-up settings ask for and start-up could not do, it goes on doing: a port that
//   did not open at start is looked for once a second, and real time that did not start is
//   tried again once a minute, as after a silence.
// Its starts are quiet: status lines only, no message box, the status log not cleared. The
// user's closing of the port or stopping of real time turns it off until the user opens the
// port or starts real time again. While the user has the communication panel open, it waits:
// the user's choice of port comes first.
class Recovery : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 1000;
    static constexpr int kSilentSecondsBeforeRestart = 60;

    Recovery(Clock &clock, MonitorLink &link, QuietReporting &reporting, QObject *parent = nullptr);
    ~Recovery() override;

    // Starts the look each second (while enabled).
    void start();
    // AutoRecover; on by default. Off, the program does nothing by itself.
    void setEnabled(bool on);
    bool isEnabled() const { return enabled_; }

    // Start-up has run: portWanted when the settings ask for the port open and it could not be
    // opened, realTimeWanted when they ask for real time.
    void restoreAtStart(bool portWanted, bool realTimeWanted);
    // Start-up's automatic start of real time, which gives way when recovery starts it itself.
    void setAutoStart(AutoStart *autoStart) { autoStart_ = autoStart; }
    // Recovery does nothing while this window is open.
    void waitWhileOpen(QObject *window) { window_ = window; }
    bool isWaitingForUser() const { return !window_.isNull(); }

    // A packet byte arrived.
    void packetByteSeen() { silentSeconds_ = 0; }

    // The user's own actions on the port and on real time.
    void userOpenedPort() { heldByUser_ = false; }
    void userClosedPort();
    void userStartedRealTime();
    void userStoppedRealTime();

    bool isWaitingForDevice() const { return waitingForDevice_; }
    bool isRealTimeWanted() const { return realTimeWanted_; }
    // One second's look; public so that tests can drive it.
    void tick();

private:
    void onDeviceLost();
    void checkDevice();
    void watchSilence();
    void startRealTimeQuietly();
    void updateTimer();

    MonitorLink &link_;
    QuietReporting &reporting_;
    std::unique_ptr<ClockTimer> timer_;
    AutoStart *autoStart_ = nullptr;
    QPointer<QObject> window_;     // the user's communication panel while it is open
    bool enabled_ = true;
    bool started_ = false;
    bool heldByUser_ = false;      // the user closed the port or stopped real time
    bool waitingForDevice_ = false;
    bool neverOpened_ = false;     // the port being looked for did not open at start
    int failedOpens_ = 0;          // opens in a row that failed while the device was there
    int ticksBeforeOpen_ = 0;      // looks to skip before the next open
    bool realTimeWanted_ = false;  // real time was on, and the user has not stopped it
    bool busy_ = false;            // a reopening or a start is running (it handles events)
    int silentSeconds_ = 0;
};
