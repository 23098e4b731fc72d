// The "mqtt" settings group: reading with defaults and a line for each text that cannot be used,
// topics that MQTT cannot carry, the INI store's groups beside "startup", owner-only permissions
// once a password is stored, and the discovery messages' shape.
#include "ini_settings_store.h"
#include "mqtt_messages.h"
#include "mqtt_settings.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(MqttSettings)

class TestMqttSettings : public QObject {
    Q_OBJECT
private slots:
    void storedText_readsAsItsValueOrDefault_data();
    void storedText_readsAsItsValueOrDefault();
    void topicOrPrefix_faultNamesTheKey_data();
    void topicOrPrefix_faultNamesTheKey();
    void iniStore_keepsGroupsApartAndRestrictsToOwner();
    void discoveryPrefix_emptyTurnsDiscoveryOff();
};

void TestMqttSettings::storedText_readsAsItsValueOrDefault_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<MqttSettings>("expected");
    QTest::addColumn<QString>("fault"); // the status line's text; empty: none
    const auto with = [](std::function<void(MqttSettings &)> change) {
        MqttSettings s;
        change(s);
        return s;
    };
    QTest::newRow("missing") << "None" << "" << MqttSettings() << "";
    QTest::newRow("enabled true") << "Enabled" << "TRUE" << with([](auto &s) { s.enabled = true; }) << "";
    QTest::newRow("enabled 1") << "Enabled" << "1" << with([](auto &s) { s.enabled = true; }) << "";
    QTest::newRow("enabled yes") << "Enabled" << "yes" << MqttSettings()
                                 << "Enabled \"yes\" is neither True nor False; the default False is used";
    QTest::newRow("port") << "Port" << "8883" << with([](auto &s) { s.port = 8883; }) << "";
    QTest::newRow("port 65535") << "Port" << "65535" << with([](auto &s) { s.port = 65535; }) << "";
    QTest::newRow("port too big") << "Port" << "65536" << MqttSettings()
                                  << "Port \"65536\" is not a whole number from 1 to 65535; the default 1883 is used";
    QTest::newRow("port 0") << "Port" << "0" << MqttSettings()
                            << "Port \"0\" is not a whole number from 1 to 65535; the default 1883 is used";
    QTest::newRow("port text") << "Port" << "abc" << MqttSettings()
                               << "Port \"abc\" is not a whole number from 1 to 65535; the default 1883 is used";
    QTest::newRow("interval 0") << "Interval" << "0" << with([](auto &s) { s.interval = 0; }) << "";
    const QString intervalFault = "Interval \"%1\" is not a whole number of seconds from 0 to 86400; the default 10 is used";
    QTest::newRow("interval negative") << "Interval" << "-5" << MqttSettings() << intervalFault.arg("-5");
    QTest::newRow("interval fraction") << "Interval" << "2.5" << MqttSettings() << intervalFault.arg("2.5");
    QTest::newRow("topic trailing slash") << "Topic" << "home/meter/" << with([](auto &s) { s.topic = "home/meter"; }) << "";
    QTest::newRow("topic only slashes") << "Topic" << "//" << MqttSettings()
                                        << "Topic is empty; the default orvotove/orvo88 is used";
    QTest::newRow("host empty") << "Host" << " " << MqttSettings() << "Host is empty; the default localhost is used";
    QTest::newRow("prefix empty") << "DiscoveryPrefix" << "" << with([](auto &s) { s.discoveryPrefix.clear(); }) << "";
}

void TestMqttSettings::storedText_readsAsItsValueOrDefault()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(MqttSettings, expected);
    QFETCH(QString, fault);
    QStringList faults;
    const MqttSettings read = readMqttSettings([&](const QString &k) -> std::optional<QString> {
        return k == key ? std::optional<QString>(text) : std::nullopt;
    }, &faults);
    QVERIFY(read == expected);
    QCOMPARE(faults, fault.isEmpty() ? QStringList() : QStringList{fault});
}

