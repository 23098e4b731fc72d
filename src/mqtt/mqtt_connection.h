#pragma once

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
    QString clientId;
    QString address; // an IP address, or with TLS a host name that the library looks up
    int port = 1883;
    QString username;
    QString password;
    QString caFile;
    QString willTopic;
    QByteArray willPayload;
    int keepAliveSeconds = 30;
};

// One libmosquitto client on the program's event loop: its socket is watched by socket notifiers
// (for writing only while the library has bytes to send) and a timer of the Clock runs the
// library's housekeeping (keep-alive pings) once a second. Nothing here waits: the connection is
// made without blocking and everything else happens when the socket is ready.
//
// A connection lives from open() to its loss or close(); the publisher opens a fresh one for
// every attempt. Slots of the signals must not close the connection: they run inside the library.
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

signals:
    // The broker's answer to the login: 0 accepts, anything else refuses.
    void connackReceived(int code, const QString &text);
    // The broker acknowledged the QoS 1 message with this id.
    void delivered(int messageId);
    // The connection is gone (reset, closed by the broker, failed to connect).
    void lost(const QString &reason);

private:
    static void onConnect(mosquitto *, void *self, int code);
    static void onPublish(mosquitto *, void *self, int messageId);
    bool configure(const MqttConnectOptions &options, QString *error);
    void watchSocket();
    void unwatchSocket();
    void afterLoop(int rc);
    void destroyClient();

    Clock &clock_;
    mosquitto *client_ = nullptr;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::unique_ptr<ClockTimer> housekeeping_;
};
