#include "sim_process.h"

#include "process_fixtures.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>

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
