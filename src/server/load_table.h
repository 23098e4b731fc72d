#pragma once

#include <array>
#include <functional>
#include <QtGlobal>

// The remote loads: entries 0 to 16, true when that load is on. Loads 1 to 16 are mirrored in a
// 16-bit mask (load n is bit value 2^(n-1)) that is posted to the monitoring service and kept
// in the settings; entry 0 is not part of the mask.
class LoadTable {
public:
    static constexpr int kHighestLoad = 16;

    // Sets every entry 1 to 16 from a mask. Entry 0 keeps its state. [CvtLoadDataToBits]
    void loadDataToBits(quint16 mask);
    // The mask of loads 1 to 16 that are on. [CvtBitsToLoadData]
    quint16 bitsToLoadData() const;

    bool isOn(int load) const;
    // False, changing nothing, for a load number outside 0 to 16.
    bool set(int load, bool on);

    // Told of every entry that changes, whoever changes it (clients, the options window, the
    // stored mask at start-up, MQTT commands).
    std::function<void(int load, bool on)> onChanged;

private:
    void put(int load, bool on);
    std::array<bool, kHighestLoad + 1> bits_{};
};
