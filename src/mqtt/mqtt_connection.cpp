#include "mqtt_connection.h"

#include "clock.h"
#include "mqtt_logging.h"
#include "mqtt_tls.h"

#include <QHostAddress>
#include <QSocketNotifier>

#include <mosquitto.h>

#include <sys/socket.h>

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

bool isPlainClientId(const QString &id)
{
    if (id.isEmpty() || id.size() > 256)
        return false;
    for (const QChar c : id)
        if (c.unicode() > 0x7f || !(c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_')))
            return false;
    return true;
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
    // A client id the library refuses makes it tidy up descriptors it never opened (0 first),
    // so it only ever gets a plain one; and only an address, since its own lookup blocks.
    if (!isPlainClientId(o.clientId)) {
        *error = QStringLiteral("the client id \"%1\" is not plain").arg(o.clientId.left(64));
        return false;
    }
    if (QHostAddress(o.address).isNull()) {
        *error = QStringLiteral("\"%1\" is not an address").arg(o.address.left(64));
        return false;
    }
    tlsVerdict_ = {};
    client_ = mosquitto_new(o.clientId.toUtf8().constData(), true, this);
    if (!client_) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!configure(o, error) || !startConnecting(o, error)) {
        destroyClient();
        return false;
    }
    housekeeping_->setSingleShot(false);
    housekeeping_->start(1000);
    return true;
}

bool MqttConnection::startConnecting(const MqttConnectOptions &o, QString *error)
{
    errno = 0;
    const int rc = mosquitto_connect_async(client_, o.address.toUtf8().constData(), o.port,
                                           o.keepAliveSeconds);
    const int savedErrno = errno;
    if (rc != MOSQ_ERR_SUCCESS) {
        // A socket on loopback may connect, and the handshake fail, right here.
        *error = withTlsVerdict(libraryError(rc, savedErrno));
        return false;
    }
    connectErrno_ = savedErrno;
    if (!watchSocket()) {
        *error = QStringLiteral("the library opened no socket");
        return false;
    }
    return true;
}

bool MqttConnection::configure(const MqttConnectOptions &o, QString *error)
{
    mosquitto_connect_callback_set(client_, &MqttConnection::onConnect);
    mosquitto_publish_callback_set(client_, &MqttConnection::onPublish);
    mosquitto_message_callback_set(client_, &MqttConnection::onMessage);
    mosquitto_log_callback_set(client_, [](mosquitto *, void *, int, const char *text) {
        qCDebug(lcMqtt) << "library:" << text;
    });
    const QByteArray will = o.willTopic.toUtf8();
    int rc = mosquitto_will_set(client_, will.constData(), int(o.willPayload.size()),
                                o.willPayload.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !o.username.isEmpty())
        rc = mosquitto_username_pw_set(client_, o.username.toUtf8().constData(),
                                       o.password.isEmpty() ? nullptr
                                                            : o.password.toUtf8().constData());
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = libraryError(rc, errno);
        return false;
    }
    return o.caFile.isEmpty() || configureTls(o, error);
}

bool MqttConnection::configureTls(const MqttConnectOptions &o, QString *error)
{
    int rc = mosquitto_tls_set(client_, o.caFile.toLocal8Bit().constData(), nullptr, nullptr,
                               nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = libraryError(rc, errno);
        return false;
    }
    const MqttTlsContext context = makeMqttTlsContext(o.brokerName, o.caFile, &tlsVerdict_, error);
    if (!context)
        return false;
    // The context is complete: the library takes it as it is (keeping its own reference), and
    // does not check the certificate against the address it connects to.
    rc = mosquitto_int_option(client_, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_void_option(client_, MOSQ_OPT_SSL_CTX, context.get());
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_tls_insecure_set(client_, true);
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
    if (orderly && socketConnected_)
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
    socketConnected_ = false;
}

int MqttConnection::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    if (!client_)
        return -1;
    int mid = 0;
    const int rc = mosquitto_publish(client_, &mid, topic.toUtf8().constData(),
                                     int(payload.size()), payload.constData(), 1, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        qCDebug(lcMqtt) << "publish to" << topic.left(200) << "failed:" << mosquitto_strerror(rc);
        return -1;
    }
    // The library sends at once when it can; what is left waits for the socket.
    if (writeNotifier_ && socketConnected_)
        writeNotifier_->setEnabled(mosquitto_want_write(client_));
    return mid;
}

