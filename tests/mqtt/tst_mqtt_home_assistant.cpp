// Home Assistant against a real mosquitto broker: discovery again after its birth, live values
// that expire, the link's health from the simulator's stream, and the loads as switches, with
// the web post a switch sets off.
#include "acquisition_core.h"
#include "fake_serial_port.h"
#include "http_settings.h"
#include "ini_settings_store.h"
#include "mqtt_load_switches.h"
#include "process_fixtures.h"
#include "publisher_rig.h"
#include "sim_process.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>

namespace {

QJsonObject json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

// mosquitto_sub shows an empty message, which clears a retained one, as "(null)".
bool cleared(const QByteArray &payload)
{
    return payload.isEmpty() || payload == "(null)";
}

// The whole program on a manual clock and a fake port, publishing to the broker as orvotove/ha
// with loads 1 and 5 exposed, and posting to a local listener.
struct CoreRig {
    explicit CoreRig(const MosquittoBroker &broker) : store(dir.filePath("Orvotove.ini"))
    {
        const QList<QPair<QString, QString>> group{
            {"Enabled", "True"}, {"Host", "127.0.0.1"}, {"Port", QString::number(broker.port())},
            {"Topic", "orvotove/ha"}, {"DiscoveryPrefix", "ha_core"}, {"Interval", "0"},
            {"Loads", "1,5"}};
        for (const auto &[key, text] : group)
            store.setGroupValue("mqtt", key, text);
        service.listen(QHostAddress::LocalHost);
        store.setValue("WebHost", QStringLiteral("127.0.0.1:%1").arg(service.serverPort()));
        store.setValue("VexWriteEnable", "True");
        store.setValue("VexUser", "demo");
        store.sync();
        core.prepare();
        QObject::connect(&core.webPoster(), &WebPoster::requestSent,
                         [this](const QByteArray &request) { posts << request; });
        core.startAutomaticActions();
    }
    bool connected()
    {
        return QTest::qWaitFor([this] { return core.mqtt().state() == MqttPublisher::State::Connected; }, 5000);
    }

    QTemporaryDir dir;
    IniSettingsStore store;
    QTcpServer service;
    ManualClock clock;
    FakeSerialPort port{&clock};
    RecordingStatusLines log;
    AcquisitionCore core{port, clock, store, Reporters{.statusLog = &log}};
    QList<QByteArray> posts;
};

} // namespace

class TestMqttHomeAssistant : public QObject {
    Q_OBJECT
private slots:
    void birth_bringsClearedConfigsBackWithinTheDelay();
    void liveSensorsExpire_energiesDoNot_data();
    void liveSensorsExpire_energiesDoNot();
    void configurationUrl_onlyForAnAddressOthersReach_data();
    void configurationUrl_onlyForAnAddressOthersReach();
    void connectivity_followsTheSimulatorsStream();
    void switch_commandSetsLoadPostsAndTcpMoveTurnsItOff();
    void switch_otherPayloadsChangeNothing_data();
    void switch_otherPayloadsChangeNothing();
    void loadTakenOut_itsConfigIsCleared();
};

void TestMqttHomeAssistant::birth_bringsClearedConfigsBackWithinTheDelay()
{
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    Rig rig(broker, QStringLiteral("birth"));
    rig.settings.loads = {2};
    MqttSubscriber sub(broker, rig.topics());
    QVERIFY(rig.startAndSeeOnline(sub));
    rig.publisher.publishReading(LiveReading{});
    const auto configs = [&] {
        QStringList topics;
        for (auto it = sub.latest.cbegin(); it != sub.latest.cend(); ++it)
            if (it.key().endsWith("/config") && !cleared(it.value()))
                topics << it.key();
        return topics;
    };
    QTRY_COMPARE(configs().size(), 11 + 4 + 1); // sensors, diagnostics, the switch
    const QStringList all = configs();
    for (const QString &topic : all)
        QVERIFY(broker.publish(topic, {}, true));
    QTRY_VERIFY(configs().isEmpty());
    const int states = sub.counts.value("orvotove/birth/state");

    QVERIFY(broker.publish("ha_birth/status", "online"));
    QTRY_VERIFY(rig.publisher.birthWatch().isPending());
    rig.clock.advance(MqttBirthWatch::kLongestDelayMs);
    QTRY_COMPARE(configs().size(), all.size());
    QTRY_COMPARE(sub.counts.value("orvotove/birth/state"), states + 1);
    QVERIFY(!rig.publisher.birthWatch().isPending());
}

