#pragma once

#include "data_server_control.h"
#include "link_method.h"
#include "nested_wait.h"
#include "realtime_sequences.h"
#include "reporters.h"

#include <QObject>

class MonitorLink;
class RadioDiscovery;

// Turns the monitor's real-time stream on ("TOG" then "PLR") and off ("TOG" then "OFF"), after
// discovering the radio node when the link goes through a dongle.
class RealTimeControl : public QObject, public RealTimeSequences {
    Q_OBJECT
public:
    // The sequences report to the bundle's statusLog, prompts and realTimeView, and open the
    // communication panel when no link method is chosen. server (null: none) is opened when it
    // should listen.
    RealTimeControl(MonitorLink &link, RadioDiscovery &discovery, DataServerControl *server,
                    Reporters reporters, QObject *parent = nullptr);

    void setLinkMethod(LinkMethod method) { linkMethod_ = method; }
    LinkMethod linkMethod() const { return linkMethod_; }
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
    WaitEnd watchFirstBytes();
    void failStart();
    void release();
    void openServerIfListening();
    void showRealTime(bool active);

    MonitorLink &link_;
    RadioDiscovery &discovery_;
    Reporter<DataServerControl> server_;
    Reporters reporters_;
    LinkMethod linkMethod_ = LinkMethod::None;
    bool startupListen_ = false;
};
