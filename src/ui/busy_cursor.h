#pragma once

#include "busy_indicator.h"

// The busy pointer over every window of the program while a long exchange runs.
class BusyCursor final : public BusyIndicator {
public:
    BusyCursor() = default;
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
    ~BusyCursor() override { setBusy(false); }

    void setBusy(bool busy) override;
    bool isBusy() const { return busy_; }

private:
    // Qt stacks override cursors; one is pushed at most, so that every busy ends in exactly one
    // restore.
    bool busy_ = false;
};
