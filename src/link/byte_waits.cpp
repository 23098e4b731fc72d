#include "byte_waits.h"

#include "clock.h"
#include "end_request.h"
#include "nested_wait.h"
#include "serial_port.h"

bool waitForByteBlocking(SerialPort &port, const SecondDeadline &deadline)
{
    for (;;) {
        if (port.bytesAvailable() > 0)
            return true;
        // Once the program is to end, no more seconds are spent on the monitor.
        if (deadline.reached() || !port.isOpen() || EndRequest::isPending())
            return false;
        port.waitForReadyRead(deadline.msecUntil());
    }
}

bool waitForByteProcessingEvents(SerialPort &port, Clock &clock, const SecondDeadline &deadline)
{
    NestedWait wait(clock, &port);
    wait.wakeOn(&port, &SerialPort::readyRead).wakeOn(&port, &SerialPort::deviceLost);
    // A closed port ends the wait too; what it ended with is then looked at below.
    const WaitEnd end = wait.until(deadline, [&port] {
        return !port.isOpen() || port.bytesAvailable() > 0;
    });
    return end == WaitEnd::Condition && port.isOpen() && port.bytesAvailable() > 0;
}
