#pragma once

#include "mqtt_tls.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class Clock;
class ClockTimer;
class QSocketNotifier;
struct mosquitto;

// What one connection to the broker is opened with.
struct MqttConnectOptions {
    QString clientId; // plain: letters, digits, "-" and "_"
    QString address;  // a numeric address: the library looks nothing up (its lookup blocks)
    QString brokerName; // the configured host: with TLS the certificate must name it
    int port = 1883;
    QString username;
    QString password;
    QString caFile;
    QString willTopic;
    QByteArray willPayload;
    int keepAliveSeconds = 30;
};

// One libmosquitto client on the program's event loop, to one address: its socket is watched by
// socket notifiers (for writing while the socket connects and while the library has bytes to
// send) and a timer of the Clock runs the library's housekeeping (keep-alive pings) once a
// second. Nothing here waits: the socket connects without blocking and everything else happens
// when it is ready. Only the descriptor the library hands out for this client is ever watched.
//
// A connection lives from open() to its failure, loss or close(); a fresh one is opened for
// every address and attempt. Slots of the signals must not close the connection: they run
// inside the library.
class MqttConnection : public QObject {
    Q_OBJECT
public:
    explicit MqttConnection(Clock &clock, QObject *parent = nullptr);
    ~MqttConnection() override;

    // Starts connecting; false with the reason when that failed at once.
    bool open(const MqttConnectOptions &options, QString *error);
    // Ends the connection. Orderly: a DISCONNECT is sent first, so the broker keeps the will.
    void close(bool orderly);
    bool isOpen() const { return client_ != nullptr; }

    // Queues a QoS 1 message; its message id, or -1 when it could not be queued.
    int publish(const QString &topic, const QByteArray &payload, bool retain);
    // Subscribes with QoS 1 (a filter may hold "+"); false when it could not be queued.
    bool subscribe(const QString &filter);

signals:
    // The socket is connected to the address; the login (and with TLS the handshake) follows.
    void socketConnected();
    // The socket never connected (refused, unreachable); the connection is closed.
    void connectFailed(const QString &reason);
    // The broker's answer to the login: 0 accepts, anything else refuses.
    void connackReceived(int code, const QString &text);
    // The broker acknowledged the QoS 1 message with this id.
    void delivered(int messageId);
    // A message on a subscribed topic; `retained` when the broker held it from before.
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);
    // The connection is gone after its socket had connected (reset, closed by the broker, a
    // failed handshake).
    void lost(const QString &reason);

private:
    static void onConnect(mosquitto *, void *self, int code);
    static void onPublish(mosquitto *, void *self, int messageId);
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *message);
    bool configure(const MqttConnectOptions &options, QString *error);
    bool configureTls(const MqttConnectOptions &options, QString *error);
    bool startConnecting(const MqttConnectOptions &options, QString *error);
    bool watchSocket();
    void unwatchSocket();
    void socketReady(bool writable);
    bool socketHasConnected();
    void afterLoop(int rc);
    QString withTlsVerdict(const QString &libraryReason) const;
    void fail(const QString &libraryReason);
    void destroyClient();

    Clock &clock_;
    mosquitto *client_ = nullptr;
    int fd_ = -1;
    bool socketConnected_ = false;
    int connectErrno_ = 0; // errno as the library left it after starting to connect
    MqttTlsVerdict tlsVerdict_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::unique_ptr<ClockTimer> housekeeping_;
};
