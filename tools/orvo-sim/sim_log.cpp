#include "sim_log.h"

Q_LOGGING_CATEGORY(lcSim, "orvo.sim", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSimLoad, "orvo.sim.load", QtInfoMsg)
