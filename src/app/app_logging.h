#pragma once

#include <QLoggingCategory>

// The program's start-up, settings and shut-down.
// Outcomes at info level, details at debug level. Silent unless switched on, for example
// QT_LOGGING_RULES="orvotove.app=true" (see README).
Q_DECLARE_LOGGING_CATEGORY(lcApp)