void TestMqttHomeAssistant::liveSensorsExpire_energiesDoNot_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("expireAfter");
    QTest::newRow("one per packet") << 0 << 60;
    QTest::newRow("default 10 s") << 10 << 60;
    QTest::newRow("every 100 s") << 100 << 300;
}

void TestMqttHomeAssistant::liveSensorsExpire_energiesDoNot()
{
    QFETCH(int, interval);
    QFETCH(int, expireAfter);
    MqttSettings s;
    s.interval = interval;
    const QList<MqttMessage> configs = mqttDiscoveryMessages(s);
    QCOMPARE(configs.size(), 11);
    for (const MqttMessage &m : configs) {
        const QJsonObject c = json(m.payload);
        const bool energy = m.topic.contains("/energy");
        QCOMPARE(c.contains("expire_after"), !energy);
        if (!energy)
            QCOMPARE(c["expire_after"].toInt(), expireAfter);
        QCOMPARE(c["origin"]["support_url"].toString(), QStringLiteral("https://support.orvo.example"));
    }
    QCOMPARE(json(configs.at(4).payload)["name"].toString(), QStringLiteral("CH1 generated energy"));
}

void TestMqttHomeAssistant::configurationUrl_onlyForAnAddressOthersReach_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("listen");
    QTest::addColumn<QString>("url");
    QTest::newRow("LAN address") << true << "192.168.1.20:8088" << "http://192.168.1.20:8088/";
    QTest::newRow("IPv6 address") << true << "[fd00::5]:80" << "http://[fd00::5]:80/";
    QTest::newRow("API off") << false << "192.168.1.20:8088" << "";
    QTest::newRow("loopback") << true << "127.0.0.1:8088" << "";
    QTest::newRow("localhost") << true << "localhost:8088" << "";
    QTest::newRow("every interface") << true << "0.0.0.0:8088" << "";
    QTest::newRow("every IPv6 interface") << true << "[::]:8088" << "";
}

void TestMqttHomeAssistant::configurationUrl_onlyForAnAddressOthersReach()
{
    QFETCH(bool, enabled);
    QFETCH(QString, listen);
    QFETCH(QString, url);
    const HttpSettings http{.enabled = enabled, .listen = listen, .token = "secret"};
    QCOMPARE(httpDashboardUrlForOthers(http), url);
    const QJsonObject device = json(mqttDiscoveryMessages(MqttSettings(), url).constFirst().payload)["device"].toObject();
    QCOMPARE(device.contains("configuration_url"), !url.isEmpty());
}

void TestMqttHomeAssistant::connectivity_followsTheSimulatorsStream()
{
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    MqttSubscriber sub(broker, {"orvotove/ha/diagnostics"});
    QVERIFY(sub.waitSubscribed());
    CoreRig rig(broker);
    QVERIFY(rig.connected());
    rig.port.open("/dev/fake");
    QProcess sim;
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, [&] { rig.port.arrive(sim.readAllStandardOutput()); });
    sim.start(SimProcess::binDir() + "/orvo-sim", {"--stdout", "--quiet", "--period-ms", "100"});
    QVERIFY2(sim.waitForStarted(), "orvo-sim is missing from the build");
    int decoded = 0;
    rig.core.decoder().addDecodedListener([&decoded] { ++decoded; });
    const auto diagnostics = [&] { return json(sub.latest.value("orvotove/ha/diagnostics")); };
    // While it streams, each second of the program's clock comes after a packet.
    const auto secondsUntilConnected = [&](bool connected) {
        for (int second = 0; second < 10; ++second) {
            const int before = decoded;
            if (connected)
                (void)QTest::qWaitFor([&] { return decoded > before; }, 2000);
            rig.clock.advance(1000);
            if (QTest::qWaitFor([&] { return diagnostics().value("connected") == QJsonValue(connected); }, 200))
                return true;
        }
        return false;
    };
    QVERIFY(secondsUntilConnected(true));
    QVERIFY(QDateTime::fromString(diagnostics().value("last_packet").toString(), Qt::ISODate).isValid());
    ::kill(pid_t(sim.processId()), SIGSTOP);
    QVERIFY(secondsUntilConnected(false));
    ::kill(pid_t(sim.processId()), SIGCONT);
    QVERIFY(secondsUntilConnected(true));
    sim.kill();
    sim.waitForFinished();
}

