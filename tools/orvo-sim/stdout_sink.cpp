#include "stdout_sink.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

StdoutSink::StdoutSink(QObject *parent)
    : QObject(parent)
{
    std::signal(SIGPIPE, SIG_IGN);
}

void StdoutSink::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            emit closed();
            return;
        }
        done += n;
    }
}
