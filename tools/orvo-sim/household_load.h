#pragma once

#include "appliances.h"

#include <QtGlobal>

#include <array>
#include <optional>

// What the household asks of the monitor.
struct LoadProfile {
    quint64 seed = 1;
    bool solar = false;                 // one channel also carries a solar array
    int startSecondOfDay = 11 * 3600;   // simulated time of day when the run starts
    int solarChannel = 2;               // the channel with the array, 1 or 2, when solar is set

    bool hasSolar(int channel) const { return solar && channel == solarChannel; }
};

// One channel's energy over an interval.
struct ChannelEnergy {
    double netWs = 0;       // signed: negative when the channel fed energy back
    double absoluteWs = 0;  // energy in either direction
    double consumedWs = 0;  // energy in the consumed direction only
    double generatedWs = 0; // energy in the generated direction only
    double powerFactor = 1.0;
};

// What the line did over an interval of whole seconds.
struct LoadInterval {
    int seconds = 0;
    std::array<ChannelEnergy, 2> channels;
    quint16 decivolts = 1200;

    double meanWatts(int channel) const { return seconds > 0 ? channels[channel].netWs / seconds : 0; }
};

// The appliances on one monitored circuit.
class ChannelLoad {
public:
    // channel: 1 or 2, for the log of appliance steps.
    ChannelLoad(LoadRandom &random, int channel, bool solar);
    ApplianceDraw nextSecond(int secondOfDay, LoadRandom &random);

private:
    void logStep(const char *appliance, bool wasOn, const ApplianceDraw &draw) const;

    int channel_;
    bool fridgeOn_ = false;
    bool kettleOn_ = false;
    Baseload baseload_;
    Fridge fridge_;
    Kettle kettle_;
    std::optional<SolarArray> solar_;
};

// Line voltage around 120 V: a slow drift, fast noise and a sag under heavy load.
class LineVoltage {
public:
    quint16 decivoltsUnder(double totalWatts, LoadRandom &random);

private:
    double drift_ = 0;
};

// The two monitored circuits of a household, simulated second by second.
class HouseholdLoad {
public:
    explicit HouseholdLoad(const LoadProfile &profile);

    // Runs the household for the given number of seconds.
    LoadInterval advance(int seconds);

private:
    void addSecond(LoadInterval &interval, std::array<double, 2> &weightedPf);

    LoadRandom random_;
    std::array<ChannelLoad, 2> channels_;
    LineVoltage voltage_;
    int secondOfDay_;
    double lastTotalWatts_ = 0;
};
