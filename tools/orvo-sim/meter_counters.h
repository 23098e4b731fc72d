#pragma once

#include "household_load.h"
#include "packet_encoder.h"

#include <array>

// The monitor's accumulators. The absolute counters take energy in either direction; the
// polarized ones only energy in one direction: generated (exported), so they stand still while
// a channel consumes, or, with the channel's polarity inverted, consumed, so they stand still
// while it generates (as a current transformer clamped the wrong way round makes the monitor
// see it).
// Inverting changes what a counter adds from then on, never its value. Energy is kept with its
// fraction of a watt-second, so that over any run of packets the counters' increase divided by
// the seconds' increase is the mean power, to within one watt-second.
class MeterCounters {
public:
    MeterCounters(quint32 secondsStart, quint8 resetCount);

    void record(const LoadInterval &interval);
    // The monitor's own reset: counters back to zero, the reset counter one on. Polarity is a
    // setting and survives it.
    void reset();
    // channel: 0 or 1.
    void invertPolarity(int channel) { inverted_[channel] = !inverted_[channel]; }
    bool polarityInverted(int channel) const { return inverted_[channel]; }

    // The packet the monitor sends now.
    PacketFields fields() const { return fields_; }

private:
    std::array<double, 2> absoluteWs_{0, 0};
    std::array<double, 2> polarizedWs_{0, 0};
    std::array<bool, 2> inverted_{false, false};
    PacketFields fields_;
};

// Turns a reporting period into whole seconds per packet. Periods of a second or more keep
// their fraction in an accumulator; shorter ones still advance one second per packet, so that
// no two packets carry the same seconds counter and every interval has a mean power.
class SecondsPacer {
public:
    explicit SecondsPacer(int periodMs)
        : periodMs_(periodMs)
    {
    }

    int nextStep();

private:
    int periodMs_;
    int carriedMs_ = 0;
};
