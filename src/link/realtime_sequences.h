#pragma once

#include "reporters.h"

// The real-time start and stop sequences, as the serial session calls them around a setup
// command. The real-time control implements them; until it is attached, the session runs none.
class RealTimeSequences {
public:
    virtual ~RealTimeSequences() = default;
    // [MnuStartRTL_Click]
    virtual void startRealTime() = 0;
    // [MnuStopRTL_Click]
    virtual void stopRealTime() = 0;
};

// No sequences at all: what the session runs until the real-time control is attached.
template <>
RealTimeSequences &doNothingReporter<RealTimeSequences>();
