#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One process per settings file: two would fight over the serial port and overwrite each
// other's counters. The lock is a file beside the settings file (<file>.process.lock; QSettings
// itself uses <file>.lock while it writes), held for the whole run; a lock left by a process
// that died is recognised as stale by the next one.
class SettingsLock {
public:
    // Takes the lock for the settings file; on failure *error says why (another process, with
    // its process id, or a folder that cannot hold the lock).
    static std::unique_ptr<SettingsLock> acquire(const QString &settingsFile, QString *error);

private:
    explicit SettingsLock(const QString &lockFile) : lock_(lockFile) {}
    QLockFile lock_;
};
