#include "meter_counters.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr quint64 kCounterMask = (quint64(1) << 40) - 1;
constexpr int kResetCounterModulus = 8;

quint64 counterValue(double ws)
{
    return static_cast<quint64>(std::floor(ws)) & kCounterMask;
}

quint16 powerFactorRaw(double powerFactor)
{
    const double raw = std::round(powerFactor * 65536.0);
    return static_cast<quint16>(std::clamp(raw, 256.0, 65535.0));
}

} // namespace

MeterCounters::MeterCounters(quint32 secondsStart, quint8 resetCount)
{
    fields_.seconds = secondsStart % packet::kSecondsModulus;
    fields_.resetCount = resetCount % kResetCounterModulus;
}

void MeterCounters::record(const LoadInterval &interval)
{
    for (int ch = 0; ch < 2; ++ch) {
        const ChannelEnergy &energy = interval.channels[ch];
        absoluteWs_[ch] += energy.absoluteWs;
        polarizedWs_[ch] += inverted_[ch] ? energy.consumedWs : energy.generatedWs;
    }
    fields_.ws1 = counterValue(absoluteWs_[0]);
    fields_.ws2 = counterValue(absoluteWs_[1]);
    fields_.ws1Polar = counterValue(polarizedWs_[0]);
    fields_.ws2Polar = counterValue(polarizedWs_[1]);
    fields_.pfRaw1 = powerFactorRaw(interval.channels[0].powerFactor);
    fields_.pfRaw2 = powerFactorRaw(interval.channels[1].powerFactor);
    fields_.decivolts = interval.decivolts;
    fields_.seconds = (fields_.seconds + quint32(interval.seconds)) % packet::kSecondsModulus;
}

void MeterCounters::reset()
{
    absoluteWs_ = {0, 0};
    polarizedWs_ = {0, 0};
    fields_.ws1 = fields_.ws2 = fields_.ws1Polar = fields_.ws2Polar = 0;
    fields_.resetCount = (fields_.resetCount + 1) % kResetCounterModulus;
}

int SecondsPacer::nextStep()
{
    carriedMs_ += periodMs_;
    const int step = carriedMs_ / 1000;
    if (step == 0) {
        carriedMs_ = 0;
        return 1;
    }
    carriedMs_ %= 1000;
    return step;
}
