#include "household_load.h"

#include "sim_log.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int kSecondsPerDay = 24 * 3600;

// Combines appliances into one draw; the power factor is the mean weighted by power, so the
// largest load dominates as it does on a real circuit.
void addDraw(ApplianceDraw &sum, double &weight, const ApplianceDraw &draw)
{
    const double magnitude = std::abs(draw.watts);
    if (magnitude <= 0)
        return;
    sum.powerFactor = (sum.powerFactor * weight + draw.powerFactor * magnitude) / (weight + magnitude);
    weight += magnitude;
    sum.watts += draw.watts;
}

} // namespace

ChannelLoad::ChannelLoad(LoadRandom &random, int channel, bool solar)
    : channel_(channel)
    , baseload_(random)
    , fridge_(random)
    , kettle_(random)
{
    if (solar)
        solar_.emplace();
}

ApplianceDraw ChannelLoad::nextSecond(int secondOfDay, LoadRandom &random)
{
    ApplianceDraw sum;
    double weight = 0;
    addDraw(sum, weight, baseload_.nextSecond(random));
    const ApplianceDraw fridge = fridge_.nextSecond(random);
    logStep("fridge", std::exchange(fridgeOn_, fridge.watts > 0), fridge);
    addDraw(sum, weight, fridge);
    const ApplianceDraw kettle = kettle_.nextSecond(random);
    logStep("kettle", std::exchange(kettleOn_, kettle.watts > 0), kettle);
    addDraw(sum, weight, kettle);
    if (solar_)
        addDraw(sum, weight, solar_->nextSecond(secondOfDay, random));
    return sum;
}

// The appliance steps, so that a chart of the stream can be laid beside what the house did.
void ChannelLoad::logStep(const char *appliance, bool wasOn, const ApplianceDraw &draw) const
{
    const bool on = draw.watts > 0;
    if (on == wasOn)
        return;
    if (on)
        qCDebug(lcSimLoad, "CH%d %s on, %.0f W", channel_, appliance, draw.watts);
    else
        qCDebug(lcSimLoad, "CH%d %s off", channel_, appliance);
}

quint16 LineVoltage::decivoltsUnder(double totalWatts, LoadRandom &random)
{
    drift_ = std::clamp(drift_ + std::uniform_real_distribution<double>(-1, 1)(random), -20.0, 20.0);
    const double noise = std::uniform_real_distribution<double>(-3, 3)(random);
    const double sag = std::max(totalWatts, 0.0) / 100.0;
    return static_cast<quint16>(std::lround(1200 + drift_ + noise - sag));
}

HouseholdLoad::HouseholdLoad(const LoadProfile &profile)
    : random_(profile.seed)
    , channels_{ChannelLoad(random_, 1, profile.hasSolar(1)), ChannelLoad(random_, 2, profile.hasSolar(2))}
    , secondOfDay_(((profile.startSecondOfDay % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay)
{
}

LoadInterval HouseholdLoad::advance(int seconds)
{
    LoadInterval interval;
    std::array<double, 2> weightedPf{0, 0};
    for (int s = 0; s < seconds; ++s)
        addSecond(interval, weightedPf);
    for (int ch = 0; ch < 2; ++ch) {
        const double weight = interval.channels[ch].absoluteWs;
        interval.channels[ch].powerFactor = weight > 0 ? weightedPf[ch] / weight : 1.0;
    }
    interval.decivolts = voltage_.decivoltsUnder(lastTotalWatts_, random_);
    return interval;
}

void HouseholdLoad::addSecond(LoadInterval &interval, std::array<double, 2> &weightedPf)
{
    lastTotalWatts_ = 0;
    for (int ch = 0; ch < 2; ++ch) {
        const ApplianceDraw draw = channels_[ch].nextSecond(secondOfDay_, random_);
        ChannelEnergy &energy = interval.channels[ch];
        energy.netWs += draw.watts;
        energy.absoluteWs += std::abs(draw.watts);
        energy.consumedWs += std::max(draw.watts, 0.0);
        energy.generatedWs += std::max(-draw.watts, 0.0);
        weightedPf[ch] += draw.powerFactor * std::abs(draw.watts);
        lastTotalWatts_ += draw.watts;
    }
    ++interval.seconds;
    secondOfDay_ = (secondOfDay_ + 1) % kSecondsPerDay;
}
