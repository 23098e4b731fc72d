#include "mqtt_settings.h"

#include "settings_text.h"

#include <algorithm>

namespace {

std::optional<int> toInt(const QString &text, int low, int high)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

// Reads the group key by key; every text that cannot be used leaves the default and a line
// that names the key, its text and what is used instead.
class StrictReader {
public:
    StrictReader(const MqttSettingReader &read, QStringList *faults) : read_(read), faults_(faults) {}

    void flag(const char *key, bool &into)
    {
        const auto v = read_(QLatin1String(key));
        if (!v)
            return;
        if (const auto b = SettingsText::toBool(*v))
            into = *b;
        else
            refuse(key, *v, QStringLiteral("is neither True nor False"), SettingsText::fromBool(into));
    }
    void number(const char *key, int &into, int low, int high, const QString &what)
    {
        const auto v = read_(QLatin1String(key));
        if (!v)
            return;
        if (const auto n = toInt(*v, low, high))
            into = *n;
        else
            refuse(key, *v, what, QString::number(into));
    }
    // A text that must not be empty (blanks count as empty).
    void word(const char *key, QString &into)
    {
        const auto v = read_(QLatin1String(key));
        if (!v)
            return;
        if (!v->trimmed().isEmpty())
            into = v->trimmed();
        else if (faults_)
            faults_->append(QStringLiteral("%1 is empty; the default %2 is used").arg(QLatin1String(key), into));
    }
    void text(const char *key, QString &into)
    {
        if (const auto v = read_(QLatin1String(key)))
            into = *v;
    }

private:
    void refuse(const char *key, const QString &text, const QString &what, const QString &used)
    {
        if (faults_)
            faults_->append(QStringLiteral("%1 \"%2\" %3; the default %4 is used")
                                .arg(QLatin1String(key), text, what, used));
    }

    const MqttSettingReader &read_;
    QStringList *faults_;
};

} // namespace

std::optional<QList<int>> parseMqttLoads(const QString &text)
{
    QList<int> loads;
    if (text.trimmed().isEmpty())
        return loads;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const auto load = toInt(part, 1, kMqttHighestLoad);
        if (!load)
            return std::nullopt;
        if (!loads.contains(*load))
            loads.append(*load);
    }
    std::sort(loads.begin(), loads.end());
    return loads;
}

QString mqttLoadsText(const QList<int> &loads)
{
    QStringList parts;
    for (const int load : loads)
        parts.append(QString::number(load));
    return parts.join(QLatin1Char(','));
}

MqttSettings readMqttSettings(const MqttSettingReader &read, QStringList *faults)
{
    MqttSettings s;
    StrictReader r(read, faults);
    r.flag("Enabled", s.enabled);
    r.word("Host", s.host);
    r.number("Port", s.port, 1, 65535, QStringLiteral("is not a whole number from 1 to 65535"));
    r.text("Username", s.username);
    r.text("Password", s.password);
    r.text("CaFile", s.caFile);
    // A topic ending in "/" would give an empty node name.
    QString topic = s.topic;
    r.text("Topic", topic);
    while (topic.endsWith(QLatin1Char('/')))
        topic.chop(1);
    if (!topic.isEmpty())
        s.topic = topic;
    else if (read(QStringLiteral("Topic")) && faults)
        faults->append(QStringLiteral("Topic is empty; the default %1 is used").arg(s.topic));
    r.text("DiscoveryPrefix", s.discoveryPrefix);
    r.number("Interval", s.interval, 0, kMqttLongestInterval,
             QStringLiteral("is not a whole number of seconds from 0 to %1").arg(kMqttLongestInterval));
    if (const auto text = read(QStringLiteral("Loads"))) {
        if (const auto loads = parseMqttLoads(*text))
            s.loads = *loads;
        else if (faults)
            faults->append(QStringLiteral("Loads \"%1\" is not a list of load numbers from 1 to %2 "
                                          "such as 1,2,5; no loads are exposed")
                               .arg(*text).arg(kMqttHighestLoad));
    }
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
    write(QStringLiteral("Loads"), mqttLoadsText(s.loads));
}
