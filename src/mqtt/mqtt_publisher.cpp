#include "mqtt_publisher.h"

#include "clock.h"
#include "mqtt_load_switches.h"
#include "mqtt_logging.h"
#include "mqtt_messages.h"
#include "nested_wait.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

QString brokerName(const MqttSettings &s)
{
    return QStringLiteral("%1:%2").arg(s.host).arg(s.port);
}

// Looked at before each attempt: the file may come (or go) while the program runs.
QString caFileFault(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("CaFile \"%1\" does not exist").arg(path);
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        return QStringLiteral("CaFile \"%1\" cannot be read").arg(path);
    return {};
}

} // namespace

MqttPublisher::MqttPublisher(Clock &clock, Reporter<StatusLines> log, QObject *parent)
    : QObject(parent),
      clock_(clock),
      log_(log),
      connection_(clock, this),
      dialer_(clock, connection_, this),
      retryTimer_(clock.createTimer(this)),
      connectTimer_(clock.createTimer(this)),
      healthTimer_(clock.createTimer(this)),
      birth_(clock, this)
{
    retryTimer_->setSingleShot(true);
    connectTimer_->setSingleShot(true);
    connect(retryTimer_.get(), &ClockTimer::timeout, this, &MqttPublisher::attempt);
    // A half-open connection that never answers the login counts as an unreachable broker.
    connect(connectTimer_.get(), &ClockTimer::timeout, this, [this] {
        connection_.close(false);
        fail(State::Unreachable, QStringLiteral("no answer from the broker"));
    });
    connect(&dialer_, &MqttDialer::reached, this, [this] { connectTimer_->start(kConnectTimeoutMs); });
    connect(&dialer_, &MqttDialer::failed, this,
            [this](const QString &reason) { fail(State::Unreachable, reason); });
    connect(&connection_, &MqttConnection::connackReceived, this, &MqttPublisher::onConnack);
    connect(&connection_, &MqttConnection::lost, this, &MqttPublisher::onLost);
    connect(&connection_, &MqttConnection::delivered, this, &MqttPublisher::delivered);
    connect(&connection_, &MqttConnection::messageReceived, this, &MqttPublisher::onMessage);
    connect(&birth_, &MqttBirthWatch::due, this, &MqttPublisher::republish);
    connect(healthTimer_.get(), &ClockTimer::timeout, this, &MqttPublisher::checkHealth);
}

MqttPublisher::~MqttPublisher() = default;

