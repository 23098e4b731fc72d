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
// "orvotove-<node>-<process id>", the node cut to what a client id may hold: letters, digits,
// "-" and "_", at most 32 of them.
QString mqttClientId(const MqttSettings &settings, qint64 processId);
QString mqttStatusTopic(const MqttSettings &settings);
QString mqttStateTopic(const MqttSettings &settings);
// The discovery config topic of one sensor key.
QString mqttDiscoveryTopic(const MqttSettings &settings, const QString &key);

// The most bytes of a topic that MQTT carries.
constexpr qsizetype kMqttLongestTopicBytes = 65535;
// Why the base topic or the discovery prefix cannot carry the program's topics: a wildcard, a
// character MQTT does not allow, or a topic longer than kMqttLongestTopicBytes once the program's
// levels are added. Names the key ("Topic is longer than 65535 bytes"); empty when both can.
QString mqttTopicFault(const MqttSettings &settings);

// The state object: powers, energies in kWh from the static counters, voltage, currents, power
// factors, the monitor's seconds counter and the local time with its offset.
QByteArray mqttStatePayload(const LiveReading &reading, const QDateTime &now);

// One retained config per sensor of the state (all keys but seconds and time); none when the
// discovery prefix is empty.
QList<MqttMessage> mqttDiscoveryMessages(const MqttSettings &settings);
