#pragma once

// The busy (hourglass) pointer over the main window while a long exchange runs.
class BusyIndicator {
public:
    virtual ~BusyIndicator() = default;
    virtual void setBusy(bool busy) = 0;
};
