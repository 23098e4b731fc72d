#pragma once

#include "realtime_sequences.h"

#include <QObject>

#include <functional>

class DataServerControl;
class MonitorLink;
class RadioDiscovery;
class RealTimeStatusView;
class StatusLines;
class UserPrompts;

// Where the start and stop sequences report, and what else they drive. Any member may be empty.
struct RealTimeServices {
    StatusLines *statusLog = nullptr;
    UserPrompts *prompts = nullptr;
    RealTimeStatusView *view = nullptr;
    DataServerControl *server = nullptr;
    std::function<void()> openCommunicationPanel;
};

// Turns the monitor's real-time stream on ("TOG" then "PLR") and off ("TOG" then "OFF"), after
// discovering the radio node when the link goes through a dongle.
class RealTimeControl : public QObject, public RealTimeSequences {
    Q_OBJECT
public:
    RealTimeControl(MonitorLink &link, RadioDiscovery &discovery, RealTimeServices services,
                    QObject *parent = nullptr);

    // LinkMethod: 0 none chosen, 1 and 2 radio dongle versions, 8 USB cable.
    void setLinkMethod(int method) { linkMethod_ = method; }
    int linkMethod() const { return linkMethod_; }
    // StartupListen: the TCP server listens while real time flows.
    void setStartupListen(bool on) { startupListen_ = on; }
    bool startupListen() const { return startupListen_; }

    void startRealTime() override;
    void stopRealTime() override;

signals:
    // A sequence has let go of the port: bytes left in its buffer belong to the receiver again.
    void portReleased();

private:
    bool runPreamble();
    bool acknowledgeAttention();
    bool sendStartWord(const char *word, const char *failureLine);
    bool startStream();
    void watchFirstBytes();
    void failStart();
    void release();
    void openServerIfListening();
    void showRealTime(bool active);

    MonitorLink &link_;
    RadioDiscovery &discovery_;
    RealTimeServices services_;
    int linkMethod_ = 0;
    bool startupListen_ = false;
};
