#pragma once

// The real-time start and stop sequences, as the serial session calls them around a setup
// command. The real-time control implements them; until it is attached, the session runs none.
class RealTimeSequences {
public:
    virtual ~RealTimeSequences() = default;
    virtual void MnuStartRTL_Click() = 0;
    virtual void MnuStopRTL_Click() = 0;
};
