#pragma once

#include "mqtt_settings.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

struct MqttMessage;

// The remote loads named by Loads as Home Assistant switches: commands on <T>/load/<n>/set,
// the state retained on <T>/load/<n>.
QString mqttLoadStateTopic(const MqttSettings &settings, int load);
QString mqttLoadCommandTopic(const MqttSettings &settings, int load);
// The filter that takes the commands of every load.
QString mqttLoadCommandFilter(const MqttSettings &settings);
QString mqttLoadConfigTopic(const MqttSettings &settings, int load);
// The filter that finds the retained switch configs of this node, also those of loads no longer
// exposed.
QString mqttLoadConfigFilter(const MqttSettings &settings);
QByteArray mqttLoadStatePayload(bool on);

// The load a topic commands when Loads exposes it.
std::optional<int> mqttCommandedLoad(const MqttSettings &settings, const QString &topic);
// The load whose switch config this topic is; nothing for another topic.
std::optional<int> mqttConfiguredLoad(const MqttSettings &settings, const QString &topic);
// "ON" and "OFF", exactly; nothing for any other payload.
std::optional<bool> mqttLoadCommand(const QByteArray &payload);

// One switch config per exposed load; none when the discovery prefix is empty.
QList<MqttMessage> mqttLoadConfigs(const MqttSettings &settings, const QString &configurationUrl);
