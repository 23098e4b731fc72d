#include "mqtt_messages.h"

#include "mqtt_load_switches.h"

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
    {"energy1_polar", "CH1 generated energy", "energy", "total_increasing", "kWh"},
    {"energy2_polar", "CH2 generated energy", "energy", "total_increasing", "kWh"},
    {"voltage", "Voltage", "voltage", "measurement", "V"},
    {"current1", "CH1 current", "current", "measurement", "A"},
    {"current2", "CH2 current", "current", "measurement", "A"},
    {"pf1", "CH1 power factor", "power_factor", "measurement", nullptr},
    {"pf2", "CH2 power factor", "power_factor", "measurement", nullptr},
};

// Every topic under the base topic that the program publishes or listens to: a new one goes
// here, so that the check of the base topic covers it.
QStringList baseTopics(const MqttSettings &s)
{
    // The diagnostics go without: their topic failing costs only those messages.
    QStringList topics{mqttStatusTopic(s), mqttStateTopic(s)};
    for (const int load : s.loads)
        topics.append(mqttLoadCommandTopic(s, load));
    return topics;
}

QStringList discoveryTopics(const MqttSettings &s)
{
    QStringList topics;
    for (const Sensor &sensor : kSensors)
        topics.append(mqttDiscoveryTopic(s, QLatin1String(sensor.key)));
    for (const int load : s.loads)
        topics.append(mqttLoadConfigTopic(s, load));
    return topics;
}

// MQTT forbids NUL in a topic, and the library also refuses control characters, surrogates
// and non-characters.
bool isForbidden(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || (c >= 0xd800 && c <= 0xdfff)
           || (c >= 0xfdd0 && c <= 0xfdef) || (c & 0xfffe) == 0xfffe;
}

QString characterFault(const char *key, const QString &text)
{
    for (const char32_t c : text.toUcs4()) {
        if (c == '+' || c == '#')
            return QStringLiteral("%1 holds the wildcard \"%2\"").arg(QLatin1String(key), QChar(c));
        if (c == 0)
            return QStringLiteral("%1 holds a NUL character").arg(QLatin1String(key));
        if (isForbidden(c))
            return QStringLiteral("%1 holds the character U+%2, which MQTT does not allow")
                .arg(QLatin1String(key))
                .arg(uint(c), 4, 16, QLatin1Char('0'));
    }
    return {};
}

QString lengthFault(const char *key, const QStringList &topics)
{
    for (const QString &t : topics)
        if (t.toUtf8().size() > kMqttLongestTopicBytes)
            return QStringLiteral("%1 is longer than %2 bytes").arg(QLatin1String(key)).arg(kMqttLongestTopicBytes);
    return {};
}

} // namespace

QString mqttNodeName(const MqttSettings &settings)
{
    return settings.topic.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
}

QString mqttClientId(const MqttSettings &settings, qint64 processId)
{
    QString node;
    for (const QChar c : mqttNodeName(settings)) {
        if (node.size() == 32)
            break;
        const bool plain = c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_'));
        node.append(plain ? c : QLatin1Char('_'));
    }
    return QStringLiteral("orvotove-%1-%2").arg(node).arg(processId);
}

QString mqttStatusTopic(const MqttSettings &settings)
{
    return settings.topic + QStringLiteral("/status");
}

QString mqttStateTopic(const MqttSettings &settings)
{
    return settings.topic + QStringLiteral("/state");
}

QString mqttDiscoveryTopic(const MqttSettings &settings, const QString &key)
{
    return QStringLiteral("%1/sensor/%2/%3/config").arg(settings.discoveryPrefix, mqttNodeName(settings), key);
}

QString mqttComponentTopic(const MqttSettings &settings, const QString &component, const QString &id)
{
    return QStringLiteral("%1/%2/%3/%4/config").arg(settings.discoveryPrefix, component, mqttNodeName(settings), id);
}

QString mqttBirthTopic(const MqttSettings &settings)
{
    return settings.discoveryPrefix + QStringLiteral("/status");
}

QJsonObject mqttOriginBlock()
{
    return QJsonObject{
        {QStringLiteral("name"), QStringLiteral("Orvotove")},
        {QStringLiteral("sw_version"), QStringLiteral("1.04")},
        {QStringLiteral("support_url"), QStringLiteral("https://support.orvo.example")},
    };
}

QJsonObject mqttDeviceBlock(const MqttSettings &settings, const QString &configurationUrl)
{
    const QString node = mqttNodeName(settings);
    QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{node}},
        {QStringLiteral("name"), QStringLiteral("Orvo-88 %1").arg(node)},
        {QStringLiteral("manufacturer"), QStringLiteral("Orvo")},
        {QStringLiteral("model"), QStringLiteral("Orvo-88")},
        {QStringLiteral("sw_version"), QStringLiteral("Orvotove 1.04")},
    };
    if (!configurationUrl.isEmpty())
        device.insert(QStringLiteral("configuration_url"), configurationUrl);
    return device;
}

QJsonObject mqttEntityConfig(const MqttSettings &settings, const QString &configurationUrl,
                             const QString &key, const QString &name)
{
    return QJsonObject{
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), mqttNodeName(settings) + QLatin1Char('_') + key},
        {QStringLiteral("device"), mqttDeviceBlock(settings, configurationUrl)},
        {QStringLiteral("origin"), mqttOriginBlock()},
        {QStringLiteral("availability_topic"), mqttStatusTopic(settings)},
    };
}

QByteArray mqttJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

int mqttExpireAfterSeconds(const MqttSettings &settings)
{
    return qMax(60, 3 * settings.interval);
}

QString mqttTopicFault(const MqttSettings &s)
{
    QString fault = characterFault("Topic", s.topic);
    if (fault.isEmpty())
        fault = lengthFault("Topic", baseTopics(s));
    if (fault.isEmpty() && !s.discoveryPrefix.isEmpty())
        fault = characterFault("DiscoveryPrefix", s.discoveryPrefix);
    // A discovery topic holds the prefix and the base topic's last level: the longer of the two
    // is named.
    const bool prefixLonger = s.discoveryPrefix.toUtf8().size() >= mqttNodeName(s).toUtf8().size();
    if (fault.isEmpty() && !s.discoveryPrefix.isEmpty())
        fault = lengthFault(prefixLonger ? "DiscoveryPrefix" : "Topic", discoveryTopics(s));
    return fault;
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

QList<MqttMessage> mqttDiscoveryMessages(const MqttSettings &settings, const QString &configurationUrl)
{
    QList<MqttMessage> messages;
    if (settings.discoveryPrefix.isEmpty())
        return messages;
    for (const Sensor &s : kSensors) {
        const QString key = QLatin1String(s.key);
        QJsonObject config = mqttEntityConfig(settings, configurationUrl, key, QLatin1String(s.name));
        config.insert(QStringLiteral("device_class"), QLatin1String(s.deviceClass));
        config.insert(QStringLiteral("state_class"), QLatin1String(s.stateClass));
        config.insert(QStringLiteral("state_topic"), mqttStateTopic(settings));
        config.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(key));
        if (s.unit)
            config.insert(QStringLiteral("unit_of_measurement"), QLatin1String(s.unit));
        // A total is still true when the stream stops; a live value is not.
        if (qstrcmp(s.deviceClass, "energy") != 0)
            config.insert(QStringLiteral("expire_after"), mqttExpireAfterSeconds(settings));
        messages.append({mqttDiscoveryTopic(settings, key), mqttJson(config)});
    }
    return messages;
}
