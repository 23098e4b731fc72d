#include "mqtt_messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr double kWsPerKwh = 3600000.0;

struct Sensor {
    const char *key;
    const char *name;
    const char *deviceClass;
    const char *stateClass;
    const char *unit; // nullptr: a ratio without unit (the power factors run from 0 to 1)
};

// The sensors in the order of the state object. Energies count up from the static counters,
// which never decrease, so Home Assistant's energy dashboard takes them as they are.
constexpr Sensor kSensors[] = {
    {"power1", "CH1 power", "power", "measurement", "W"},
    {"power2", "CH2 power", "power", "measurement", "W"},
    {"energy1", "CH1 energy", "energy", "total_increasing", "kWh"},
    {"energy2", "CH2 energy", "energy", "total_increasing", "kWh"},
    {"energy1_polar", "CH1 polarized energy", "energy", "total_increasing", "kWh"},
    {"energy2_polar", "CH2 polarized energy", "energy", "total_increasing", "kWh"},
    {"voltage", "Voltage", "voltage", "measurement", "V"},
    {"current1", "CH1 current", "current", "measurement", "A"},
    {"current2", "CH2 current", "current", "measurement", "A"},
    {"pf1", "CH1 power factor", "power_factor", "measurement", nullptr},
    {"pf2", "CH2 power factor", "power_factor", "measurement", nullptr},
};

QJsonObject deviceBlock(const QString &node)
{
    return QJsonObject{
        {QStringLiteral("identifiers"), QJsonArray{node}},
        {QStringLiteral("name"), QStringLiteral("Orvo-88 %1").arg(node)},
        {QStringLiteral("manufacturer"), QStringLiteral("Orvo")},
        {QStringLiteral("model"), QStringLiteral("Orvo-88")},
        {QStringLiteral("sw_version"), QStringLiteral("Orvotove 1.04")},
    };
}

} // namespace

QString mqttNodeName(const MqttSettings &settings)
{
    return settings.topic.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
}

QString mqttStatusTopic(const MqttSettings &settings)
{
    return settings.topic + QStringLiteral("/status");
}

QString mqttStateTopic(const MqttSettings &settings)
{
    return settings.topic + QStringLiteral("/state");
}

QByteArray mqttStatePayload(const LiveReading &r, const QDateTime &now)
{
    const QDateTime local = now.toOffsetFromUtc(now.offsetFromUtc());
    const QJsonObject state{
        {QStringLiteral("power1"), r.watts1},
        {QStringLiteral("power2"), r.watts2},
        {QStringLiteral("energy1"), r.ws1Static / kWsPerKwh},
        {QStringLiteral("energy2"), r.ws2Static / kWsPerKwh},
        {QStringLiteral("energy1_polar"), r.ws1PolarStatic / kWsPerKwh},
        {QStringLiteral("energy2_polar"), r.ws2PolarStatic / kWsPerKwh},
        {QStringLiteral("voltage"), r.volts},
        {QStringLiteral("current1"), double(r.amps1)},
        {QStringLiteral("current2"), double(r.amps2)},
        {QStringLiteral("pf1"), double(r.pf1)},
        {QStringLiteral("pf2"), double(r.pf2)},
        {QStringLiteral("seconds"), r.seconds},
        {QStringLiteral("time"), local.toString(Qt::ISODate)},
    };
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

QList<MqttMessage> mqttDiscoveryMessages(const MqttSettings &settings)
{
    QList<MqttMessage> messages;
    if (settings.discoveryPrefix.isEmpty())
        return messages;
    const QString node = mqttNodeName(settings);
    for (const Sensor &s : kSensors) {
        const QString key = QLatin1String(s.key);
        QJsonObject config{
            {QStringLiteral("name"), QLatin1String(s.name)},
            {QStringLiteral("device_class"), QLatin1String(s.deviceClass)},
            {QStringLiteral("state_class"), QLatin1String(s.stateClass)},
            {QStringLiteral("unique_id"), node + QLatin1Char('_') + key},
            {QStringLiteral("device"), deviceBlock(node)},
            {QStringLiteral("availability_topic"), mqttStatusTopic(settings)},
            {QStringLiteral("state_topic"), mqttStateTopic(settings)},
            {QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(key)},
        };
        if (s.unit)
            config.insert(QStringLiteral("unit_of_measurement"), QLatin1String(s.unit));
        messages.append({QStringLiteral("%1/sensor/%2/%3/config")
                             .arg(settings.discoveryPrefix, node, key),
                         QJsonDocument(config).toJson(QJsonDocument::Compact)});
    }
    return messages;
}
