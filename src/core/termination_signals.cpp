#include "termination_signals.h"

#include <QSocketNotifier>

#include <iterator>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef Q_OS_UNIX
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int pipeEnds[2] = {-1, -1};
struct sigaction previous[std::size(kSignals)];

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Nothing more can be done in a handler when the pipe is full: a request is pending anyway.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace
#endif

TerminationSignalWatcher::TerminationSignalWatcher(QObject *parent) : QObject(parent) {}

TerminationSignalWatcher::~TerminationSignalWatcher()
{
    uninstall();
}

bool TerminationSignalWatcher::install()
{
#ifdef Q_OS_UNIX
    if (installed_ || pipeEnds[0] != -1)
        return installed_;
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    installed_ = true;
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignalWatcher::readPipe);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool ok = true;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ok = ::sigaction(kSignals[i], &action, &previous[i]) == 0 && ok;
    return ok;
#else
    return false;
#endif
}

void TerminationSignalWatcher::uninstall()
{
#ifdef Q_OS_UNIX
    if (!installed_)
        return;
    installed_ = false;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &previous[i], nullptr);
    delete notifier_;
    notifier_ = nullptr;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
#endif
}

void TerminationSignalWatcher::readPipe()
{
#ifdef Q_OS_UNIX
    unsigned char byte = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1)
        emit terminationRequested(int(byte));
#endif
}
