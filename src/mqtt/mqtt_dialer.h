#pragma once

#include "mqtt_connection.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class Clock;
class ClockTimer;

// Looks a broker's name up without blocking: `done` gets the addresses in the order to try them,
// or none and why, later on the event loop. It is not called once `context` is gone.
using MqttLookupDone = std::function<void(const QList<QHostAddress> &addresses, const QString &error)>;
using MqttResolver = std::function<void(const QString &name, QObject *context, MqttLookupDone done)>;
// The system's resolver, through QHostInfo.
MqttResolver systemMqttResolver();

// One attempt to reach the broker: its name is looked up, then the connection is opened to each
// address in turn until a socket connects. An address that refuses, or whose socket has not
// connected within kAddressTimeoutMs of the Clock, gives way to the next one; after the last
// one the attempt has failed, as it has when the name is not found within kLookupTimeoutMs.
// Once a socket connected, the login is the connection's business.
class MqttDialer : public QObject {
    Q_OBJECT
public:
    static constexpr int kLookupTimeoutMs = 15000;
    static constexpr int kAddressTimeoutMs = 5000;

    MqttDialer(Clock &clock, MqttConnection &connection, QObject *parent = nullptr);
    ~MqttDialer() override;

    void setResolver(MqttResolver resolver) { resolver_ = std::move(resolver); }
    // Starts an attempt to options.brokerName (its address is filled in per address); a running
    // one is given up.
    void dial(const MqttConnectOptions &options);
    // Gives up the running attempt, quietly; the connection is closed.
    void cancel();
    bool isDialing() const { return dialing_; }

signals:
    // A socket connected; the connection carries on with the login.
    void reached(const QString &address);
    // No address could be reached: why (each address's reason when they differ).
    void failed(const QString &reason);

private:
    void lookedUp(const QList<QHostAddress> &addresses, const QString &error);
    void tryNext();
    void timedOut();
    void addressFailed(const QString &reason);
    QString failure() const;
    void finish();

    MqttConnection &connection_;
    MqttResolver resolver_ = systemMqttResolver();
    std::unique_ptr<ClockTimer> timer_; // the lookup's, then each address's deadline
    MqttConnectOptions options_;
    QList<QHostAddress> addresses_;
    QStringList tried_;
    QStringList reasons_;
    quint64 lookups_ = 0; // an answer to an earlier lookup than the latest is dropped
    bool lookingUp_ = false;
    bool dialing_ = false;
};
