#include "stdin_source.h"

#include <cerrno>

#ifdef Q_OS_WIN
#include <io.h>
#define ORVO_READ_FD(fd, buf, n) ::_read(fd, buf, unsigned(n))
#else
#include <unistd.h>
#define ORVO_READ_FD(fd, buf, n) ::read(fd, buf, size_t(n))
#endif

namespace {
constexpr int kStdinFd = 0;
constexpr qint64 kLargestRead = 1 << 30;
} // namespace

StdinSource::StdinSource()
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 StdinSource::readData(char *data, qint64 maxSize)
{
    for (;;) {
        const auto got = ORVO_READ_FD(kStdinFd, data, qMin(maxSize, kLargestRead));
        if (got >= 0)
            return got;
        if (errno != EINTR)
            return -1;
    }
}
