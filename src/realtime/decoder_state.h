#pragma once

#include <QtGlobal>

// The decoder values that outlive a run of the program. The settings store loads them at
// start-up and saves them periodically and at shut-down; a first run starts from these defaults.
struct DecoderState {
    double preReset1 = 0;      // PreResetVal1: offset added to ws1 for ws1Static
    double preReset2 = 0;      // PreResetVal2
    double preResetP1 = 0;     // PreResetValP1: offset added to ws1Polar for ws1PolarStatic
    double preResetP2 = 0;     // PreResetValP2
    double lastWs1 = 0;        // E1B (a stored empty text reads as 0)
    double lastWs2 = 0;        // E2B
    double lastWsP1 = 0;       // E1BP: ws1Polar of the last accepted packet, carried at a reset
    double lastWsP2 = 0;       // E2BP
    int lastResetCount = 0;    // OrvoresetCount: the monitor's reset counter as last seen
    qint32 seconds = 0;        // OrvoCounter: the monitor's seconds counter as last seen
};
