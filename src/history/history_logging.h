#pragma once

#include <QLoggingCategory>

// The energy record: rows closed and written, queries and their times. Silent unless switched
// on, for example QT_LOGGING_RULES="orvotove.history=true".
Q_DECLARE_LOGGING_CATEGORY(lcHistory)
