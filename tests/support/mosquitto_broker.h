#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

// A real mosquitto broker for the tests, on a free loopback port with its own configuration in
// a temporary folder: anonymous, with a password file, or TLS with a CA made here by openssl.
// available() is false when mosquitto (or, for TLS, openssl) is not installed or did not start;
// whyNot() then names the Debian package to install, and the tests fail with it.
class MosquittoBroker {
public:
    enum class Mode { Anonymous, Password, Tls };
    explicit MosquittoBroker(Mode mode = Mode::Anonymous);
    ~MosquittoBroker();

    static QString brokerProgram();
    bool available() const { return ready_; }
    QString whyNot() const { return whyNot_; }

    // Starts (again) on the same port; true once it accepts connections.
    bool start();
    void stop();
    int port() const { return port_; }
    QString caFile() const;
    static QString user() { return QStringLiteral("meter"); }
    static QString password() { return QStringLiteral("s3cret"); }

private:
    bool writeConfig();
    bool makeTlsFiles();

    Mode mode_;
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
