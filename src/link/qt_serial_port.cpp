#include "qt_serial_port.h"

#include "link_logging.h"

#include <QMetaObject>

namespace {

constexpr qint64 kReadBufferSize = 1024;

} // namespace

QtSerialPort::QtSerialPort(QObject *parent) : SerialPort(parent), port_(this)
{
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::logArrivals); // before readers
    connect(&port_, &QSerialPort::readyRead, this, &SerialPort::readyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onErrorOccurred);
}

QtSerialPort::~QtSerialPort()
{
    // Close before the members go, so that no error from the closing port reaches a half
    // destroyed object.
    disconnect(&port_, nullptr, this, nullptr);
    if (port_.isOpen())
        port_.close();
}

bool QtSerialPort::open(const QString &deviceName)
{
    close();
    errorString_.clear();

    opening_ = true;
    port_.setPortName(deviceName);
    port_.setReadBufferSize(kReadBufferSize);
    port_.setBaudRate(QSerialPort::Baud19200);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        opening_ = false;
        errorString_ = port_.errorString();
        qCInfo(lcLink).noquote() << "cannot open" << deviceName << ":" << errorString_;
        port_.clearError();
        return false;
    }
    // Best effort: a pseudo-terminal answers UnsupportedOperationError and is still usable.
    if (!port_.setDataTerminalReady(false))
        port_.clearError();
    if (!port_.setRequestToSend(false))
        port_.clearError();
    opening_ = false;
    ++session_;
    qCInfo(lcLink).noquote() << "opened" << deviceName;
    return true;
}

void QtSerialPort::close()
{
    ++session_; // cancels a pending deferred close
    lost_ = false;
    loggedUnread_ = 0;
    if (port_.isOpen()) {
        qCInfo(lcLink).noquote() << "closing" << port_.portName();
        port_.close();
    }
    port_.clearError();
}

bool QtSerialPort::isOpen() const
{
    return !lost_ && port_.isOpen();
}

qint64 QtSerialPort::bytesAvailable() const
{
    return isOpen() ? port_.bytesAvailable() : 0;
}

int QtSerialPort::readByte()
{
    if (!isOpen())
        return -1;
    char c = 0;
    if (port_.read(&c, 1) != 1)
        return -1;
    if (loggedUnread_ > 0)
        --loggedUnread_;
    return static_cast<unsigned char>(c);
}

bool QtSerialPort::write(const QByteArray &bytes)
{
    if (!isOpen())
        return false;
    qCDebug(lcLinkBytes).noquote() << "out" << bytes.toHex(' ');
    const qint64 written = port_.write(bytes);
    if (written != bytes.size()) {
        errorString_ = port_.errorString();
        qCInfo(lcLink).noquote() << "write of" << bytes.size() << "bytes failed:" << errorString_;
        return false;
    }
    port_.flush();
    return isOpen();
}

bool QtSerialPort::waitForReadyRead(int msec)
{
    if (!isOpen())
        return false;
    // May report the device's loss from inside (see onErrorOccurred), and then returns false.
    return port_.waitForReadyRead(msec) && isOpen();
}

void QtSerialPort::onErrorOccurred(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    if (opening_ || lost_ || !port_.isOpen())
        return;
    errorString_ = port_.errorString();
    qCInfo(lcLink).noquote() << "device lost:" << errorString_;
    lost_ = true;
    // Closing a QSerialPort from inside its own error notification is not safe, so the close
    // waits for the event loop; until then the port already counts as closed, so no caller can
    // spin on it. QSerialPort reports the error again at every turn of the event loop until it
    // is closed: the queued close runs at the next turn, so only a handful of them come.
    const quint64 session = session_;
    QMetaObject::invokeMethod(
        this, [this, session] { finishDeviceLoss(session); }, Qt::QueuedConnection);
}

void QtSerialPort::finishDeviceLoss(quint64 session)
{
    if (session != session_)
        return; // closed or reopened meanwhile
    ++session_;
    lost_ = false;
    loggedUnread_ = 0;
    if (port_.isOpen())
        port_.close();
    port_.clearError();
    emit deviceLost();
}

void QtSerialPort::logArrivals()
{
    // Shows each byte once, as it arrives; it stays in the buffer for readByte.
    if (!lcLinkBytes().isDebugEnabled())
        return;
    const qint64 waiting = port_.bytesAvailable();
    if (waiting > loggedUnread_)
        qCDebug(lcLinkBytes).noquote()
            << "in " << port_.peek(waiting).mid(loggedUnread_).toHex(' ');
    loggedUnread_ = waiting;
}
