#pragma once

#include <QString>
#include <QTemporaryDir>

// A PostgreSQL server of the test's own (Debian package postgresql): initdb once per test
// program into a temporary folder, as an unprivileged user when the test runs as root (initdb
// refuses root), then pg_ctl on a free loopback port with its socket in that folder. The login
// is user "orvo" with password "secret" over TCP.
class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();

    // Empty when it runs; otherwise what went wrong, naming the package when it is missing.
    QString start();
    QString stop();
    int port() const { return port_; }
    QString logText() const;
    QString url(const QString &password = QStringLiteral("secret")) const;

private:
    QString run(const QStringList &arguments);

    QTemporaryDir dir_;
    int port_ = 0;
    QString initError_;
};
