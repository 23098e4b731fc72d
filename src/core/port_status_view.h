#pragma once

// Where the port's state is shown: the main window's port field and the communication panel's.
class PortStatusView {
public:
    virtual ~PortStatusView() = default;
    virtual void showPortOpen() = 0;   // "COM Port is Open", black on green
    virtual void showPortClosed() = 0; // "COM Port is Closed", white on red
};
