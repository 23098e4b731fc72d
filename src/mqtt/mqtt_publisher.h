#pragma once

#include "live_reading.h"
#include "mqtt_connection.h"
#include "mqtt_dialer.h"
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
// new connection publishes availability and discovery again. Nothing blocks: each attempt looks
// the broker's name up and tries its addresses in turn (MqttDialer).
//
// Settings that cannot work keep publishing off: a base topic or discovery prefix that MQTT
// cannot carry. The status log hears of each change of state once (connected, login refused,
// unreachable, off and why), not of every retry.
class MqttPublisher : public QObject {
    Q_OBJECT
public:
    enum class State { Off, Connecting, Connected, Refused, Unreachable };
    Q_ENUM(State)

    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLongestRetryMs = 60000;
    // From the socket's connection to the broker's answer to the login.
    static constexpr int kConnectTimeoutMs = 15000;

    MqttPublisher(Clock &clock, Reporter<StatusLines> log, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Connects with these settings when they are enabled and can work; stops otherwise (quietly
    // when they are not enabled). A running connection is replaced.
    void start(const MqttSettings &settings);
    // How broker names are looked up: the system's resolver unless a test sets its own.
    void setResolver(MqttResolver resolver) { dialer_.setResolver(std::move(resolver)); }
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
    MqttConnectOptions connectOptions() const;
    void onConnack(int code, const QString &text);
    void onLost(const QString &reason);
    void fail(State state, const QString &reason);
    void setState(State state, const QString &reason = {});
    void publishAvailabilityAndDiscovery();

    Clock &clock_;
    Reporter<StatusLines> log_;
    MqttSettings settings_;
    MqttConnection connection_;
    MqttDialer dialer_;
    std::unique_ptr<ClockTimer> retryTimer_;
    std::unique_ptr<ClockTimer> connectTimer_;
    State state_ = State::Off;
    QString reason_;
    int retryMs_ = kFirstRetryMs;
    int attempts_ = 0;
    int statesPublished_ = 0;
    bool refused_ = false;
    QDateTime lastStateAt_;
};
