#pragma once

#include "post_log_model.h"
#include "post_request.h"
#include "post_trigger.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class Clock;
class ClockTimer;
class QTcpSocket;
struct LinkFlags;
struct LiveReading;
struct LoadSwitchFlags;

// The settings web posting reads at each run, fresh from the program's settings.
struct WebPostingSettings {
    TriggerThresholds thresholds;
    bool writeEnable = false;             // VexWriteEnable
    WebPostSettings request;              // WebHost and VexUser
    quint16 loadData = 0;                 // LoadData
};

// Web posting after each decoded packet: runs the trigger, logs the post, has the readings
// pushed to the TCP client and sends them to the monitoring service.
//
// A post opens a fresh connection to WebHost (port 80 unless it names one) and sends the
// request once connected; the answer is not read, and the connection stays until the next post
// closes it. A host that refuses, cannot be found or never answers costs nothing: the attempt
// ends quietly, at the latest after kConnectTimeoutMs, and never blocks the event loop.
class WebPoster final : public QObject {
    Q_OBJECT
public:
    static constexpr int kConnectTimeoutMs = 10000;

    WebPoster(const LiveReading &reading, Clock &clock, const LinkFlags &flags,
              LoadSwitchFlags &loadSwitch, QObject *parent = nullptr);
    ~WebPoster() override;

    // Read at every run; the defaults until set.
    std::function<WebPostingSettings()> settings;
    // Runs when a post is logged: the TCP data server pushes its line when that is switched on.
    std::function<void()> pushReadings;

    // The trigger run, once after each decoded packet. [Vex]
    void packetDecoded();
    // Starts a post at once, without a trigger run and without a log row: for the load
    // buttons. [eraseme]
    void postNow();

    PostLogModel &log() { return log_; }
    const PostTrigger &trigger() const { return trigger_; }
    // True while a post is connecting (for tests and the developer log).
    bool connecting() const;

signals:
    // A run began: the window's status box shows "Real-Time Data Started", progress 0.
    void runStarted();
    void progressChanged(int percent);
    // The request text just sent, for the main window's request box.
    void requestSent(const QByteArray &request);

private:
    void connectToService();
    void sendRequest(QTcpSocket *socket);
    void dropSocket();
    WebPostingSettings currentSettings() const;

    const LiveReading &reading_;
    Clock &clock_;
    LoadSwitchFlags &loadSwitch_;
    PostTrigger trigger_;
    PostLogModel log_;
    QPointer<QTcpSocket> socket_;
    std::unique_ptr<ClockTimer> connectTimeout_;
};
