#pragma once

// Small fixtures many tests share: wall-clock instants and a private data folder.

#include <QDateTime>
#include <QTemporaryDir>

// 12:00:second.msec on a fixed day, for deadlines that are seconds of the minute.
inline QDateTime at(int second, int msec = 0)
{
    return QDateTime(QDate(2026, 1, 1), QTime(12, 0, second, msec));
}

// A temporary XDG_DATA_HOME for the test's life: no ports folder, so port numbers name the
// fixed table's devices, and nothing of the user's is read or written.
class TempDataHome {
public:
    TempDataHome() { qputenv("XDG_DATA_HOME", dir_.path().toLocal8Bit()); }
    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};
