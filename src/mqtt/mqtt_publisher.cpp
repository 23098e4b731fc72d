#include "mqtt_publisher.h"

#include "clock.h"
#include "mqtt_logging.h"
#include "mqtt_messages.h"
#include "nested_wait.h"

#include <QCoreApplication>
#include <QHostInfo>

namespace {

QString brokerName(const MqttSettings &s)
{
    return QStringLiteral("%1:%2").arg(s.host).arg(s.port);
}

} // namespace

MqttPublisher::MqttPublisher(Clock &clock, Reporter<StatusLines> log, QObject *parent)
    : QObject(parent),
      clock_(clock),
      log_(log),
      connection_(clock, this),
      retryTimer_(clock.createTimer(this)),
      connectTimer_(clock.createTimer(this))
{
    retryTimer_->setSingleShot(true);
    connectTimer_->setSingleShot(true);
    connect(retryTimer_.get(), &ClockTimer::timeout, this, &MqttPublisher::attempt);
    // A half-open connection that never answers the login counts as an unreachable broker.
    connect(connectTimer_.get(), &ClockTimer::timeout, this, [this] {
        connection_.close(false);
        fail(State::Unreachable, QStringLiteral("no answer from the broker"));
    });
    connect(&connection_, &MqttConnection::connackReceived, this, &MqttPublisher::onConnack);
    connect(&connection_, &MqttConnection::lost, this, &MqttPublisher::onLost);
    connect(&connection_, &MqttConnection::delivered, this, &MqttPublisher::delivered);
}

MqttPublisher::~MqttPublisher()
{
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
}

void MqttPublisher::start(const MqttSettings &settings)
{
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    // New settings: the old base topic is told "offline" (sent at once when the socket takes
    // it, without waiting), since an orderly close drops the will.
    if (state_ == State::Connected)
        connection_.publish(mqttStatusTopic(settings_), QByteArrayLiteral("offline"), true);
    connection_.close(true);
    retryTimer_->stop();
    connectTimer_->stop();
    settings_ = settings;
    retryMs_ = kFirstRetryMs;
    lastStateAt_ = {};
    if (!settings_.enabled) {
        setState(State::Off);
        return;
    }
    attempt();
}

void MqttPublisher::attempt()
{
    ++attempts_;
    refused_ = false;
    if (state_ == State::Off)
        setState(State::Connecting);
    connectTimer_->start(kConnectTimeoutMs);
    // With TLS the library looks the name up itself: the certificate is checked against it.
    if (!settings_.caFile.isEmpty()) {
        connectTo(settings_.host);
        return;
    }
    lookupId_ = QHostInfo::lookupHost(settings_.host, this, [this](const QHostInfo &info) {
        lookupId_ = -1;
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            fail(State::Unreachable,
                 QStringLiteral("cannot find the host %1 (%2)").arg(settings_.host, info.errorString()));
            return;
        }
        connectTo(info.addresses().constFirst().toString());
    });
}

void MqttPublisher::connectTo(const QString &address)
{
    MqttConnectOptions o;
    o.clientId = QStringLiteral("orvotove-%1-%2")
                     .arg(mqttNodeName(settings_))
                     .arg(QCoreApplication::applicationPid());
    o.address = address;
    o.port = settings_.port;
    o.username = settings_.username;
    o.password = settings_.password;
    o.caFile = settings_.caFile;
    o.willTopic = mqttStatusTopic(settings_);
    o.willPayload = QByteArrayLiteral("offline");
    QString error;
    qCDebug(lcMqtt) << "connecting to" << address << settings_.port;
    if (!connection_.open(o, &error))
        fail(State::Unreachable, error);
}

void MqttPublisher::onConnack(int code, const QString &text)
{
    connectTimer_->stop();
    if (code != 0) {
        // The broker closes the connection next; the loss then keeps this reason.
        refused_ = true;
        setState(State::Refused, text);
        return;
    }
    retryMs_ = kFirstRetryMs;
    setState(State::Connected);
    publishAvailabilityAndDiscovery();
}

void MqttPublisher::onLost(const QString &reason)
{
    if (refused_)
        fail(State::Refused, reason_);
    else
        fail(State::Unreachable, reason);
}

void MqttPublisher::fail(State state, const QString &reason)
{
    connectTimer_->stop();
    setState(state, reason);
    retryTimer_->start(retryMs_);
    qCDebug(lcMqtt) << "next attempt in" << retryMs_ << "ms";
    retryMs_ = qMin(retryMs_ * 2, kLongestRetryMs);
}

void MqttPublisher::setState(State state, const QString &reason)
{
    if (state == state_ && reason == reason_)
        return;
    const bool changed = state != state_;
    state_ = state;
    reason_ = reason;
    // One line per change of state; a retry that fails the same way is not news.
    if (changed && state != State::Connecting && !(state == State::Off && reason.isEmpty()))
        log_->addLine(QStringLiteral("MQTT: ") + statusText());
    emit stateChanged(state_);
}

QString MqttPublisher::statusText() const
{
    const QString broker = brokerName(settings_);
    switch (state_) {
    case State::Off:
        return QStringLiteral("Publishing is off");
    case State::Connecting:
        return QStringLiteral("Connecting to broker %1").arg(broker);
    case State::Connected:
        return QStringLiteral("Connected to broker %1").arg(broker);
    case State::Refused:
        return QStringLiteral("The broker %1 refused the login: %2").arg(broker, reason_);
    case State::Unreachable:
        return QStringLiteral("Cannot reach the broker %1: %2").arg(broker, reason_);
    }
    return {};
}

void MqttPublisher::publishAvailabilityAndDiscovery()
{
    connection_.publish(mqttStatusTopic(settings_), QByteArrayLiteral("online"), true);
    const QList<MqttMessage> configs = mqttDiscoveryMessages(settings_);
    for (const MqttMessage &m : configs)
        connection_.publish(m.topic, m.payload, true);
}

void MqttPublisher::publishReading(const LiveReading &reading)
{
    if (state_ != State::Connected)
        return;
    const QDateTime now = clock_.nowWithOffset(); // no time zone look-up per packet
    if (lastStateAt_.isValid() && settings_.interval > 0
        && lastStateAt_.msecsTo(now) < qint64(settings_.interval) * 1000)
        return;
    lastStateAt_ = now;
    if (connection_.publish(mqttStateTopic(settings_), mqttStatePayload(reading, now), true) < 0)
        return;
    ++statesPublished_;
    emit statePublished();
}

void MqttPublisher::shutDown(int waitMs)
{
    retryTimer_->stop();
    connectTimer_->stop();
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    if (state_ == State::Connected) {
        const int mid = connection_.publish(mqttStatusTopic(settings_), QByteArrayLiteral("offline"), true);
        bool acknowledged = false;
        QMetaObject::Connection ack = connect(&connection_, &MqttConnection::delivered, this,
                                              [&](int id) { acknowledged = acknowledged || id == mid; });
        if (mid >= 0) {
            const WaitEnd end = NestedWait(clock_, this)
                                    .throughEndRequest()
                                    .wakeOn(&connection_, &MqttConnection::delivered)
                                    .wakeOn(&connection_, &MqttConnection::lost)
                                    .forMs(waitMs, [&] { return acknowledged || !connection_.isOpen(); });
            if (end == WaitEnd::GuardDestroyed)
                return;
        }
        disconnect(ack);
    }
    connection_.close(true);
    setState(State::Off);
}
