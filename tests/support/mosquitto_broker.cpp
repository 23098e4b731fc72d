#include "mosquitto_broker.h"

#include "process_fixtures.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString findProgram(const QString &name)
{
    return QStandardPaths::findExecutable(
        name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/sbin"),
               QStringLiteral("/usr/local/bin")});
}

bool run(const QString &program, const QStringList &args, const QString &dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), p.readAll().constData());
        return false;
    }
    return true;
}

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// Host, port, login and CA of the test broker for mosquitto_sub and mosquitto_pub.
QStringList clientArgs(const MosquittoBroker &broker)
{
    const bool tls = QFile::exists(broker.caFile());
    QStringList args{"-h", tls ? "localhost" : "127.0.0.1", "-p", QString::number(broker.port()),
                     "-u", MosquittoBroker::user(), "-P", MosquittoBroker::password()};
    if (tls)
        args << "--cafile" << broker.caFile();
    return args;
}

} // namespace

QString MosquittoBroker::brokerProgram()
{
    return findProgram(QStringLiteral("mosquitto"));
}

MosquittoBroker::MosquittoBroker(Mode mode, const QByteArray &certificateNames)
    : mode_(mode), certificateNames_(certificateNames), port_(unusedLoopbackPort())
{
    if (brokerProgram().isEmpty() || findProgram(QStringLiteral("mosquitto_sub")).isEmpty()) {
        whyNot_ = QStringLiteral("mosquitto or mosquitto_sub is missing: install the Debian packages "
                                 "mosquitto and mosquitto-clients");
        return;
    }
    if (mode_ == Mode::Tls && findProgram(QStringLiteral("openssl")).isEmpty()) {
        whyNot_ = QStringLiteral("openssl is missing: install the Debian package openssl");
        return;
    }
    ready_ = writeConfig() && start();
    if (!ready_ && whyNot_.isEmpty())
        whyNot_ = QStringLiteral("the test broker did not start");
}

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

QString MosquittoBroker::caFile() const
{
    return dir_.filePath(QStringLiteral("ca.crt"));
}

bool MosquittoBroker::makeTlsFiles()
{
    const QString ssl = findProgram(QStringLiteral("openssl"));
    const QString d = dir_.path();
    // Elliptic-curve keys: made in a moment, where RSA keys take seconds on a busy machine.
    const QStringList newKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    return run(ssl, QStringList{"req", "-x509"} + newKey + QStringList{"-days", "2", "-subj",
                     "/CN=Test CA", "-keyout", "ca.key", "-out", "ca.crt"}, d)
           && run(ssl, QStringList{"req"} + newKey + QStringList{"-subj", "/CN=Test broker",
                        "-keyout", "server.key", "-out", "server.csr"}, d)
           && writeFile(dir_.filePath("ext.cnf"), "subjectAltName=" + certificateNames_ + "\n")
           && run(ssl, {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                        "-CAcreateserial", "-days", "2", "-extfile", "ext.cnf", "-out", "server.crt"}, d);
}

bool MosquittoBroker::writeConfig()
{
    QByteArray conf = "per_listener_settings false\npersistence false\nlog_dest stderr\n";
    // Started as root the broker would become user "mosquitto" and lose its private folder.
    if (::getuid() == 0)
        conf += "user root\n";
    conf += "listener " + QByteArray::number(port_) + " 127.0.0.1\n";
    if (mode_ == Mode::Password) {
        const QString passwd = dir_.filePath(QStringLiteral("passwd"));
        if (!run(findProgram(QStringLiteral("mosquitto_passwd")), {"-b", "-c", passwd, user(), password()},
                 dir_.path()))
            return false;
        conf += "allow_anonymous false\npassword_file " + passwd.toUtf8() + "\n";
    } else {
        conf += "allow_anonymous true\n";
    }
    if (mode_ == Mode::Tls) {
        if (!makeTlsFiles())
            return false;
        conf += "cafile " + caFile().toUtf8() + "\ncertfile " + dir_.filePath("server.crt").toUtf8()
                + "\nkeyfile " + dir_.filePath("server.key").toUtf8() + "\n";
    }
    return writeFile(dir_.filePath(QStringLiteral("mosquitto.conf")), conf);
}

