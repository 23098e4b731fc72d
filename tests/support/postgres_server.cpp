#include "postgres_server.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>

#include <pwd.h>
#include <unistd.h>

namespace {
const QString kBin = QStringLiteral("/usr/lib/postgresql/15/bin/");

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
} // namespace

PostgresServer::PostgresServer()
{
    if (!QFileInfo::exists(kBin + QStringLiteral("initdb"))) {
        initError_ = QStringLiteral("PostgreSQL is missing (Debian package postgresql)");
        return;
    }
    const QString pw = dir_.filePath(QStringLiteral("pw"));
    QFile f(pw);
    f.open(QIODevice::WriteOnly);
    f.write("secret\n");
    f.close();
    if (geteuid() == 0)
        if (const passwd *nobody = getpwnam("nobody")) {
            chown(qPrintable(dir_.path()), nobody->pw_uid, nobody->pw_gid);
            chown(qPrintable(pw), nobody->pw_uid, nobody->pw_gid);
        }
    initError_ = run({kBin + QStringLiteral("initdb"), QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
                      QStringLiteral("-U"), QStringLiteral("orvo"), QStringLiteral("--pwfile=") + pw,
                      QStringLiteral("--auth-local=trust"), QStringLiteral("--auth-host=scram-sha-256"),
                      QStringLiteral("-N"), QStringLiteral("-E"), QStringLiteral("UTF8")});
    port_ = freePort();
}

PostgresServer::~PostgresServer()
{
    stop();
}

QString PostgresServer::run(const QStringList &arguments)
{
    QStringList command = arguments;
    if (geteuid() == 0)
        command = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("nobody"),
                              QStringLiteral("--")} + arguments;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(dir_.path()); // the unprivileged user may not enter ours
    p.start(command.takeFirst(), command);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("%1 failed: %2").arg(arguments.first(), QString::fromLocal8Bit(p.readAll()));
    return QString();
}

QString PostgresServer::start()
{
    if (!initError_.isEmpty())
        return initError_;
    const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off")
                                .arg(port_)
                                .arg(dir_.path());
    return run({kBin + QStringLiteral("pg_ctl"), QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
                QStringLiteral("-l"), dir_.filePath(QStringLiteral("log")), QStringLiteral("-w"),
                QStringLiteral("-o"), options, QStringLiteral("start")});
}

QString PostgresServer::stop()
{
    if (!initError_.isEmpty() || !QFileInfo::exists(dir_.filePath(QStringLiteral("data/postmaster.pid"))))
        return QString();
    return run({kBin + QStringLiteral("pg_ctl"), QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
                QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")});
}

QString PostgresServer::logText() const
{
    QFile f(dir_.filePath(QStringLiteral("log")));
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

QString PostgresServer::url(const QString &password) const
{
    return QStringLiteral("postgresql://orvo:%1@127.0.0.1:%2/postgres").arg(password).arg(port_);
}
