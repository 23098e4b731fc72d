#pragma once

// The commands that reach the monitor's measuring side, so that the command interpreter can
// act on the meter without knowing how it counts.
class MeterControl {
public:
    virtual ~MeterControl() = default;

    // Accumulated energy back to zero, the reset counter one on.
    virtual void resetAccumulated() = 0;
    // The channel's (1 or 2) polarized counter turns to count the other direction; true when
    // it is now inverted, counting consumed energy.
    virtual bool invertPolarity(int channel) = 0;
};
