#pragma once

#include <QLoggingCategory>

// The TCP data server: state changes, clients coming and going, command lines and replies.
// Outcomes at info level, details at debug level. Silent unless switched on, for example
// QT_LOGGING_RULES="orvotove.server=true" (see README).
Q_DECLARE_LOGGING_CATEGORY(lcServer)
