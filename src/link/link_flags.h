#pragma once

// The program-wide flags of the serial session, one instance owned by the MonitorLink.
struct LinkFlags {
    // A command exchange owns the port: the packet receiver leaves received bytes alone.
    bool commandInProgress = false;
    // suspendRealTime found real time running and stopped it; restoreRealTime restarts it.
    bool realTimeWasOn = false;
    // Real-time data is flowing (kept by the real-time control and its watchdog).
    bool realTimeOn = false;
};
