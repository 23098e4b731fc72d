// The "mqtt" settings group: reading with defaults, the INI store's groups beside "startup",
// owner-only permissions once a password is stored, and the discovery messages' shape.
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
    void iniStore_keepsGroupsApartAndRestrictsToOwner();
    void discoveryPrefix_emptyTurnsDiscoveryOff();
};

void TestMqttSettings::storedText_readsAsItsValueOrDefault_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<MqttSettings>("expected");
    const auto with = [](std::function<void(MqttSettings &)> change) {
        MqttSettings s;
        change(s);
        return s;
    };
    QTest::newRow("missing") << "None" << "" << MqttSettings();
    QTest::newRow("enabled true") << "Enabled" << "TRUE" << with([](auto &s) { s.enabled = true; });
    QTest::newRow("enabled 1") << "Enabled" << "1" << with([](auto &s) { s.enabled = true; });
    QTest::newRow("enabled yes") << "Enabled" << "yes" << MqttSettings();
    QTest::newRow("port") << "Port" << "8883" << with([](auto &s) { s.port = 8883; });
    QTest::newRow("port too big") << "Port" << "70000" << MqttSettings();
    QTest::newRow("port text") << "Port" << "abc" << MqttSettings();
    QTest::newRow("interval 0") << "Interval" << "0" << with([](auto &s) { s.interval = 0; });
    QTest::newRow("interval negative") << "Interval" << "-5" << MqttSettings();
    QTest::newRow("topic trailing slash") << "Topic" << "home/meter/" << with([](auto &s) { s.topic = "home/meter"; });
    QTest::newRow("host empty") << "Host" << " " << MqttSettings();
    QTest::newRow("prefix empty") << "DiscoveryPrefix" << "" << with([](auto &s) { s.discoveryPrefix.clear(); });
}

void TestMqttSettings::storedText_readsAsItsValueOrDefault()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(MqttSettings, expected);
    const MqttSettings read = readMqttSettings([&](const QString &k) -> std::optional<QString> {
        return k == key ? std::optional<QString>(text) : std::nullopt;
    });
    QVERIFY(read == expected);
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
