// The publisher against a real mosquitto broker on a loopback port: discovery, the state's
// values, reconnection after the broker restarts, a refused login, TLS and the last will; and
// settings that cannot work, which must cost the rest of the program nothing.
#include "acquisition_core.h"
#include "fake_serial_port.h"
#include "ini_settings_store.h"
#include "manual_clock.h"
#include "mqtt_messages.h"
#include "mqtt_publisher.h"
#include "packet_encoder.h"
#include "process_fixtures.h"
#include "publisher_rig.h"
#include "recorders.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QTemporaryDir>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

LiveReading sampleReading()
{
    LiveReading r;
    r.watts1 = 1234;
    r.watts2 = 567;
    r.ws1Static = 7.2e6 + 123.4;
    r.ws2Static = 9.0e6;
    r.ws1PolarStatic = 1.8e6;
    r.ws2PolarStatic = 9.0e5 + 1;
    r.volts = 231.7;
    r.amps1 = 5.25f;
    r.amps2 = 2.5f;
    r.pf1 = 0.93f;
    r.pf2 = 0.5f;
    r.seconds = 4321;
    return r;
}

// The descriptors the process has open.
QStringList openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System);
}

// One GETALL to the data server on loopback: true when a line came back.
bool getAllAnswered(quint16 port)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(2000))
        return false;
    client.write("GETALL\r");
    return QTest::qWaitFor([&] { return client.canReadLine(); }, 3000);
}

} // namespace

class TestMqttPublisher : public QObject {
    Q_OBJECT
private slots:
    void connect_publishesDiscoveryWithTheFields();
    void packet_stateValuesEqualTheReading();
    void brokerRestart_reconnectsAndPublishesAgain();
    void wrongPassword_oneLogLineAndNoSpin();
    void tlsWithTestCa_connects();
    void shutDown_sendsOffline();
    void sigkill_lastWillReadsOffline();
    void acquisitionCore_publishesPacketsAndOfflineAtShutDown();
    void unusableOptions_openFailsAndClosesNothing_data();
    void unusableOptions_openFailsAndClosesNothing();
    void longTopic_serverKeepsAnsweringAndLogSaysWhy();
    void caFileMissingOrUnreadable_named_data();
    void caFileMissingOrUnreadable_named();
};

