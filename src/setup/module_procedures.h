#pragma once

#include "setup_exchange.h"

#include <QString>

// The setup procedures that the TCP server's POL1, POL2 and RESET commands run (the setup window
// runs them too). They report to whoever called them by their result and never depend on the
// caller still being there when they end.
class ModuleProcedures {
public:
    explicit ModuleProcedures(const SetupContext &context) : context_(context) {}

    // Inverts the polarity of channel 1 or 2: 0xFC, "SET", "NG1"/"NG2", 20 ms apart, without
    // waiting for acknowledgements and without suspending real time. True when any byte is
    // waiting afterwards (left in the buffer); otherwise "Toggle operation failed. Try again". [TogglePolarity]
    bool togglePolarity(int channel);

    // Resets the monitor's accumulated data: 0xFC, "RQS", "RST", each acknowledged, with real
    // time suspended around it. "OK" when the reset was acknowledged, else "Error". [ResetAccumulated]
    QString resetAccumulated();

private:
    SetupContext context_;
};