bool MqttConnection::subscribe(const QString &filter)
{
    if (!client_)
        return false;
    const int rc = mosquitto_subscribe(client_, nullptr, filter.toUtf8().constData(), 1);
    if (rc != MOSQ_ERR_SUCCESS) {
        qCDebug(lcMqtt) << "subscribe to" << filter.left(200) << "failed:" << mosquitto_strerror(rc);
        return false;
    }
    if (writeNotifier_ && socketConnected_)
        writeNotifier_->setEnabled(mosquitto_want_write(client_));
    return true;
}

bool MqttConnection::watchSocket()
{
    fd_ = mosquitto_socket(client_);
    if (fd_ < 0)
        return false;
    readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] { socketReady(false); });
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, [this] { socketReady(true); });
    // A connecting socket tells that it is done by becoming writable.
    writeNotifier_->setEnabled(true);
    return true;
}

void MqttConnection::unwatchSocket()
{
    readNotifier_.reset();
    writeNotifier_.reset();
    fd_ = -1;
}

void MqttConnection::socketReady(bool writable)
{
    if (!client_ || (!socketConnected_ && !socketHasConnected()))
        return;
    afterLoop(writable ? mosquitto_loop_write(client_, 1) : mosquitto_loop_read(client_, 1));
}

// Whether the connecting socket, which the event loop found ready, has connected; one that
// failed to connect ends the connection.
bool MqttConnection::socketHasConnected()
{
    int err = 0;
    socklen_t length = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &length) != 0)
        err = errno;
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    if (err == 0 && ::getpeername(fd_, reinterpret_cast<sockaddr *>(&peer), &peerLength) == 0) {
        socketConnected_ = true;
        qCDebug(lcMqtt) << "socket connected";
        emit socketConnected();
        return client_ != nullptr;
    }
    // With TLS the library writes its hello at once, and that write already took the socket's
    // error: it is what the library left in errno.
    if (err == 0 && (connectErrno_ == ECONNREFUSED || connectErrno_ == EHOSTUNREACH
                     || connectErrno_ == ENETUNREACH || connectErrno_ == ETIMEDOUT))
        err = connectErrno_;
    fail(err != 0 ? QString::fromLocal8Bit(std::strerror(err)) : QStringLiteral("no connection"));
    return false;
}

void MqttConnection::afterLoop(int rc)
{
    const int savedErrno = errno;
    if (!client_)
        return;
    // On an error the library has closed the socket already: stop watching it before the
    // event loop looks at it again.
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(client_) != fd_ || fd_ < 0) {
        fail(rc == MOSQ_ERR_SUCCESS ? QStringLiteral("the connection was closed")
                                    : libraryError(rc, savedErrno));
        return;
    }
    if (socketConnected_)
        writeNotifier_->setEnabled(mosquitto_want_write(client_));
}

// The library only says that TLS failed; the certificate's refusal says why.
QString MqttConnection::withTlsVerdict(const QString &libraryReason) const
{
    const QString refusal = tlsVerdict_.refusal();
    return refusal.isEmpty() ? libraryReason : refusal;
}

void MqttConnection::fail(const QString &libraryReason)
{
    const bool hadConnected = socketConnected_;
    const QString reason = withTlsVerdict(libraryReason);
    qCDebug(lcMqtt) << (hadConnected ? "connection lost:" : "connect failed:") << reason;
    destroyClient();
    if (hadConnected)
        emit lost(reason);
    else
        emit connectFailed(reason);
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

void MqttConnection::onMessage(mosquitto *, void *self, const mosquitto_message *m)
{
    const QByteArray payload(static_cast<const char *>(m->payload), m->payloadlen);
    emit static_cast<MqttConnection *>(self)->messageReceived(QString::fromUtf8(m->topic), payload,
                                                              m->retain);
}
