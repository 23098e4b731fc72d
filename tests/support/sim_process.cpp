#include "sim_process.h"

#include "process_fixtures.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QSettings>

SimProcess::SimProcess() = default;

SimProcess::~SimProcess()
{
    stop();
}

QString SimProcess::binDir()
{
    return qEnvironmentVariable("ORVO_BIN_DIR");
}

bool SimProcess::start(const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(captureLog_ ? QProcess::SeparateChannels
                                               : QProcess::ForwardedErrorChannel);
    process_.start(binDir() + QStringLiteral("/orvo-sim"), arguments);
    if (!process_.waitForStarted(10000))
        return false;
    const QDeadlineTimer deadline(10000);
    while (!process_.canReadLine()) {
        if (deadline.hasExpired() || !process_.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    devicePath_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    return !devicePath_.isEmpty();
}

QString SimProcess::logged()
{
    log_ += QString::fromLocal8Bit(process_.readAllStandardError());
    return log_;
}

void SimProcess::stop()
{
    stopProcess(process_);
}

bool SimProcess::startService(QProcess &daemon, const QString &iniPath, quint16 httpPort,
                              const QList<QPair<QString, QString>> &more)
{
    {
        QSettings ini(iniPath, QSettings::IniFormat);
        for (const auto &[key, value] : QList<QPair<QString, QString>>{
                 {"startup/ZigbeeVersion", "8"}, {"startup/ComPort", "15"},
                 {"startup/StartupComIsOn", "True"}, {"startup/StartupRTLisOn", "True"},
                 {"startup/TCPport", QString::number(freeTcpPort())}, {"http/Enabled", "True"},
                 {"http/Listen", QStringLiteral("127.0.0.1:%1").arg(httpPort)}} + more)
            ini.setValue(key, value);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
    daemon.setProcessEnvironment(env);
    daemon.start(binDir() + QStringLiteral("/orvotoved"), {QStringLiteral("--settings"), iniPath});
    return daemon.waitForStarted(10000);
}
