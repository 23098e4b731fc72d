#pragma once

#include "meter_simulation.h"
#include "monitor_protocol.h"
#include "monitor_settings.h"
#include "radio_dongle.h"

#include <QString>
#include <QStringList>

#include <optional>

// Everything the command line decides.
struct SimOptions {
    int port = 0;              // 0: no COM<n> link
    bool toStdout = false;     // packets straight to standard output, no terminal
    qint64 count = 0;          // packets before the simulator ends (0: no end)
    qint64 restartAfter = 0;   // packets before the monitor loses power once and stops streaming
    bool startStreaming = false;
    bool quiet = false;
    bool verbose = false;
    MeterSetup meter;
    ProtocolFaults protocol;
    MonitorSettings monitor;   // the monitor's configuration at the start
    RadioSetup radio;
};

// Reads the command line. --help and --version print and end the process; a mistake gives
// no options and the reason in *error.
std::optional<SimOptions> parseSimOptions(const QStringList &arguments, QString *error);
