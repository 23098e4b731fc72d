#pragma once

#include "live_reading.h"
#include "mqtt_settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// What the publisher sends, as plain data: the topics, the state object and the Home Assistant
// discovery configs.
struct MqttMessage {
    QString topic;
    QByteArray payload;
};

// The last level of the base topic: the node of the discovery topics and unique ids.
QString mqttNodeName(const MqttSettings &settings);
QString mqttStatusTopic(const MqttSettings &settings);
QString mqttStateTopic(const MqttSettings &settings);

// The state object: powers, energies in kWh from the static counters, voltage, currents, power
// factors, the monitor's seconds counter and the local time with its offset.
QByteArray mqttStatePayload(const LiveReading &reading, const QDateTime &now);

// One retained config per sensor of the state (all keys but seconds and time); none when the
// discovery prefix is empty.
QList<MqttMessage> mqttDiscoveryMessages(const MqttSettings &settings);