void TestMqttSettings::topicOrPrefix_faultNamesTheKey_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("fault");
    // "/status" is the longest level added to the topic; 65535 bytes is MQTT's limit.
    const QString longest(65535 - 7, QLatin1Char('t'));
    QTest::newRow("plain") << "home/meter" << "homeassistant" << "";
    QTest::newRow("longest topic") << longest << "" << "";
    QTest::newRow("a byte more") << longest + "t" << "" << "Topic is longer than 65535 bytes";
    // Counted in bytes: "é" is two of them.
    QTest::newRow("two-byte characters") << QString(32765, QChar(0xe9)) << "" << "Topic is longer than 65535 bytes";
    QTest::newRow("70000 characters") << QString(70000, 'a') << "homeassistant" << "Topic is longer than 65535 bytes";
    QTest::newRow("plus") << "home/+/meter" << "homeassistant" << "Topic holds the wildcard \"+\"";
    QTest::newRow("hash") << "home/#" << "homeassistant" << "Topic holds the wildcard \"#\"";
    QTest::newRow("nul") << QString("home") + QChar(0) + "meter" << "homeassistant" << "Topic holds a NUL character";
    QTest::newRow("control") << "home\tmeter" << "homeassistant"
                             << "Topic holds the character U+0009, which MQTT does not allow";
    QTest::newRow("prefix hash") << "home/meter" << "ha#" << "DiscoveryPrefix holds the wildcard \"#\"";
    // "<prefix>/sensor/meter/energy1_polar/config" is the longest discovery topic.
    const int sensorLevels = QString("/sensor/meter/energy1_polar/config").size();
    QTest::newRow("longest prefix") << "home/meter" << QString(65535 - sensorLevels, 'p') << "";
    QTest::newRow("prefix a byte more") << "home/meter" << QString(65536 - sensorLevels, 'p')
                                        << "DiscoveryPrefix is longer than 65535 bytes";
    // The node, the topic's last level, is in every discovery topic too.
    QTest::newRow("long node") << "home/" + QString(65500, 'n') << "homeassistant" << "Topic is longer than 65535 bytes";
    QTest::newRow("long node, no discovery") << "home/" + QString(65500, 'n') << "" << "";
}

void TestMqttSettings::topicOrPrefix_faultNamesTheKey()
{
    QFETCH(QString, topic);
    QFETCH(QString, prefix);
    QFETCH(QString, fault);
    MqttSettings s;
    s.topic = topic;
    s.discoveryPrefix = prefix;
    QCOMPARE(mqttTopicFault(s), fault);
}

void TestMqttSettings::iniStore_keepsGroupsApartAndRestrictsToOwner()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Orvotove.ini");
    MqttSettings written;
    written.enabled = true;
    written.password = QStringLiteral("pw");
    written.caFile = QStringLiteral("/etc/ca.crt");
    {
        IniSettingsStore store(path);
        store.setValue("ComPort", "3");
        writeMqttSettings(written, [&](const QString &k, const QString &t) { store.setGroupValue("mqtt", k, t); });
        QVERIFY(store.sync());
        QVERIFY(store.restrictToOwner());
        store.setValue("Rate", "0.2");
        QVERIFY(store.sync());
    }
    // A later save keeps the permissions.
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFile::permissions(path) & others, QFileDevice::Permissions());
    IniSettingsStore store(path);
    QCOMPARE(store.value("ComPort"), std::optional<QString>("3"));
    QCOMPARE(store.value("Enabled"), std::nullopt);
    QCOMPARE(store.groupValue("mqtt", "Enabled"), std::optional<QString>("True"));
    QVERIFY(readMqttSettings([&](const QString &k) { return store.groupValue("mqtt", k); }) == written);
}

void TestMqttSettings::discoveryPrefix_emptyTurnsDiscoveryOff()
{
    MqttSettings s;
    s.topic = QStringLiteral("site/house/meter");
    const QList<MqttMessage> configs = mqttDiscoveryMessages(s);
    QCOMPARE(configs.size(), 11);
    QCOMPARE(configs.constFirst().topic, QStringLiteral("homeassistant/sensor/meter/power1/config"));
    QCOMPARE(QJsonDocument::fromJson(configs.constFirst().payload)["unique_id"].toString(),
             QStringLiteral("meter_power1"));
    s.discoveryPrefix.clear();
    QVERIFY(mqttDiscoveryMessages(s).isEmpty());
}

QTEST_GUILESS_MAIN(TestMqttSettings)
#include "tst_mqtt_settings.moc"
