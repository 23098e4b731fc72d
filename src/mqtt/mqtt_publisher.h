#pragma once

#include "live_reading.h"
#include "mqtt_birth.h"
#include "mqtt_connection.h"
#include "mqtt_diagnostics.h"
#include "mqtt_dialer.h"
#include "mqtt_settings.h"
#include "reporters.h"

#include <QDateTime>
#include <QObject>

#include <functional>
#include <memory>

class Clock;
class ClockTimer;

// What the publisher reads from the rest of the program: the link's health for the diagnostics
// and the loads for the switches' states. Any of them may be left empty.
struct MqttSources {
    std::function<bool()> linkUp;
    std::function<quint64()> checksumErrors;
    std::function<quint64()> suspectDropped;
    std::function<bool(int load)> loadIsOn;
};

// Publishes the readings to an MQTT broker: the availability topic with its last will, Home
// Assistant discovery and the retained state, at most once per Interval. It connects when
// started, and while the broker is away tries again after 1 s, 2 s, 4 s ... up to 60 s; every
// new connection publishes availability and discovery again. Nothing blocks: each attempt looks
// the broker's name up and tries its addresses in turn (MqttDialer).
//
// Home Assistant: after its birth message the discovery, availability, diagnostics and latest
// state go out again (MqttBirthWatch). The link's health is looked at every second and sent on
// <T>/diagnostics when it changes (and the packet time at most once a minute). The loads that
// Loads names are switches: a command is handed on as loadCommand() only while connected, and
// a load switched from anywhere comes back through loadChanged() to its state topic. Retained
// switch configs of loads no longer exposed are cleared, so Home Assistant drops them.
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
    static constexpr int kHealthCheckMs = 1000;
    // The packet time alone is sent again at most this often.
    static constexpr int kDiagnosticsRefreshMs = 60000;

    MqttPublisher(Clock &clock, Reporter<StatusLines> log, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Connects with these settings when they are enabled and can work; stops otherwise (quietly
    // when they are not enabled). A running connection is replaced.
    void start(const MqttSettings &settings);
    // How broker names are looked up: the system's resolver unless a test sets its own.
    void setResolver(MqttResolver resolver) { dialer_.setResolver(std::move(resolver)); }
    // A decoded packet: its state is sent when connected and the Interval has passed.
    void publishReading(const LiveReading &reading);
    void setSources(MqttSources sources) { sources_ = std::move(sources); }
    // The dashboard's address for the device block (empty: none); configs go out again when
    // it changes while connected.
    void setConfigurationUrl(const QString &url);
    // A load was switched, from anywhere: its state topic follows when Loads exposes it.
    void loadChanged(int load, bool on);
    // The delay after Home Assistant's birth; tests draw their own.
    MqttBirthWatch &birthWatch() { return birth_; }
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
    // A switch's command from the broker, for a load that Loads exposes.
    void loadCommand(int load, bool on);

private:
    void attempt();
    MqttConnectOptions connectOptions() const;
    void onConnack(int code, const QString &text);
    void onLost(const QString &reason);
    void fail(State state, const QString &reason);
    void setState(State state, const QString &reason = {});
    void publishAvailabilityAndDiscovery();
    void publishConfigs();
    void publishLoadStates();
    void subscribe();
    void onMessage(const QString &topic, const QByteArray &payload, bool retained);
    void takeCommand(const QString &topic, const QByteArray &payload, bool retained);
    void clearStaleLoadConfig(const QString &topic, const QByteArray &payload, bool retained);
    void republish();
    void checkHealth();
    MqttDiagnostics diagnostics() const;
    void publishDiagnostics(const MqttDiagnostics &diagnostics);

    Clock &clock_;
    Reporter<StatusLines> log_;
    MqttSettings settings_;
    MqttConnection connection_;
    MqttDialer dialer_;
    std::unique_ptr<ClockTimer> retryTimer_;
    std::unique_ptr<ClockTimer> connectTimer_;
    std::unique_ptr<ClockTimer> healthTimer_;
    MqttBirthWatch birth_;
    MqttSources sources_;
    QString configurationUrl_;
    MqttDiagnostics sentDiagnostics_;
    qint64 diagnosticsSentAtMs_ = 0;
    QDateTime lastPacketAt_;
    QByteArray lastState_;
    State state_ = State::Off;
    QString reason_;
    int retryMs_ = kFirstRetryMs;
    int attempts_ = 0;
    int statesPublished_ = 0;
    bool refused_ = false;
    QDateTime lastStateAt_;
};
