#pragma once

#include <QLoggingCategory>

// The simulator's account of what happens on the line, on standard error.
Q_DECLARE_LOGGING_CATEGORY(lcSim)
// Each appliance switching on or off, per channel: off unless QT_LOGGING_RULES turns it on
// ("orvo.sim.load.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcSimLoad)
