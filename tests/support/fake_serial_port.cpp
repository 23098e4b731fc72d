#include "fake_serial_port.h"

#include "manual_clock.h"

#include <QTimer>

FakeSerialPort::FakeSerialPort(ManualClock *clock, QObject *parent)
    : SerialPort(parent), clock_(clock)
{
}

bool FakeSerialPort::open(const QString &deviceName)
{
    lastDevice = deviceName;
    if (failOpen || (deviceExists && !deviceExists(deviceName))) {
        errorString_ = QStringLiteral("No such file or directory");
        return false;
    }
    open_ = true;
    ++openCount;
    rx_.clear();
    inFlight_.clear();
    return true;
}

void FakeSerialPort::close()
{
    if (open_)
        ++closeCount;
    open_ = false;
    rx_.clear();
    inFlight_.clear();
}

int FakeSerialPort::readByte()
{
    if (rx_.isEmpty())
        return -1;
    const int byte = static_cast<unsigned char>(rx_.at(0));
    rx_.remove(0, 1);
    return byte;
}

bool FakeSerialPort::write(const QByteArray &bytes)
{
    if (!open_)
        return false;
    writes.append(bytes);
    if (responder)
        responder(bytes);
    return true;
}

bool FakeSerialPort::waitForReadyRead(int msec)
{
    ++blockingWaits;
    if (!inFlight_.isEmpty()) {
        rx_ += inFlight_.takeFirst();
        return true;
    }
    // Time passes while the caller blocks; timers fall due but fire only once it returns to
    // the event loop.
    if (clock_)
        clock_->skip(msec);
    return false;
}

void FakeSerialPort::arrive(const QByteArray &bytes)
{
    if (!open_ || bytes.isEmpty())
        return;
    inFlight_.append(bytes);
    QTimer::singleShot(0, this, &FakeSerialPort::deliverInFlight);
}

void FakeSerialPort::deliverInFlight()
{
    if (inFlight_.isEmpty())
        return; // already taken by a blocking wait
    rx_ += inFlight_.takeFirst();
    emit readyRead();
}

void FakeSerialPort::loseDevice()
{
    close();
    emit deviceLost();
}

QByteArray FakeSerialPort::written() const
{
    QByteArray all;
    for (const QByteArray &w : writes)
        all += w;
    return all;
}
