#pragma once

#include <QtGlobal>

#include <array>
#include <optional>

// The four watt-second counters of a packet, as the monitor sends them.
struct CounterSet {
    double ws1 = 0;
    double ws2 = 0;
    double ws1Polar = 0;
    double ws2Polar = 0;

    std::array<double, 4> values() const { return {ws1, ws2, ws1Polar, ws2Polar}; }
};

// A packet that passed its check byte and trailer, read into numbers but not yet believed.
struct PacketSample {
    CounterSet counters;
    double volts = 0;
    qint32 seconds = 0;
    int secondsTopByte = 0;   // byte 37, the seconds counter's most significant byte
    int resetCount = 0;       // the monitor's reset counter, 0 to 7
    int pfRaw1 = 0;
    int pfRaw2 = 0;
    qint64 arrivalMs = 0;     // when the packet's check byte was handled (monotonic clock)
};

// What the next packet is measured against: the last accepted packet, or the counters restored
// at start-up, whose arrival time is unknown.
struct FitReference {
    CounterSet counters;
    qint32 seconds = 0;
    int resetCount = 0;
    bool rolloverPending = false; // the seconds counter's top byte reached 255 since its last wrap
    bool timed = false;           // false for the state restored at start-up
    qint64 arrivalMs = 0;         // monotonic clock
};

namespace plausibility {

// A channel never draws more than this between two packets: four times what the largest current
// transformer the monitor takes can carry.
inline constexpr double kMaxWatts = 200000;
inline constexpr double kMinVolts = 20.0;
inline constexpr double kMaxVolts = 600.0;
// The seconds counter may run ahead of the program's clock by this much.
inline constexpr qint64 kSecondsSlack = 60;
// The advance allowed where arrival times are unknown (a capture decoded after the fact).
inline constexpr qint64 kUntimedAllowance = 3600;

// Seconds from ref to p: the plain difference, or the difference across the counter's wrap
// when p's top byte is 0 and the wrap was pending. 0 for the same second, nothing for a counter
// that went backwards without a wrap.
std::optional<qint64> secondsAdvance(const FitReference &ref, const PacketSample &p);

bool voltsPlausible(double volts);

// The reset counter of p is one past ref's (7 is followed by 0).
bool isNextReset(const FitReference &ref, const PacketSample &p);

// Which offsets take the reference's counters when p is taken, and so which counters measure
// their power from zero.
enum class Carry { None, All, Fallen };

// Adds the reference's counters to the offsets as the rule says; true for each counter that
// carried (in CounterSet order).
std::array<bool, 4> carryForward(CounterSet &offsets, const CounterSet &last,
                                 const CounterSet &now, Carry rule);

} // namespace plausibility

// Decides whether a decoded packet is believed. A packet that fits the last accepted one, or is
// a reset of the monitor at a plausible time and voltage, is accepted at once. Any other packet
// is held until the next one shows whether it was noise (the next one fits the last accepted),
// a real change of the monitor's counters (the next one fits the held one), or neither.
class SuspectFilter {
public:
    enum class Verdict {
        Accept,        // fits the last accepted packet
        AcceptReset,   // a detected monitor reset: every counter carries forward
        Hold,          // held; nothing of it may be shown
        TakeHeldFirst, // the held packet is real: take takeHeld(), then judge the packet again
    };

    // Without a fixed allowance the seconds may advance by the time elapsed since the reference
    // arrived plus kSecondsSlack.
    void setFixedAllowance(std::optional<qint64> seconds) { fixedAllowance_ = seconds; }

    Verdict judge(const PacketSample &p);
    PacketSample takeHeld();
    // The packet taken becomes the reference; wrapped tells that its seconds crossed the wrap.
    void accepted(const PacketSample &p, bool wrapped);
    // Start-up: the persisted counters become the reference and nothing is held.
    void restore(const FitReference &ref);
    // Shut-down or end of input: a held packet is dropped and counted.
    void dropHeld();
    // A packet that repeats the reference's second is never taken, but it is counted with the
    // dropped ones, so that every packet with a good check byte is either shown or counted.
    void dropRepeat(const PacketSample &p);

    const FitReference &reference() const { return ref_; }
    bool holding() const { return held_.has_value(); }
    int droppedCount() const { return dropped_; }

    // Every rule of a fit between ref and p.
    bool fits(const FitReference &ref, const PacketSample &p) const;

private:
    bool secondsFit(const FitReference &ref, const PacketSample &p) const;
    FitReference heldAsReference() const;

    FitReference ref_;
    std::optional<PacketSample> held_;
    std::optional<qint64> fixedAllowance_;
    int dropped_ = 0;
};