void MqttPublisher::start(const MqttSettings &settings)
{
    dialer_.cancel();
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
    // The library would refuse such topics at every attempt, deep inside.
    if (const QString fault = mqttTopicFault(settings_); !fault.isEmpty()) {
        setState(State::Off, fault);
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
    if (const QString fault = caFileFault(settings_.caFile); !fault.isEmpty()) {
        fail(State::Unreachable, fault);
        return;
    }
    dialer_.dial(connectOptions());
}

MqttConnectOptions MqttPublisher::connectOptions() const
{
    MqttConnectOptions o;
    o.clientId = mqttClientId(settings_, QCoreApplication::applicationPid());
    o.brokerName = settings_.host;
    o.port = settings_.port;
    o.username = settings_.username;
    o.password = settings_.password;
    o.caFile = settings_.caFile;
    o.willTopic = mqttStatusTopic(settings_);
    o.willPayload = QByteArrayLiteral("offline");
    return o;
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
    subscribe();
    publishAvailabilityAndDiscovery();
    healthTimer_->start(kHealthCheckMs);
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
    if (state != State::Connected) {
        healthTimer_->stop();
        birth_.cancel();
    }
    if (state == state_ && reason == reason_)
        return;
    // One line per change of state, and for each new reason to be off; a retry that fails the
    // same way is not news.
    const bool news = state != state_ || state == State::Off;
    state_ = state;
    reason_ = reason;
    if (news && state != State::Connecting && !(state == State::Off && reason.isEmpty()))
        log_->addLine(QStringLiteral("MQTT: ") + statusText());
    emit stateChanged(state_);
}

QString MqttPublisher::statusText() const
{
    const QString broker = brokerName(settings_);
    switch (state_) {
    case State::Off:
        return reason_.isEmpty() ? QStringLiteral("Publishing is off")
                                 : QStringLiteral("%1; publishing is off").arg(reason_);
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
    publishConfigs();
    publishDiagnostics(diagnostics());
    publishLoadStates();
}

void MqttPublisher::publishConfigs()
{
    const QList<MqttMessage> configs = mqttDiscoveryMessages(settings_, configurationUrl_)
                                       + mqttDiagnosticsConfigs(settings_, configurationUrl_)
                                       + mqttLoadConfigs(settings_, configurationUrl_);
    for (const MqttMessage &m : configs)
        connection_.publish(m.topic, m.payload, true);
}

void MqttPublisher::publishLoadStates()
{
    if (!sources_.loadIsOn)
        return;
    for (const int load : std::as_const(settings_.loads))
        connection_.publish(mqttLoadStateTopic(settings_, load), mqttLoadStatePayload(sources_.loadIsOn(load)), true);
}

// After Home Assistant's birth: everything it needs, the state last, so that it finds the
// entities that the state feeds.
void MqttPublisher::republish()
{
    if (state_ != State::Connected)
        return;
    publishAvailabilityAndDiscovery();
    if (!lastState_.isEmpty())
        connection_.publish(mqttStateTopic(settings_), lastState_, true);
}

void MqttPublisher::setConfigurationUrl(const QString &url)
{
    if (url == configurationUrl_)
        return;
    configurationUrl_ = url;
    if (state_ == State::Connected)
        publishConfigs();
}

void MqttPublisher::subscribe()
{
    if (!settings_.discoveryPrefix.isEmpty()) {
        connection_.subscribe(mqttBirthTopic(settings_));
        connection_.subscribe(mqttLoadConfigFilter(settings_));
    }
    if (!settings_.loads.isEmpty())
        connection_.subscribe(mqttLoadCommandFilter(settings_));
}

void MqttPublisher::onMessage(const QString &topic, const QByteArray &payload, bool retained)
{
    if (state_ != State::Connected)
        return;
    if (!settings_.discoveryPrefix.isEmpty() && topic == mqttBirthTopic(settings_))
        birth_.heard(payload, retained);
    else if (mqttConfiguredLoad(settings_, topic))
        clearStaleLoadConfig(topic, payload, retained);
    else
        takeCommand(topic, payload, retained);
}

void MqttPublisher::takeCommand(const QString &topic, const QByteArray &payload, bool retained)
{
    const auto load = mqttCommandedLoad(settings_, topic);
    const auto on = mqttLoadCommand(payload);
    // A command the broker kept would switch the load again at every connection.
    if (!load || !on || retained) {
        qCDebug(lcMqtt) << "ignored on" << topic.left(200) << (retained ? "(retained)" : "")
                        << payload.size() << "bytes:" << payload.left(20);
        return;
    }
    emit loadCommand(*load, *on);
}

void MqttPublisher::clearStaleLoadConfig(const QString &topic, const QByteArray &payload, bool retained)
{
    const auto load = mqttConfiguredLoad(settings_, topic);
    if (!retained || payload.isEmpty() || settings_.loads.contains(*load))
        return;
    qCDebug(lcMqtt) << "load" << *load << "is no longer exposed: its switch config is cleared";
    connection_.publish(topic, QByteArray(), true);
}

void MqttPublisher::loadChanged(int load, bool on)
{
    if (state_ == State::Connected && settings_.loads.contains(load))
        connection_.publish(mqttLoadStateTopic(settings_, load), mqttLoadStatePayload(on), true);
}

MqttDiagnostics MqttPublisher::diagnostics() const
{
    return MqttDiagnostics{
        .linkUp = sources_.linkUp && sources_.linkUp(),
        .lastPacket = lastPacketAt_,
        .checksumErrors = sources_.checksumErrors ? sources_.checksumErrors() : 0,
        .suspectDropped = sources_.suspectDropped ? sources_.suspectDropped() : 0,
    };
}

void MqttPublisher::checkHealth()
{
    const MqttDiagnostics now = diagnostics();
    const bool refresh = now.lastPacket != sentDiagnostics_.lastPacket
                         && clock_.monotonicMs() - diagnosticsSentAtMs_ >= kDiagnosticsRefreshMs;
    if (!now.sameHealth(sentDiagnostics_) || refresh)
        publishDiagnostics(now);
}

void MqttPublisher::publishDiagnostics(const MqttDiagnostics &d)
{
    sentDiagnostics_ = d;
    diagnosticsSentAtMs_ = clock_.monotonicMs();
    connection_.publish(mqttDiagnosticsTopic(settings_), mqttDiagnosticsPayload(d), true);
}

void MqttPublisher::publishReading(const LiveReading &reading)
{
    const QDateTime now = clock_.nowWithOffset(); // no time zone look-up per packet
    lastPacketAt_ = now;
    if (state_ != State::Connected)
        return;
    if (lastStateAt_.isValid() && settings_.interval > 0
        && lastStateAt_.msecsTo(now) < qint64(settings_.interval) * 1000)
        return;
    lastStateAt_ = now;
    lastState_ = mqttStatePayload(reading, now);
    if (connection_.publish(mqttStateTopic(settings_), lastState_, true) < 0)
        return;
    ++statesPublished_;
    emit statePublished();
}

void MqttPublisher::shutDown(int waitMs)
{
    retryTimer_->stop();
    connectTimer_->stop();
    dialer_.cancel();
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