void TestMqttHomeAssistant::switch_commandSetsLoadPostsAndTcpMoveTurnsItOff()
{
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    MqttSubscriber sub(broker, {"orvotove/ha/load/#"});
    QVERIFY(sub.waitSubscribed());
    CoreRig rig(broker);
    QVERIFY(rig.connected());
    QTRY_COMPARE(sub.latest.value("orvotove/ha/load/5"), QByteArray("OFF"));

    QVERIFY(broker.publish("orvotove/ha/load/5/set", "ON"));
    QTRY_COMPARE(sub.latest.value("orvotove/ha/load/5"), QByteArray("ON"));
    QVERIFY(rig.core.loads().isOn(5));
    QCOMPARE(rig.core.settings().loadData, quint16(16));
    QTRY_VERIFY(!rig.posts.isEmpty());
    QVERIFY2(rig.posts.last().contains("&load=16 HTTP/1.1\r\n"), rig.posts.last().constData());

    const quint16 serverPort = freeTcpPort();
    rig.core.server().listenOn(serverPort);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, serverPort);
    QVERIFY(client.waitForConnected(2000));
    client.write("MOV 5F\r");
    QTRY_COMPARE(sub.latest.value("orvotove/ha/load/5"), QByteArray("OFF"));
    QVERIFY(!rig.core.loads().isOn(5));
}

void TestMqttHomeAssistant::switch_otherPayloadsChangeNothing_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("maybe") << "orvotove/ha/load/5/set" << QByteArray("maybe");
    QTest::newRow("10 kB") << "orvotove/ha/load/5/set" << QByteArray("ON").leftJustified(10240, 'N');
    QTest::newRow("lower case") << "orvotove/ha/load/5/set" << QByteArray("on");
    QTest::newRow("load not exposed") << "orvotove/ha/load/2/set" << QByteArray("ON");
    QTest::newRow("load 05") << "orvotove/ha/load/05/set" << QByteArray("ON");
}

void TestMqttHomeAssistant::switch_otherPayloadsChangeNothing()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    CoreRig rig(broker);
    QVERIFY(rig.connected());
    QVERIFY(broker.publish(topic, payload));
    // Messages reach the program in order: once load 1 is on, the one before has been read.
    QVERIFY(broker.publish("orvotove/ha/load/1/set", "ON"));
    QTRY_VERIFY(rig.core.loads().isOn(1));
    QCOMPARE(rig.core.settings().loadData, quint16(1));
}

void TestMqttHomeAssistant::loadTakenOut_itsConfigIsCleared()
{
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    Rig rig(broker, QStringLiteral("out"));
    rig.settings.loads = {1, 5};
    MqttSubscriber sub(broker, rig.topics());
    QVERIFY(rig.startAndSeeOnline(sub));
    const QString five = mqttLoadConfigTopic(rig.settings, 5);
    QTRY_VERIFY(!cleared(sub.latest.value(five)));
    QCOMPARE(json(sub.latest.value(five))["command_topic"].toString(), QStringLiteral("orvotove/out/load/5/set"));
    rig.settings.loads = {1};
    rig.publisher.start(rig.settings);
    QTRY_COMPARE(sub.counts.value(five), 2);
    QVERIFY(cleared(sub.latest.value(five)));
    QVERIFY(!cleared(sub.latest.value(mqttLoadConfigTopic(rig.settings, 1))));
}

QTEST_GUILESS_MAIN(TestMqttHomeAssistant)
#include "tst_mqtt_home_assistant.moc"
