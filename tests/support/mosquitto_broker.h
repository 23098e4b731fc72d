#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

// A real mosquitto broker for the tests, on a free port of 127.0.0.1 only, with its own
// configuration in a temporary folder: anonymous, with a password file, or TLS with a CA made
// here by openssl and a server certificate for `certificateNames` (subjectAltName entries).
// available() is false when mosquitto (or, for TLS, openssl) is not installed or did not start;
// whyNot() then names the Debian package to install, and the tests fail with it.
class MosquittoBroker {
public:
    enum class Mode { Anonymous, Password, Tls };
    explicit MosquittoBroker(Mode mode = Mode::Anonymous,
                             const QByteArray &certificateNames = "DNS:localhost,IP:127.0.0.1");
    ~MosquittoBroker();

    static QString brokerProgram();
    bool available() const { return ready_; }
    QString whyNot() const { return whyNot_; }

    // Starts (again) on the same port; true once it accepts connections.
    bool start();
    void stop();
    int port() const { return port_; }
    QString caFile() const;
    // mosquitto_pub, QoS 1: true once it has sent the message. An empty payload with retain
    // clears the retained message.
    bool publish(const QString &topic, const QByteArray &payload, bool retain = false) const;
    static QString user() { return QStringLiteral("meter"); }
    static QString password() { return QStringLiteral("s3cret"); }

private:
    bool writeConfig();
    bool makeTlsFiles();

    Mode mode_;
    QByteArray certificateNames_;
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
    bool ready_ = false;
    QString whyNot_;
};

// mosquitto_sub on the test broker: the latest payload of every topic it has seen, and how many
// messages each topic had.
class MqttSubscriber : public QObject {
public:
    MqttSubscriber(const MosquittoBroker &broker, const QStringList &topics, QObject *parent = nullptr);
    ~MqttSubscriber() override;
    // True once the subscription is in place (it has seen a probe message).
    bool waitSubscribed();

    QHash<QString, QByteArray> latest;
    QHash<QString, int> counts;
    std::function<void(const QString &topic)> onMessage;

private:
    void readLines();
    const MosquittoBroker &broker_;
    QProcess process_;
    QByteArray buffer_;
};

// An address and port that take no connection and refuse none, as a host that drops packets:
// the listening socket's queue is full, so a connect to it stays in progress until given up.
class SilentListener {
public:
    SilentListener(const QHostAddress &address, quint16 port);
    ~SilentListener();
    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;
    // True once a connect to it was seen to stay in progress.
    bool isSilent() const { return silent_; }

private:
    bool connectStaysPending(const QHostAddress &address, quint16 port);
    int listener_ = -1;
    QList<int> pending_;
    bool silent_ = false;
};
