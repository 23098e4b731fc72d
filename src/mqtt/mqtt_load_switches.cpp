#include "mqtt_load_switches.h"

#include "mqtt_messages.h"

#include <QJsonObject>

namespace {

QString loadId(int load)
{
    return QStringLiteral("load%1").arg(load);
}

// The load number of "<prefix><n><suffix>", n from 1 to the highest load, in plain decimal.
std::optional<int> loadBetween(const QString &topic, const QString &prefix, const QString &suffix)
{
    if (!topic.startsWith(prefix) || !topic.endsWith(suffix)
        || topic.size() <= prefix.size() + suffix.size())
        return std::nullopt;
    const QString number = topic.mid(prefix.size(), topic.size() - prefix.size() - suffix.size());
    bool ok = false;
    const int load = number.toInt(&ok);
    if (!ok || load < 1 || load > kMqttHighestLoad || number != QString::number(load))
        return std::nullopt;
    return load;
}

} // namespace

QString mqttLoadStateTopic(const MqttSettings &settings, int load)
{
    return QStringLiteral("%1/load/%2").arg(settings.topic).arg(load);
}

QString mqttLoadCommandTopic(const MqttSettings &settings, int load)
{
    return mqttLoadStateTopic(settings, load) + QStringLiteral("/set");
}

QString mqttLoadCommandFilter(const MqttSettings &settings)
{
    return settings.topic + QStringLiteral("/load/+/set");
}

QString mqttLoadConfigTopic(const MqttSettings &settings, int load)
{
    return mqttComponentTopic(settings, QStringLiteral("switch"), loadId(load));
}

QString mqttLoadConfigFilter(const MqttSettings &settings)
{
    return mqttComponentTopic(settings, QStringLiteral("switch"), QStringLiteral("+"));
}

QByteArray mqttLoadStatePayload(bool on)
{
    return on ? QByteArrayLiteral("ON") : QByteArrayLiteral("OFF");
}

std::optional<int> mqttCommandedLoad(const MqttSettings &settings, const QString &topic)
{
    const auto load = loadBetween(topic, settings.topic + QStringLiteral("/load/"), QStringLiteral("/set"));
    if (!load || !settings.loads.contains(*load))
        return std::nullopt;
    return load;
}

std::optional<int> mqttConfiguredLoad(const MqttSettings &settings, const QString &topic)
{
    const QString prefix = QStringLiteral("%1/switch/%2/load").arg(settings.discoveryPrefix, mqttNodeName(settings));
    return loadBetween(topic, prefix, QStringLiteral("/config"));
}

std::optional<bool> mqttLoadCommand(const QByteArray &payload)
{
    if (payload == "ON")
        return true;
    if (payload == "OFF")
        return false;
    return std::nullopt;
}

QList<MqttMessage> mqttLoadConfigs(const MqttSettings &settings, const QString &configurationUrl)
{
    QList<MqttMessage> messages;
    if (settings.discoveryPrefix.isEmpty())
        return messages;
    for (const int load : settings.loads) {
        QJsonObject config = mqttEntityConfig(settings, configurationUrl, loadId(load),
                                              QStringLiteral("Load %1").arg(load));
        config.insert(QStringLiteral("command_topic"), mqttLoadCommandTopic(settings, load));
        config.insert(QStringLiteral("state_topic"), mqttLoadStateTopic(settings, load));
        config.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
        config.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
        config.insert(QStringLiteral("qos"), 1);
        messages.append({mqttLoadConfigTopic(settings, load), mqttJson(config)});
    }
    return messages;
}
