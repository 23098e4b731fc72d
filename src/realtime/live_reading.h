#pragma once

#include <QtGlobal>

// The latest values decoded from the monitor's real-time packets. One instance for the whole
// program; each good packet overwrites it field by field, earlier values are not kept.
struct LiveReading {
    double volts = 0;          // line voltage, V, in steps of 0.1 V

    // Watt-second counters exactly as the monitor sent them.
    double ws1 = 0;
    double ws2 = 0;
    double ws1Polar = 0;
    double ws2Polar = 0;

    // The same counters plus the offsets collected at monitor resets, so they keep counting
    // across a reset of the monitor's accumulated data.
    double ws1Static = 0;
    double ws2Static = 0;
    double ws1PolarStatic = 0;
    double ws2PolarStatic = 0;

    // ws1 and ws2 of the previous decoded packet: the base of the next power figure. Persisted,
    // so the first packet after a restart spans the time since the values were saved.
    double lastWs1 = 0;
    double lastWs2 = 0;

    double watts1 = 0;         // mean power over the last interval, whole watts
    double watts2 = 0;
    double kwh1 = 0;           // ws1 and ws2 in kWh
    double kwh2 = 0;
    float amps1 = 0;
    float amps2 = 0;
    float pf1 = 0;             // power factor, 0 to 1
    float pf2 = 0;

    qint32 seconds = 0;        // the monitor's seconds counter of the latest packet
    qint32 lastSeconds = 0;    // the counter of the packet before
    qint32 secondsDelta = 0;   // seconds between those two packets
};
