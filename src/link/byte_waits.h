#pragma once

#include "second_deadline.h"

class Clock;
class SerialPort;

// Blocks without processing events until a byte is waiting, the deadline second is reached,
// the port closes or the end of the program has been requested. True when a byte is waiting.
// Bytes already in the buffer count at once.
bool waitForByteBlocking(SerialPort &port, const SecondDeadline &deadline);

// Waits, processing events (NestedWait), until a byte is waiting, the deadline second is
// reached, the port closes or goes, or the end of the program is requested; other events
// (timers, sockets, user commands) are handled meanwhile. True when a byte is waiting.
bool waitForByteProcessingEvents(SerialPort &port, Clock &clock, const SecondDeadline &deadline);
