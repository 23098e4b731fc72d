#pragma once

#include <QLoggingCategory>

// The setup sequences: each step's acknowledgement and each sequence's outcome.
// Outcomes at info level, details at debug level. Silent unless switched on, for example
// QT_LOGGING_RULES="orvotove.setup=true" (see README).
Q_DECLARE_LOGGING_CATEGORY(lcSetup)
