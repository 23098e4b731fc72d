#include "appliances.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kBaseloadMin = 60;
constexpr double kBaseloadMax = 150;

constexpr double kFridgeWatts = 120;
constexpr double kFridgeSurgeWatts = 600;
constexpr int kFridgeSurgeSeconds = 2;
constexpr int kFridgeOnSeconds = 15 * 60;
constexpr int kFridgeOffSeconds = 25 * 60;
constexpr int kFridgeSpreadSeconds = 3 * 60;

constexpr double kKettleWatts = 2000;
constexpr int kKettleSeconds = 3 * 60;
constexpr double kKettleMeanGapSeconds = 45 * 60;

constexpr double kSolarPeakWatts = 2500;
constexpr int kSunriseSecond = 6 * 3600;
constexpr int kSunsetSecond = 18 * 3600;

double uniform(LoadRandom &random, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(random);
}

int uniformInt(LoadRandom &random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

} // namespace

Baseload::Baseload(LoadRandom &random)
    : level_(uniform(random, kBaseloadMin, kBaseloadMax))
{
}

ApplianceDraw Baseload::nextSecond(LoadRandom &random)
{
    level_ = std::clamp(level_ + uniform(random, -0.5, 0.5), kBaseloadMin, kBaseloadMax);
    const double watts = std::clamp(level_ + uniform(random, -4, 4), kBaseloadMin, kBaseloadMax);
    return {watts, 0.85};
}

Fridge::Fridge(LoadRandom &random)
    : running_(uniformInt(random, 0, 1) == 1)
    , secondsLeft_(uniformInt(random, 1, kFridgeOnSeconds))
    , secondsRunning_(kFridgeSurgeSeconds) // a run already under way has no surge left
{
}

ApplianceDraw Fridge::nextSecond(LoadRandom &random)
{
    if (secondsLeft_ <= 0)
        toggle(random);
    --secondsLeft_;
    if (!running_)
        return {0, 1.0};
    const bool surging = secondsRunning_++ < kFridgeSurgeSeconds;
    if (surging)
        return {kFridgeSurgeWatts, 0.5};
    return {kFridgeWatts + uniform(random, -3, 3), 0.7};
}

void Fridge::toggle(LoadRandom &random)
{
    running_ = !running_;
    secondsRunning_ = 0;
    const int phase = running_ ? kFridgeOnSeconds : kFridgeOffSeconds;
    secondsLeft_ = phase + uniformInt(random, -kFridgeSpreadSeconds, kFridgeSpreadSeconds);
}

Kettle::Kettle(LoadRandom &random)
    : secondsUntilUse_(secondsUntilNextUse(random))
{
}

int Kettle::secondsUntilNextUse(LoadRandom &random)
{
    const double gap = std::exponential_distribution<double>(1.0 / kKettleMeanGapSeconds)(random);
    return 1 + static_cast<int>(std::min(gap, 24.0 * 3600));
}

ApplianceDraw Kettle::nextSecond(LoadRandom &random)
{
    if (secondsBoiling_ > 0) {
        --secondsBoiling_;
        return {kKettleWatts + uniform(random, -20, 20), 0.99};
    }
    if (--secondsUntilUse_ <= 0) {
        secondsBoiling_ = kKettleSeconds;
        secondsUntilUse_ = secondsUntilNextUse(random);
    }
    return {0, 1.0};
}

ApplianceDraw SolarArray::nextSecond(int secondOfDay, LoadRandom &random)
{
    cloudCover_ = std::clamp(cloudCover_ + uniform(random, -0.01, 0.01), 0.0, 0.4);
    if (secondOfDay <= kSunriseSecond || secondOfDay >= kSunsetSecond)
        return {0, 1.0};
    const double dayFraction = double(secondOfDay - kSunriseSecond) / (kSunsetSecond - kSunriseSecond);
    const double sun = std::sin(std::numbers::pi * dayFraction);
    return {-kSolarPeakWatts * sun * (1.0 - cloudCover_), 0.98};
}
