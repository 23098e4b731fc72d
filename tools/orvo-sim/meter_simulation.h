#pragma once

#include "household_load.h"
#include "meter_control.h"
#include "meter_counters.h"

#include <QByteArray>

// Packets spoiled or events staged on purpose, each every so many packets (0: never).
struct PacketFaults {
    int badChecksumEvery = 0;
    int badTrailerEvery = 0;   // alternately the first and the second trailer byte
    int resetAfter = 0;        // the monitor resets its counters after this many packets
    int repeatSecondsEvery = 0;// the packet repeats the previous one, seconds counter included
};

struct MeterSetup {
    LoadProfile load;
    int periodMs = 1000;
    quint32 secondsStart = 0;
    quint8 resetCount = 0;
    PacketFaults faults;
};

// The monitor's measuring side: the household's load integrated into the counters, one
// reporting period at a time, and the packets made from them. Time passes in periods whether
// or not packets are sent, as it does on a monitor that is not streaming. Commands take effect
// at the meter's present period: time it has yet to live through (a paused stream catches up
// when it starts again) is counted after them.
class MeterSimulation : public MeterControl {
public:
    explicit MeterSimulation(const MeterSetup &setup);

    void resetAccumulated() override { counters_.reset(); }
    bool invertPolarity(int channel) override;

    // Advances one period and makes its packet, faults included.
    QByteArray nextPacket();
    // Advances one period and gives the packet's contents as the monitor means them.
    PacketFields nextFields();
    // Lets periods pass without packets.
    void idle(qint64 periods);

    // The load of the period behind the last packet.
    const LoadInterval &lastInterval() const { return lastInterval_; }

private:
    void advanceOnePeriod();
    bool isDue(int every) const { return every > 0 && packetsMade_ % every == 0; }
    QByteArray spoil(QByteArray packet) const;

    HouseholdLoad load_;
    MeterCounters counters_;
    SecondsPacer pacer_;
    PacketFaults faults_;
    LoadInterval lastInterval_;
    qint64 packetsMade_ = 0;
};
