#pragma once

#include <random>

// One random source for a whole run, so that a seed reproduces every appliance's behaviour.
using LoadRandom = std::mt19937_64;

// What an appliance draws during one simulated second. Negative watts feed energy back.
struct ApplianceDraw {
    double watts = 0;
    double powerFactor = 1.0;
};

// Lights, electronics and standby loads: a level that wanders slowly, with fast noise on top.
class Baseload {
public:
    explicit Baseload(LoadRandom &random);
    ApplianceDraw nextSecond(LoadRandom &random);

private:
    double level_;
};

// A compressor that cycles on and off, drawing a surge for the first seconds of each run.
class Fridge {
public:
    explicit Fridge(LoadRandom &random);
    ApplianceDraw nextSecond(LoadRandom &random);

private:
    void toggle(LoadRandom &random);

    bool running_ = false;
    int secondsLeft_ = 0;   // in the current on or off phase
    int secondsRunning_ = 0;
};

// A resistive load of a few minutes, switched on at random moments.
class Kettle {
public:
    explicit Kettle(LoadRandom &random);
    ApplianceDraw nextSecond(LoadRandom &random);

private:
    static int secondsUntilNextUse(LoadRandom &random);

    int secondsUntilUse_;
    int secondsBoiling_ = 0;
};

// Panels and inverter: generation follows the sun between 06:00 and 18:00, dimmed by clouds.
class SolarArray {
public:
    ApplianceDraw nextSecond(int secondOfDay, LoadRandom &random);

private:
    double cloudCover_ = 0.1; // fraction of the output lost to clouds
};
