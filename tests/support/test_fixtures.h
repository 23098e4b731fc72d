#pragma once

// Small fixtures many tests share: wall-clock instants, a private data folder, literal bytes.

#include <QByteArray>
#include <QDateTime>
#include <QTemporaryDir>

#include <initializer_list>

// The bytes of the given values, 0 to 255.
inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (const int value : values)
        result += char(value);
    return result;
}

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
