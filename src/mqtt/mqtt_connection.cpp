#include "mqtt_connection.h"

#include "clock.h"
#include "mqtt_logging.h"

#include <QSocketNotifier>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

QString libraryError(int rc, int savedErrno)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

MqttConnection::MqttConnection(Clock &clock, QObject *parent)
    : QObject(parent), clock_(clock), housekeeping_(clock.createTimer(this))
{
    static std::once_flag libraryStarted;
    std::call_once(libraryStarted, [] { mosquitto_lib_init(); });
    connect(housekeeping_.get(), &ClockTimer::timeout, this,
            [this] { afterLoop(mosquitto_loop_misc(client_)); });
}

MqttConnection::~MqttConnection()
{
    close(false);
}

bool MqttConnection::open(const MqttConnectOptions &o, QString *error)
{
    close(false);
    client_ = mosquitto_new(o.clientId.toUtf8().constData(), true, this);
    if (!client_) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!configure(o, error)) {
        destroyClient();
        return false;
    }
    // With an address no name is looked up; the socket connects without blocking.
    const int rc = mosquitto_connect_async(client_, o.address.toUtf8().constData(), o.port,
                                           o.keepAliveSeconds);
    const int savedErrno = errno;
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = libraryError(rc, savedErrno);
        destroyClient();
        return false;
    }
    watchSocket();
    housekeeping_->setSingleShot(false);
    housekeeping_->start(1000);
    return true;
}

bool MqttConnection::configure(const MqttConnectOptions &o, QString *error)
{
    mosquitto_connect_callback_set(client_, &MqttConnection::onConnect);
    mosquitto_publish_callback_set(client_, &MqttConnection::onPublish);
    const QByteArray will = o.willTopic.toUtf8();
    int rc = mosquitto_will_set(client_, will.constData(), int(o.willPayload.size()),
                                o.willPayload.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !o.username.isEmpty())
        rc = mosquitto_username_pw_set(client_, o.username.toUtf8().constData(),
                                       o.password.isEmpty() ? nullptr
                                                            : o.password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && !o.caFile.isEmpty())
        rc = mosquitto_tls_set(client_, o.caFile.toLocal8Bit().constData(), nullptr, nullptr,
                               nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = libraryError(rc, errno);
        return false;
    }
    return true;
}

void MqttConnection::close(bool orderly)
{
    if (!client_)
        return;
    if (orderly)
        mosquitto_disconnect(client_);
    destroyClient();
}

void MqttConnection::destroyClient()
{
    // The notifiers go before the library closes the socket they watch.
    unwatchSocket();
    housekeeping_->stop();
    if (client_)
        mosquitto_destroy(client_);
    client_ = nullptr;
}

int MqttConnection::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    if (!client_)
        return -1;
    int mid = 0;
    const int rc = mosquitto_publish(client_, &mid, topic.toUtf8().constData(),
                                     int(payload.size()), payload.constData(), 1, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        qCDebug(lcMqtt) << "publish to" << topic << "failed:" << mosquitto_strerror(rc);
        return -1;
    }
    // The library sends at once when it can; what is left waits for the socket.
    if (writeNotifier_)
        writeNotifier_->setEnabled(mosquitto_want_write(client_));
    return mid;
}

void MqttConnection::watchSocket()
{
    fd_ = mosquitto_socket(client_);
    if (fd_ < 0)
        return;
    readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this,
            [this] { afterLoop(mosquitto_loop_read(client_, 1)); });
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this,
            [this] { afterLoop(mosquitto_loop_write(client_, 1)); });
    writeNotifier_->setEnabled(mosquitto_want_write(client_));
}

void MqttConnection::unwatchSocket()
{
    readNotifier_.reset();
    writeNotifier_.reset();
    fd_ = -1;
}

void MqttConnection::afterLoop(int rc)
{
    const int savedErrno = errno;
    if (!client_)
        return;
    // On an error the library has closed the socket already: stop watching it before the
    // event loop looks at it again.
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(client_) != fd_ || fd_ < 0) {
        const QString reason = rc == MOSQ_ERR_SUCCESS ? QStringLiteral("the connection was closed")
                                                      : libraryError(rc, savedErrno);
        qCDebug(lcMqtt) << "connection lost:" << reason;
        destroyClient();
        emit lost(reason);
        return;
    }
    writeNotifier_->setEnabled(mosquitto_want_write(client_));
}

void MqttConnection::onConnect(mosquitto *, void *self, int code)
{
    emit static_cast<MqttConnection *>(self)->connackReceived(
        code, QString::fromUtf8(mosquitto_connack_string(code)));
}

void MqttConnection::onPublish(mosquitto *, void *self, int messageId)
{
    emit static_cast<MqttConnection *>(self)->delivered(messageId);
}
