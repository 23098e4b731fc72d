#pragma once

#include "live_reading.h"

#include <QByteArray>
#include <QDateTime>

#include <optional>

// What /metrics shows, gathered at the request.
struct MetricsSnapshot {
    const LiveReading *reading = nullptr; // the latest packet's; nullptr before the first one
    QDateTime lastPacketAt;
    quint64 packetsDecoded = 0;
    quint64 checksumErrors = 0;
    quint64 suspectDropped = 0;
    bool linkUp = false;
    bool mqttConnected = false;
    // Left out while the program keeps no record.
    std::optional<quint64> historyWriteFailures;
};

// The content type of the exposition below.
inline constexpr char kMetricsContentType[] = "text/plain; version=0.0.4; charset=utf-8";

// The Prometheus text exposition: base units, "_total" on counters, one HELP and TYPE per
// family. The energy counters are the static watt-second counters (joules), which never fall:
// per channel, "generated" is the polarized counter and "consumed" the rest of the absolute
// one. Readings are left out before the first packet; the counts are there from the start.
QByteArray metricsText(const MetricsSnapshot &snapshot);
