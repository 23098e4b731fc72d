#include "settings_lock.h"

#include <QDir>
#include <QFileInfo>

std::unique_ptr<SettingsLock> SettingsLock::acquire(const QString &settingsFile, QString *error)
{
    const QFileInfo info(settingsFile);
    QDir().mkpath(info.absolutePath()); // a first run has no settings folder yet
    std::unique_ptr<SettingsLock> held(new SettingsLock(info.absoluteFilePath() + ".process.lock"));
    held->lock_.setStaleLockTime(0); // a lock stays until its process ends, however long it runs
    if (held->lock_.tryLock(0))
        return held;
    qint64 pid = 0;
    QString host;
    QString app;
    if (held->lock_.error() == QLockFile::LockFailedError && held->lock_.getLockInfo(&pid, &host, &app))
        *error = QStringLiteral("another process (%1, process id %2) already uses the settings "
                                "file %3")
                     .arg(app)
                     .arg(pid)
                     .arg(info.absoluteFilePath());
    else
        *error = QStringLiteral("cannot lock the settings file %1").arg(info.absoluteFilePath());
    return nullptr;
}
