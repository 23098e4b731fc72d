#pragma once

#include "live_reading.h"
#include "mqtt_connection.h"
#include "mqtt_settings.h"
#include "reporters.h"

#include <QDateTime>
#include <QObject>

#include <memory>

class Clock;
class ClockTimer;

// Publishes the readings to an MQTT broker: the availability topic with its last will, Home
// Assistant discovery and the retained state, at most once per Interval. It connects when
// started, and while the broker is away tries again after 1 s, 2 s, 4 s ... up to 60 s; every
// new connection publishes availability and discovery again. Nothing blocks: without TLS the
// broker's name is looked up with QHostInfo and the library gets an address.
//
// The status log hears of each change of state once (connected, login refused, unreachable),
// not of every retry.
class MqttPublisher : public QObject {
    Q_OBJECT
public:
    enum class State { Off, Connecting, Connected, Refused, Unreachable };
    Q_ENUM(State)

    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLongestRetryMs = 60000;
    static constexpr int kConnectTimeoutMs = 15000;

    MqttPublisher(Clock &clock, Reporter<StatusLines> log, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Connects with these settings when they are enabled; stops (quietly) otherwise. A running
    // connection is replaced.
    void start(const MqttSettings &settings);
    // A decoded packet: its state is sent when connected and the Interval has passed.
    void publishReading(const LiveReading &reading);
    // The orderly end: "offline" is sent and acknowledged (or waitMs passes), then the
    // connection is closed.
    void shutDown(int waitMs = 2000);

    State state() const { return state_; }
    // "Connected to broker", or why not.
    QString statusText() const;
    int connectAttempts() const { return attempts_; }
    int statesPublished() const { return statesPublished_; }
    int nextRetryMs() const { return retryMs_; }

signals:
    void stateChanged(MqttPublisher::State state);
    // After the state of a packet was handed to the connection (the benchmark's start mark is
    // the packet, this is only for tests that count).
    void statePublished();
    void delivered(int messageId);

private:
    void attempt();
    void connectTo(const QString &address);
    void onConnack(int code, const QString &text);
    void onLost(const QString &reason);
    void fail(State state, const QString &reason);
    void setState(State state, const QString &reason = {});
    void publishAvailabilityAndDiscovery();

    Clock &clock_;
    Reporter<StatusLines> log_;
    MqttSettings settings_;
    MqttConnection connection_;
    std::unique_ptr<ClockTimer> retryTimer_;
    std::unique_ptr<ClockTimer> connectTimer_;
    State state_ = State::Off;
    QString reason_;
    int retryMs_ = kFirstRetryMs;
    int attempts_ = 0;
    int lookupId_ = -1;
    int statesPublished_ = 0;
    bool refused_ = false;
    QDateTime lastStateAt_;
};
