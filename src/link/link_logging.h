#pragma once

#include <QLoggingCategory>

// The serial session: port opening and loss, handshakes, command words and their acknowledgements.
// Outcomes at info level, details at debug level. Silent unless switched on, for example
// QT_LOGGING_RULES="orvotove.link=true" (see README).
Q_DECLARE_LOGGING_CATEGORY(lcLink)

// Every byte written to and read from the serial port, in hex, at debug level:
// QT_LOGGING_RULES="orvotove.link.bytes.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcLinkBytes)