bool MosquittoBroker::start()
{
    stop();
    process_.setStandardErrorFile(dir_.filePath(QStringLiteral("broker.log")), QIODevice::Append);
    process_.start(brokerProgram(), {"-c", dir_.filePath(QStringLiteral("mosquitto.conf"))});
    if (!process_.waitForStarted(5000))
        return false;
    // Ready once the port accepts a connection.
    for (int i = 0; i < 100; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(port_));
        if (probe.waitForConnected(200))
            return true;
        if (process_.state() != QProcess::Running)
            return false;
        QTest::qWait(50);
    }
    return false;
}

bool MosquittoBroker::publish(const QString &topic, const QByteArray &payload, bool retain) const
{
    QStringList args = clientArgs(*this) + QStringList{"-q", "1", "-t", topic};
    if (retain)
        args << "-r";
    if (payload.isEmpty())
        args << "-n";
    else
        args << "-m" << QString::fromUtf8(payload);
    return QProcess::execute(findProgram(QStringLiteral("mosquitto_pub")), args) == 0;
}

void MosquittoBroker::stop()
{
    stopProcess(process_);
}

MqttSubscriber::MqttSubscriber(const MosquittoBroker &broker, const QStringList &topics, QObject *parent)
    : QObject(parent), broker_(broker)
{
    QStringList args = clientArgs(broker) + QStringList{"-v", "-q", "1"};
    for (const QString &t : topics)
        args << "-t" << t;
    args << "-t" << "test/probe";
    connect(&process_, &QProcess::readyReadStandardOutput, this, &MqttSubscriber::readLines);
    process_.start(QStandardPaths::findExecutable(QStringLiteral("stdbuf")),
                   QStringList{"-oL", findProgram(QStringLiteral("mosquitto_sub"))} + args);
}

MqttSubscriber::~MqttSubscriber()
{
    process_.kill();
    process_.waitForFinished(5000);
}

bool MqttSubscriber::waitSubscribed()
{
    // Publishes probes until one comes back: the subscription is then in place.
    const QStringList args = clientArgs(broker_) + QStringList{"-t", "test/probe", "-m", "probe"};
    for (int i = 0; i < 50 && !counts.contains(QStringLiteral("test/probe")); ++i) {
        QProcess::execute(findProgram(QStringLiteral("mosquitto_pub")), args);
        QTest::qWait(100);
    }
    return counts.contains(QStringLiteral("test/probe"));
}

void MqttSubscriber::readLines()
{
    buffer_ += process_.readAllStandardOutput();
    int nl;
    while ((nl = buffer_.indexOf('\n')) >= 0) {
        const QByteArray line = buffer_.left(nl);
        buffer_.remove(0, nl + 1);
        const int space = line.indexOf(' ');
        const QString topic = QString::fromUtf8(space < 0 ? line : line.left(space));
        latest.insert(topic, space < 0 ? QByteArray() : line.mid(space + 1));
        ++counts[topic];
        if (onMessage)
            onMessage(topic);
    }
}

SilentListener::SilentListener(const QHostAddress &address, quint16 port)
{
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = htonl(address.toIPv4Address());
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr *>(&where), sizeof where) != 0
        || ::listen(listener_, 0) != 0)
        return;
    // Connects that nobody accepts fill the queue; then one more stays in progress.
    for (int i = 0; i < 8 && !silent_; ++i)
        silent_ = connectStaysPending(address, port);
}

SilentListener::~SilentListener()
{
    for (const int fd : std::as_const(pending_))
        ::close(fd);
    if (listener_ >= 0)
        ::close(listener_);
}

bool SilentListener::connectStaysPending(const QHostAddress &address, quint16 port)
{
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = htonl(address.toIPv4Address());
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    pending_.append(fd);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&where), sizeof where) == 0 || errno != EINPROGRESS)
        return false;
    pollfd p{fd, POLLOUT, 0};
    return ::poll(&p, 1, 300) == 0;
}
