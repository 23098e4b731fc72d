#pragma once

#include "live_reading.h"
#include "mqtt_settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
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
// The discovery config topic of one entity of a Home Assistant component ("sensor", "switch").
QString mqttComponentTopic(const MqttSettings &settings, const QString &component, const QString &id);
// The topic Home Assistant announces itself on: "<DiscoveryPrefix>/status".
QString mqttBirthTopic(const MqttSettings &settings);

// What every config carries: the program as the origin, and the device. The device links to
// the dashboard only with configurationUrl, which the caller gives only for an address that
// others can reach, and never with a token: the configs are retained for anyone on the broker.
QJsonObject mqttOriginBlock();
QJsonObject mqttDeviceBlock(const MqttSettings &settings, const QString &configurationUrl);
// The fields of an entity that every config of this program has: name, unique id, device,
// origin and availability.
QJsonObject mqttEntityConfig(const MqttSettings &settings, const QString &configurationUrl,
                             const QString &key, const QString &name);
QByteArray mqttJson(const QJsonObject &object);
// How long a live value stays good without a new state: a few state intervals, at least a
// minute.
int mqttExpireAfterSeconds(const MqttSettings &settings);

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
// Live values (powers, currents, voltage, power factors) expire; the energies do not.
QList<MqttMessage> mqttDiscoveryMessages(const MqttSettings &settings,
                                         const QString &configurationUrl = {});
