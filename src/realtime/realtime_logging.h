#pragma once

#include <QLoggingCategory>

// The real-time stream: start and stop steps, header resynchronisation, packet faults and the
// watchdog.
// Outcomes at info level, details at debug level. Silent unless switched on, for example
// QT_LOGGING_RULES="orvotove.realtime=true" (see README).
Q_DECLARE_LOGGING_CATEGORY(lcRealTime)
