#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The settings group "mqtt": where and how the readings are published.
struct MqttSettings {
    bool enabled = false;                                     // Enabled
    QString host = QStringLiteral("localhost");               // Host
    int port = 1883;                                          // Port
    QString username;                                         // Username: empty means none
    QString password;                                         // Password
    QString caFile;                                           // CaFile: TLS when set
    QString topic = QStringLiteral("orvotove/orvo88");        // Topic: the base topic
    QString discoveryPrefix = QStringLiteral("homeassistant"); // DiscoveryPrefix: empty is off
    int interval = 10; // Interval: seconds between state messages, 0 sends one per packet
    QList<int> loads;  // Loads: the remote loads exposed as switches, ascending, none by default

    bool operator==(const MqttSettings &) const = default;
};

// The longest Interval: a state at least once a day.
constexpr int kMqttLongestInterval = 86400;

// The highest load number that Loads may name.
constexpr int kMqttHighestLoad = 16;

// "1,2,5" as the load numbers, ascending and each once; nothing for a text that is not a list
// of whole numbers from 1 to kMqttHighestLoad separated by commas. Empty text is no loads.
std::optional<QList<int>> parseMqttLoads(const QString &text);
QString mqttLoadsText(const QList<int> &loads);

// The name of the settings group in the settings file.
inline QString mqttSettingsGroup() { return QStringLiteral("mqtt"); }

// Reads a key of the group: its stored text, or nothing when it is missing.
using MqttSettingReader = std::function<std::optional<QString>(const QString &key)>;
using MqttSettingWriter = std::function<void(const QString &key, const QString &text)>;

// Every key of the group; a missing value gives the key's default. So does a text that cannot
// be used, and `faults` (when given) gets a line naming the key, its text and the default used.
// The base topic and discovery prefix are taken as they are: mqttTopicFault() judges them.
MqttSettings readMqttSettings(const MqttSettingReader &read, QStringList *faults = nullptr);
// Every key of the group, as text (booleans as True and False).
void writeMqttSettings(const MqttSettings &settings, const MqttSettingWriter &write);
