#pragma once

#include "second_deadline.h"

class Clock;
class SerialPort;

// Blocks without processing events until a byte is waiting, the deadline second is reached or
// the port closes. True when a byte is waiting. Bytes already in the buffer count at once.
bool waitForByteBlocking(SerialPort &port, const SecondDeadline &deadline);

// Runs a nested event loop until a byte is waiting, the deadline second is reached or the port
// closes; other events (timers, sockets, user commands) are handled meanwhile. True when a byte
// is waiting.
bool waitForByteProcessingEvents(SerialPort &port, Clock &clock, const SecondDeadline &deadline);
