#pragma once

#include <QObject>

#include <memory>

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
// Its starts are quiet: status lines only, no message box, the status log not cleared. The
// user's closing of the port or stopping of real time turns it off until the user opens the
// port or starts real time again.
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
    bool enabled_ = true;
    bool started_ = false;
    bool heldByUser_ = false;      // the user closed the port or stopped real time
    bool waitingForDevice_ = false;
    bool realTimeWanted_ = false;  // real time was on, and the user has not stopped it
    bool busy_ = false;            // a reopening or a start is running (it handles events)
    int silentSeconds_ = 0;
};