void TestMqttPublisher::connect_publishesDiscoveryWithTheFields()
{
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    Rig rig(broker, QStringLiteral("disc"));
    MqttSubscriber sub(broker, rig.topics());
    QVERIFY(rig.startAndSeeOnline(sub));
    const QStringList keys{"power1", "power2", "energy1", "energy2", "energy1_polar",
                           "energy2_polar", "voltage", "current1", "current2", "pf1", "pf2"};
    for (const QString &key : keys) {
        const QString topic = QStringLiteral("ha_disc/sensor/disc/%1/config").arg(key);
        QTRY_VERIFY2(sub.latest.contains(topic), qPrintable(topic));
        QJsonParseError error;
        const QJsonObject c = QJsonDocument::fromJson(sub.latest.value(topic), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        for (const char *field : {"name", "device_class", "state_class", "unique_id", "device",
                                  "availability_topic", "state_topic", "value_template"})
            QVERIFY2(c.contains(QLatin1String(field)), field);
        QCOMPARE(c["unique_id"].toString(), "disc_" + key);
        QCOMPARE(c["device"]["identifiers"].toArray(), QJsonArray{"disc"});
        QCOMPARE(c["availability_topic"].toString(), rig.status());
        QCOMPARE(c["state_topic"].toString(), QStringLiteral("orvotove/disc/state"));
        QCOMPARE(c["value_template"].toString(), QStringLiteral("{{ value_json.%1 }}").arg(key));
        if (key.startsWith("energy")) {
            QCOMPARE(c["state_class"].toString(), QStringLiteral("total_increasing"));
            QCOMPARE(c["unit_of_measurement"].toString(), QStringLiteral("kWh"));
        }
        // The power factors are ratios from 0 to 1: no unit.
        QCOMPARE(c.contains("unit_of_measurement"), !key.startsWith("pf"));
    }
    QCOMPARE(rig.log.lines, QStringList{"MQTT: Connected to broker 127.0.0.1:" + QString::number(broker.port())});
}

void TestMqttPublisher::packet_stateValuesEqualTheReading()
{
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    Rig rig(broker, QStringLiteral("state"));
    rig.settings.interval = 10;
    MqttSubscriber sub(broker, rig.topics());
    QVERIFY(sub.waitSubscribed());
    rig.publisher.start(rig.settings);
    QTRY_COMPARE(rig.publisher.state(), MqttPublisher::State::Connected);
    const LiveReading r = sampleReading();
    rig.publisher.publishReading(r);
    const QString stateTopic = QStringLiteral("orvotove/state/state");
    QTRY_VERIFY(sub.latest.contains(stateTopic));
    const QJsonObject s = QJsonDocument::fromJson(sub.latest.value(stateTopic)).object();
    const QList<QPair<const char *, double>> expected{
        {"power1", r.watts1}, {"power2", r.watts2}, {"energy1", r.ws1Static / 3.6e6},
        {"energy2", r.ws2Static / 3.6e6}, {"energy1_polar", r.ws1PolarStatic / 3.6e6},
        {"energy2_polar", r.ws2PolarStatic / 3.6e6}, {"voltage", r.volts},
        {"current1", r.amps1}, {"current2", r.amps2}, {"pf1", r.pf1}, {"pf2", r.pf2},
        {"seconds", r.seconds}};
    for (const auto &[key, value] : expected)
        QVERIFY2(s[QLatin1String(key)].isDouble() && qAbs(s[QLatin1String(key)].toDouble() - value) < 1e-6, key);
    QVERIFY(QDateTime::fromString(s["time"].toString(), Qt::ISODate).isValid());

    // Within the Interval further packets are not sent; after it the next one is.
    rig.publisher.publishReading(r);
    rig.clock.advance(9999);
    rig.publisher.publishReading(r);
    QCOMPARE(rig.publisher.statesPublished(), 1);
    rig.clock.advance(1);
    rig.publisher.publishReading(r);
    QCOMPARE(rig.publisher.statesPublished(), 2);
    QTRY_COMPARE(sub.counts.value(stateTopic), 2);
}

void TestMqttPublisher::brokerRestart_reconnectsAndPublishesAgain()
{
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    Rig rig(broker, QStringLiteral("restart"));
    rig.publisher.start(rig.settings);
    QTRY_COMPARE(rig.publisher.state(), MqttPublisher::State::Connected);

    broker.stop();
    QTRY_COMPARE(rig.publisher.state(), MqttPublisher::State::Unreachable);
    // The event loop keeps running while the broker is away.
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(10);
    // Retries after 1 s and 2 s more fail the same way: no new log lines.
    rig.clock.advance(1000);
    QTRY_COMPARE(rig.publisher.nextRetryMs(), 4000);
    rig.clock.advance(1999);
    QCOMPARE(rig.publisher.connectAttempts(), 2);
    QTRY_VERIFY(ticks >= 5);
    QCOMPARE(rig.log.lines.size(), 2); // connected, then unreachable

    QVERIFY(broker.start());
    MqttSubscriber sub(broker, rig.topics());
    QVERIFY(sub.waitSubscribed());
    rig.clock.advance(1);
    QTRY_COMPARE(rig.publisher.state(), MqttPublisher::State::Connected);
    QCOMPARE(rig.publisher.connectAttempts(), 3);
    QTRY_COMPARE(sub.latest.value(rig.status()), QByteArray("online"));
    QTRY_VERIFY(sub.latest.contains("ha_restart/sensor/restart/power1/config"));
    rig.publisher.publishReading(sampleReading());
    QTRY_VERIFY(sub.latest.contains("orvotove/restart/state"));
    QCOMPARE(rig.log.lines.size(), 3);
    QVERIFY(rig.log.lines.at(1).startsWith("MQTT: Cannot reach the broker"));
    QCOMPARE(rig.publisher.nextRetryMs(), MqttPublisher::kFirstRetryMs);
}

void TestMqttPublisher::wrongPassword_oneLogLineAndNoSpin()
{
    MosquittoBroker broker(MosquittoBroker::Mode::Password);
    REQUIRE_BROKER(broker);
    Rig rig(broker, QStringLiteral("login"));
    rig.settings.password = QStringLiteral("wrong");
    rig.publisher.start(rig.settings);
    QTRY_COMPARE(rig.publisher.nextRetryMs(), 2000);
    QCOMPARE(rig.publisher.state(), MqttPublisher::State::Refused);
    // Each retry waits for its timer: nothing is attempted until the clock moves.
    for (int retry = 1; retry <= 3; ++retry) {
        QTest::qWait(50);
        QCOMPARE(rig.publisher.connectAttempts(), retry);
        rig.clock.advance(rig.publisher.nextRetryMs() / 2);
        QTRY_COMPARE(rig.publisher.nextRetryMs(), 2000 << retry);
    }
    QCOMPARE(rig.log.lines.size(), 1);
    QVERIFY2(rig.log.lines.constFirst().contains("refused the login"), qPrintable(rig.log.lines.constFirst()));
    QCOMPARE(rig.publisher.statusText(), rig.log.lines.constFirst().mid(6));
}

void TestMqttPublisher::tlsWithTestCa_connects()
{
    MosquittoBroker broker(MosquittoBroker::Mode::Tls);
    REQUIRE_BROKER(broker);
    Rig rig(broker, QStringLiteral("tls"));
    rig.settings.host = QStringLiteral("localhost");
    rig.settings.caFile = broker.caFile();
    MqttSubscriber sub(broker, rig.topics());
    QVERIFY(rig.startAndSeeOnline(sub));
    rig.publisher.publishReading(sampleReading());
    QTRY_VERIFY(sub.latest.contains("orvotove/tls/state"));
}

void TestMqttPublisher::shutDown_sendsOffline()
{
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    Rig rig(broker, QStringLiteral("end"));
    MqttSubscriber sub(broker, rig.topics());
    QVERIFY(rig.startAndSeeOnline(sub));
    rig.publisher.shutDown();
    QCOMPARE(rig.publisher.state(), MqttPublisher::State::Off);
    QTRY_COMPARE(sub.latest.value(rig.status()), QByteArray("offline"));
}

void TestMqttPublisher::sigkill_lastWillReadsOffline()
{
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    MqttSubscriber sub(broker, {"orvotove/killed/#"});
    QVERIFY(sub.waitSubscribed());
    QProcess host;
    host.start(QCoreApplication::applicationDirPath() + "/mqtt_publisher_host",
               {QString::number(broker.port()), "orvotove/killed"});
    QVERIFY(host.waitForStarted());
    QByteArray said;
    QTRY_VERIFY((said += host.readAllStandardOutput()).contains("connected"));
    QTRY_COMPARE(sub.latest.value("orvotove/killed/status"), QByteArray("online"));
    ::kill(pid_t(host.processId()), SIGKILL);
    host.waitForFinished();
    QTRY_COMPARE(sub.latest.value("orvotove/killed/status"), QByteArray("offline"));
}

void TestMqttPublisher::acquisitionCore_publishesPacketsAndOfflineAtShutDown()
{
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    QTemporaryDir dir;
    const QString path = dir.filePath("Orvotove.ini");
    IniSettingsStore store(path);
    const QList<QPair<QString, QString>> group{
        {"Enabled", "True"}, {"Host", "127.0.0.1"}, {"Port", QString::number(broker.port())},
        {"Topic", "orvotove/core"}, {"Interval", "0"}, {"Username", "u"}, {"Password", "p"}};
    for (const auto &[key, text] : group)
        store.setGroupValue("mqtt", key, text);
    QVERIFY(store.sync());
    MqttSubscriber sub(broker, {"orvotove/core/#"});
    QVERIFY(sub.waitSubscribed());

    ManualClock clock;
    FakeSerialPort port(&clock);
    RecordingStatusLines log;
    AcquisitionCore core(port, clock, store, Reporters{.statusLog = &log});
    core.prepare();
    QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
    core.startAutomaticActions();
    QTRY_COMPARE(sub.latest.value("orvotove/core/status"), QByteArray("online"));
    port.open(QStringLiteral("/dev/fake"));
    PacketFields f;
    f.seconds = 77;
    f.ws1 = 3600000;
    port.arrive(encodePacket(f));
    QTRY_VERIFY(sub.latest.contains("orvotove/core/state"));
    const QJsonObject state = QJsonDocument::fromJson(sub.latest.value("orvotove/core/state")).object();
    QCOMPARE(state["seconds"].toInt(), 77);
    QCOMPARE(state["energy1"].toDouble(), core.decoder().reading().ws1Static / 3.6e6);
    core.shutDown();
    QTRY_COMPARE(sub.latest.value("orvotove/core/status"), QByteArray("offline"));
}

void TestMqttPublisher::unusableOptions_openFailsAndClosesNothing_data()
{
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("willTopic");
    QTest::newRow("client id too long") << QString(70000, 'a') << "127.0.0.1" << "t/status";
    QTest::newRow("client id with a space") << "my meter" << "127.0.0.1" << "t/status";
    QTest::newRow("name for an address") << "id" << "localhost" << "t/status";
    QTest::newRow("will topic too long") << "id" << "127.0.0.1" << QString(70000, 'a');
}

void TestMqttPublisher::unusableOptions_openFailsAndClosesNothing()
{
    QFETCH(QString, clientId);
    QFETCH(QString, address);
    QFETCH(QString, willTopic);
    ManualClock clock;
    MqttConnection connection(clock);
    MqttConnectOptions o;
    o.clientId = clientId;
    o.address = address;
    o.port = unusedLoopbackPort();
    o.willTopic = willTopic;
    const QStringList before = openDescriptors();
    for (int attempt = 0; attempt < 3; ++attempt) {
        QString error;
        QVERIFY(!connection.open(o, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!connection.isOpen());
    }
    QCOMPARE(openDescriptors(), before);
}

// The publisher's connect attempts once closed the lowest descriptor each: standard input,
// then whatever took its number, here the data server's listening socket.
void TestMqttPublisher::longTopic_serverKeepsAnsweringAndLogSaysWhy()
{
    if (::fcntl(0, F_GETFD) < 0)
        QVERIFY(::open("/dev/null", O_RDONLY) == 0);
    QTemporaryDir dir;
    IniSettingsStore store(dir.filePath("Orvotove.ini"));
    const QList<QPair<QString, QString>> group{
        {"Enabled", "True"}, {"Host", "127.0.0.1"}, {"Port", QString::number(unusedLoopbackPort())},
        {"Topic", QString(70000, 'a')}};
    for (const auto &[key, text] : group)
        store.setGroupValue("mqtt", key, text);
    QVERIFY(store.sync());
    ManualClock clock;
    FakeSerialPort port(&clock);
    RecordingStatusLines log;
    AcquisitionCore core(port, clock, store, Reporters{.statusLog = &log});
    core.prepare();
    core.startAutomaticActions();
    QTRY_VERIFY(core.mqtt().state() != MqttPublisher::State::Connecting);
    const quint16 serverPort = freeTcpPort();
    core.server().listenOn(serverPort);
    // Time for retries, were there any; the server listens until its first client.
    for (int retry = 0; retry < 4; ++retry) {
        clock.advance(MqttPublisher::kFirstRetryMs << retry);
        QTest::qWait(20);
    }
    QVERIFY(getAllAnswered(serverPort));
    QVERIFY(::fcntl(0, F_GETFD) >= 0);
    QCOMPARE(core.mqtt().state(), MqttPublisher::State::Off);
    QCOMPARE(core.mqtt().connectAttempts(), 0);
    QVERIFY2(log.lines.contains("MQTT: Topic is longer than 65535 bytes; publishing is off"),
             qPrintable(log.lines.join('\n')));
}

void TestMqttPublisher::caFileMissingOrUnreadable_named_data()
{
    QTest::addColumn<QString>("file"); // in a temporary folder
    QTest::addColumn<QString>("fault");
    QTest::newRow("missing") << "none.crt" << "CaFile \"%1\" does not exist";
    QTest::newRow("a folder") << "." << "CaFile \"%1\" cannot be read";
    QTest::newRow("no certificate") << "empty.crt" << "CaFile \"%1\" holds no certificate";
}

void TestMqttPublisher::caFileMissingOrUnreadable_named()
{
    QFETCH(QString, file);
    QFETCH(QString, fault);
    QTemporaryDir dir;
    QFile empty(dir.filePath("empty.crt"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    MosquittoBroker broker;
    REQUIRE_BROKER(broker);
    Rig rig(broker, QStringLiteral("cafile"));
    rig.settings.caFile = QDir::cleanPath(dir.filePath(file));
    rig.publisher.start(rig.settings);
    QTRY_COMPARE(rig.publisher.state(), MqttPublisher::State::Unreachable);
    const QString line = QStringLiteral("MQTT: Cannot reach the broker 127.0.0.1:%1: ").arg(broker.port())
                         + fault.arg(rig.settings.caFile);
    QCOMPARE(rig.log.lines.size(), 1);
    QVERIFY2(rig.log.lines.constFirst().startsWith(line), qPrintable(rig.log.lines.constFirst()));
}

QTEST_GUILESS_MAIN(TestMqttPublisher)
#include "tst_mqtt_publisher.moc"
