#include "pty_device.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr qsizetype kMaxPendingBytes = 4096;
constexpr int kHangUpRetryMs = 100;

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtyDevice::PtyDevice(QObject *parent)
    : QObject(parent)
{
    readRetry_.setSingleShot(true);
    readRetry_.setInterval(kHangUpRetryMs);
    connect(&readRetry_, &QTimer::timeout, this, [this] { readNotifier_->setEnabled(true); });
}

PtyDevice::~PtyDevice()
{
    if (heldSlave_ >= 0)
        ::close(heldSlave_);
    if (master_ >= 0)
        ::close(master_);
}

bool PtyDevice::open(QString *error)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) {
        *error = systemError("posix_openpt");
        return false;
    }
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *error = systemError("grantpt/unlockpt");
        return false;
    }
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        *error = systemError("ptsname");
        return false;
    }
    devicePath_ = QString::fromLocal8Bit(name);
    if (!configureSlave(error))
        return false;

    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyDevice::readMaster);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyDevice::flushPending);
    return true;
}

bool PtyDevice::configureSlave(QString *error)
{
    heldSlave_ = ::open(devicePath_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (heldSlave_ < 0) {
        *error = systemError("open slave");
        return false;
    }
    // Raw before anyone sees the path: with the terminal's default echo the monitor would read
    // its own packets back as commands.
    termios settings{};
    if (::tcgetattr(heldSlave_, &settings) != 0) {
        *error = systemError("tcgetattr");
        return false;
    }
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B19200);
    ::cfsetospeed(&settings, B19200);
    if (::tcsetattr(heldSlave_, TCSANOW, &settings) != 0) {
        *error = systemError("tcsetattr");
        return false;
    }
    return true;
}

void PtyDevice::readMaster()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            emit bytesReceived(QByteArray(buffer, n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        pauseReadingAfterHangUp();
        return;
    }
}

// Reading a master whose slave side is closed fails at once and the notifier would fire
// without end; try again a little later instead.
void PtyDevice::pauseReadingAfterHangUp()
{
    readNotifier_->setEnabled(false);
    readRetry_.start();
}

void PtyDevice::write(const QByteArray &bytes)
{
    if (master_ < 0)
        return;
    if (pending_.size() >= kMaxPendingBytes)
        return;
    pending_ += bytes;
    flushPending();
}

void PtyDevice::flushPending()
{
    while (!pending_.isEmpty()) {
        const ssize_t n = ::write(master_, pending_.constData(), size_t(pending_.size()));
        if (n > 0) {
            pending_.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            pending_.clear(); // the line is gone; nothing more can be sent
        break;
    }
    writeNotifier_->setEnabled(!pending_.isEmpty());
}
