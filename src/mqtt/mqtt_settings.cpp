#include "mqtt_settings.h"

#include "settings_text.h"

namespace {

std::optional<int> toInt(const QString &text, int low, int high)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

} // namespace

MqttSettings readMqttSettings(const MqttSettingReader &read)
{
    MqttSettings s;
    const auto text = [&read](const char *key, QString &into) {
        if (const auto v = read(QLatin1String(key)))
            into = *v;
    };
    if (const auto v = read(QStringLiteral("Enabled")))
        s.enabled = SettingsText::toBool(*v).value_or(s.enabled);
    text("Host", s.host);
    if (const auto v = read(QStringLiteral("Port")))
        s.port = toInt(*v, 1, 65535).value_or(s.port);
    text("Username", s.username);
    text("Password", s.password);
    text("CaFile", s.caFile);
    text("Topic", s.topic);
    text("DiscoveryPrefix", s.discoveryPrefix);
    if (const auto v = read(QStringLiteral("Interval")))
        s.interval = toInt(*v, 0, 86400).value_or(s.interval);
    s.host = s.host.trimmed();
    if (s.host.isEmpty())
        s.host = MqttSettings().host;
    // A topic ending in "/" would give an empty node name.
    while (s.topic.endsWith(QLatin1Char('/')))
        s.topic.chop(1);
    if (s.topic.isEmpty())
        s.topic = MqttSettings().topic;
    return s;
}

void writeMqttSettings(const MqttSettings &s, const MqttSettingWriter &write)
{
    write(QStringLiteral("Enabled"), SettingsText::fromBool(s.enabled));
    write(QStringLiteral("Host"), s.host);
    write(QStringLiteral("Port"), QString::number(s.port));
    write(QStringLiteral("Username"), s.username);
    write(QStringLiteral("Password"), s.password);
    write(QStringLiteral("CaFile"), s.caFile);
    write(QStringLiteral("Topic"), s.topic);
    write(QStringLiteral("DiscoveryPrefix"), s.discoveryPrefix);
    write(QStringLiteral("Interval"), QString::number(s.interval));
}
