#include "byte_waits.h"

#include "clock.h"
#include "serial_port.h"

#include <QEventLoop>
#include <QPointer>

bool waitForByteBlocking(SerialPort &port, const SecondDeadline &deadline)
{
    for (;;) {
        if (port.bytesAvailable() > 0)
            return true;
        if (deadline.reached() || !port.isOpen())
            return false;
        port.waitForReadyRead(deadline.msecUntil());
    }
}

bool waitForByteProcessingEvents(SerialPort &port, Clock &clock, const SecondDeadline &deadline)
{
    QPointer<SerialPort> guard(&port);
    QEventLoop loop;
    const auto wake = clock.createTimer();
    wake->setSingleShot(true);
    QObject::connect(wake.get(), &ClockTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&port, &SerialPort::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(&port, &SerialPort::deviceLost, &loop, &QEventLoop::quit);
    for (;;) {
        if (!guard || !port.isOpen())
            return false;
        if (port.bytesAvailable() > 0)
            return true;
        if (deadline.reached())
            return false;
        wake->start(deadline.msecUntil());
        loop.exec();
    }
}
