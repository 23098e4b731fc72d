#pragma once

#include "mqtt_settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

struct MqttMessage;

// The link's health as Home Assistant diagnostics, on their own retained topic so that the
// state message keeps its keys.
struct MqttDiagnostics {
    bool linkUp = false;   // real-time data flows
    QDateTime lastPacket;  // the last accepted packet; invalid before the first
    quint64 checksumErrors = 0;
    quint64 suspectDropped = 0;

    // Equal but for the packet time: what makes a message worth sending at once.
    bool sameHealth(const MqttDiagnostics &o) const
    {
        return linkUp == o.linkUp && checksumErrors == o.checksumErrors && suspectDropped == o.suspectDropped;
    }
};

QString mqttDiagnosticsTopic(const MqttSettings &settings);
// {"connected":true,"last_packet":"2026-12-09T06:00:00Z","checksum_errors":0,"suspect_dropped":0};
// last_packet is null before the first packet.
QByteArray mqttDiagnosticsPayload(const MqttDiagnostics &diagnostics);
QStringList mqttDiagnosticsConfigTopics(const MqttSettings &settings);
// The connectivity binary sensor, the packet time and the two counters, all in the diagnostic
// category; none when the discovery prefix is empty.
QList<MqttMessage> mqttDiagnosticsConfigs(const MqttSettings &settings, const QString &configurationUrl);
