#include "process_fixtures.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpServer>

quint16 freeTcpPort()
{
    for (quint16 port = 20000 + QCoreApplication::applicationPid() % 10000; port < 32768; ++port) {
        QTcpServer probe;
        if (probe.listen(QHostAddress::Any, port))
            return port;
    }
    return 0;
}

quint16 unusedLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void stopProcess(QProcess &process, int waitMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(waitMs)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

long processStatusKb(qint64 pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
    return -1;
}
