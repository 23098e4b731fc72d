#include "mqtt_diagnostics.h"

#include "mqtt_messages.h"

#include <QJsonObject>
#include <QJsonValue>

namespace {

struct DiagnosticEntity {
    const char *component;
    const char *key;
    const char *name;
    const char *deviceClass; // nullptr: a plain count
    const char *valueTemplate;
};

constexpr DiagnosticEntity kEntities[] = {
    {"binary_sensor", "link", "Link", "connectivity",
     "{{ 'ON' if value_json.connected else 'OFF' }}"},
    {"sensor", "last_packet", "Last packet", "timestamp", "{{ value_json.last_packet }}"},
    {"sensor", "checksum_errors", "Checksum errors", nullptr, "{{ value_json.checksum_errors }}"},
    {"sensor", "suspect_dropped", "Suspect packets dropped", nullptr, "{{ value_json.suspect_dropped }}"},
};

} // namespace

QString mqttDiagnosticsTopic(const MqttSettings &settings)
{
    return settings.topic + QStringLiteral("/diagnostics");
}

QByteArray mqttDiagnosticsPayload(const MqttDiagnostics &d)
{
    const QJsonValue last = d.lastPacket.isValid()
                                ? QJsonValue(d.lastPacket.toUTC().toString(Qt::ISODate))
                                : QJsonValue(QJsonValue::Null);
    return mqttJson(QJsonObject{
        {QStringLiteral("connected"), d.linkUp},
        {QStringLiteral("last_packet"), last},
        {QStringLiteral("checksum_errors"), double(d.checksumErrors)},
        {QStringLiteral("suspect_dropped"), double(d.suspectDropped)},
    });
}

QStringList mqttDiagnosticsConfigTopics(const MqttSettings &settings)
{
    QStringList topics;
    for (const DiagnosticEntity &e : kEntities)
        topics.append(mqttComponentTopic(settings, QLatin1String(e.component), QLatin1String(e.key)));
    return topics;
}

QList<MqttMessage> mqttDiagnosticsConfigs(const MqttSettings &settings, const QString &configurationUrl)
{
    QList<MqttMessage> messages;
    if (settings.discoveryPrefix.isEmpty())
        return messages;
    for (const DiagnosticEntity &e : kEntities) {
        const QString key = QLatin1String(e.key);
        QJsonObject config = mqttEntityConfig(settings, configurationUrl, key, QLatin1String(e.name));
        config.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
        config.insert(QStringLiteral("state_topic"), mqttDiagnosticsTopic(settings));
        config.insert(QStringLiteral("value_template"), QLatin1String(e.valueTemplate));
        if (e.deviceClass)
            config.insert(QStringLiteral("device_class"), QLatin1String(e.deviceClass));
        else
            config.insert(QStringLiteral("state_class"), QStringLiteral("total_increasing"));
        messages.append({mqttComponentTopic(settings, QLatin1String(e.component), key), mqttJson(config)});
    }
    return messages;
}
