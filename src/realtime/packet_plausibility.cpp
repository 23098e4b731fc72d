#include "packet_plausibility.h"

#include "packet_layout.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSuspect, "orvotove.realtime.suspect", QtWarningMsg)

namespace plausibility {

std::optional<qint64> secondsAdvance(const FitReference &ref, const PacketSample &p)
{
    if (p.seconds >= ref.seconds)
        return qint64(p.seconds) - ref.seconds;
    if (p.secondsTopByte == 0 && ref.rolloverPending)
        return qint64(p.seconds) + packet::kSecondsModulus - ref.seconds;
    return std::nullopt;
}

bool voltsPlausible(double volts)
{
    return volts >= kMinVolts && volts <= kMaxVolts;
}

bool isNextReset(const FitReference &ref, const PacketSample &p)
{
    return p.resetCount == (ref.resetCount + 1) % 8;
}

std::array<bool, 4> carryForward(CounterSet &offsets, const CounterSet &last,
                                 const CounterSet &now, Carry rule)
{
    const auto before = last.values();
    const auto after = now.values();
    double *offset[4] = {&offsets.ws1, &offsets.ws2, &offsets.ws1Polar, &offsets.ws2Polar};
    std::array<bool, 4> carried{};
    for (int i = 0; i < 4; ++i) {
        carried[i] = rule == Carry::All || (rule == Carry::Fallen && after[i] < before[i]);
        if (carried[i])
            *offset[i] += before[i];
    }
    return carried;
}

} // namespace plausibility

using namespace plausibility;

bool SuspectFilter::secondsFit(const FitReference &ref, const PacketSample &p) const
{
    const std::optional<qint64> advance = secondsAdvance(ref, p);
    if (!advance || *advance < 1)
        return false;
    if (!ref.timed)
        return true; // across a restart of the program no interval is known
    const qint64 allowance =
        fixedAllowance_ ? *fixedAllowance_ : (p.arrivalMs - ref.arrivalMs) / 1000 + kSecondsSlack;
    return *advance <= allowance;
}

bool SuspectFilter::fits(const FitReference &ref, const PacketSample &p) const
{
    const auto before = ref.counters.values();
    const auto after = p.counters.values();
    for (int i = 0; i < 4; ++i) {
        if (after[i] < before[i])
            return false;
    }
    if (!voltsPlausible(p.volts) || !secondsFit(ref, p))
        return false;
    if (!ref.timed)
        return true;
    const double seconds = double(*secondsAdvance(ref, p));
    for (int i = 0; i < 4; ++i) {
        if ((after[i] - before[i]) / seconds > kMaxWatts)
            return false;
    }
    return true;
}

SuspectFilter::Verdict SuspectFilter::judge(const PacketSample &p)
{
    const bool reset = isNextReset(ref_, p) && voltsPlausible(p.volts) && secondsFit(ref_, p);
    if (reset || fits(ref_, p)) {
        dropHeld();
        return reset ? Verdict::AcceptReset : Verdict::Accept;
    }
    if (held_ && fits(heldAsReference(), p))
        return Verdict::TakeHeldFirst;
    dropHeld();
    held_ = p;
    qCDebug(lcSuspect) << "holding packet at second" << p.seconds;
    return Verdict::Hold;
}

PacketSample SuspectFilter::takeHeld()
{
    const PacketSample p = *held_;
    held_.reset();
    return p;
}

void SuspectFilter::accepted(const PacketSample &p, bool wrapped)
{
    const bool pending = (ref_.rolloverPending && !wrapped) || p.secondsTopByte == 255;
    ref_ = FitReference{p.counters, p.seconds, p.resetCount, pending, true, p.arrivalMs};
}

void SuspectFilter::restore(const FitReference &ref)
{
    ref_ = ref;
    held_.reset();
}

void SuspectFilter::dropHeld()
{
    if (!held_)
        return;
    qCDebug(lcSuspect) << "dropping held packet at second" << held_->seconds;
    held_.reset();
    ++dropped_;
}

void SuspectFilter::dropRepeat(const PacketSample &p)
{
    qCDebug(lcSuspect) << "dropping a repeat of second" << p.seconds;
    ++dropped_;
}

FitReference SuspectFilter::heldAsReference() const
{
    return FitReference{held_->counters, held_->seconds, held_->resetCount,
                        ref_.rolloverPending || held_->secondsTopByte == 255, true,
                        held_->arrivalMs};
}
