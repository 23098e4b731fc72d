#pragma once

#include <QLoggingCategory>

// The simulator's account of what happens on the line, on standard error.
Q_DECLARE_LOGGING_CATEGORY(lcSim)
