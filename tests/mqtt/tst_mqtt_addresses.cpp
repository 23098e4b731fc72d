// A broker name with several addresses, as "localhost" with ::1 and 127.0.0.1 on a stock Debian:
// each is tried in turn, with and without TLS, before the attempt counts as failed; and the
// broker's certificate is checked against the configured name whatever address answered. The
// test broker listens on 127.0.0.1 only; a resolver of the test's gives the addresses, so that
// the tests do not depend on /etc/hosts.
#include "mqtt_dialer.h"
#include "process_fixtures.h"
#include "publisher_rig.h"

#include <QTimer>

#include <optional>

namespace {

// Answers every name with `addresses` (none: with `error`), later on the event loop as the
// system's resolver does; `answered` counts the answers given, once the publisher has taken
// each. Without `answers` it never answers.
MqttResolver resolving(const QStringList &addresses, int *answered, bool answers = true,
                       const QString &error = QStringLiteral("Host not found"))
{
    return [=](const QString &, QObject *context, MqttLookupDone done) {
        if (!answers)
            return;
        QTimer::singleShot(0, context, [=] {
            QList<QHostAddress> list;
            for (const QString &a : addresses)
                list.append(QHostAddress(a));
            done(list, list.isEmpty() ? error : QString());
            ++*answered;
        });
    };
}

const QString kSilent = QStringLiteral("127.0.0.2");

} // namespace

class TestMqttAddresses : public QObject {
    Q_OBJECT
private slots:
    void firstAddressFails_nextOneConnects_data();
    void firstAddressFails_nextOneConnects();
    void everyAddressFails_oneFailedAttemptWithEachReason_data();
    void everyAddressFails_oneFailedAttemptWithEachReason();
    void certificate_checkedAgainstTheConfiguredHost_data();
    void certificate_checkedAgainstTheConfiguredHost();
};

void TestMqttAddresses::firstAddressFails_nextOneConnects_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<bool>("tls");
    // ::1 refuses at once; the silent address leaves the connect in progress until its deadline.
    QTest::newRow("IPv6 refused") << "::1" << false;
    QTest::newRow("IPv6 refused, TLS") << "::1" << true;
    QTest::newRow("silent") << kSilent << false;
    QTest::newRow("silent, TLS") << kSilent << true;
}

void TestMqttAddresses::firstAddressFails_nextOneConnects()
{
    QFETCH(QString, first);
    QFETCH(bool, tls);
    MosquittoBroker broker(tls ? MosquittoBroker::Mode::Tls : MosquittoBroker::Mode::Anonymous);
    REQUIRE_BROKER(broker);
    std::optional<SilentListener> silent;
    if (first == kSilent) {
        silent.emplace(QHostAddress(kSilent), quint16(broker.port()));
        QVERIFY(silent->isSilent());
    }
    Rig rig(broker, QStringLiteral("turn"));
    rig.settings.host = QStringLiteral("localhost");
    if (tls)
        rig.settings.caFile = broker.caFile();
    int answered = 0;
    rig.publisher.setResolver(resolving({first, "127.0.0.1"}, &answered));
    rig.publisher.start(rig.settings);
    QTRY_COMPARE(answered, 1);
    if (silent) {
        QTest::qWait(100);
        QCOMPARE(rig.publisher.state(), MqttPublisher::State::Connecting);
        rig.clock.advance(MqttDialer::kAddressTimeoutMs);
    }
    QTRY_COMPARE(rig.publisher.state(), MqttPublisher::State::Connected);
    QCOMPARE(rig.publisher.connectAttempts(), 1);
    QCOMPARE(rig.log.lines, QStringList{"MQTT: Connected to broker localhost:" + QString::number(broker.port())});
}

void TestMqttAddresses::everyAddressFails_oneFailedAttemptWithEachReason_data()
{
    QTest::addColumn<QStringList>("addresses"); // a silent address comes first
    QTest::addColumn<bool>("answers");
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QString>("reason");
    QTest::newRow("each its own") << QStringList{kSilent, "::1", "127.0.0.1"} << true << false
                                  << "127.0.0.2: no answer in 5 s; ::1: Connection refused; 127.0.0.1: Connection refused";
    QTest::newRow("all alike") << QStringList{"::1", "127.0.0.1"} << true << false << "Connection refused";
    // The library's hello meets the refusal before the event loop sees the socket.
    QTest::newRow("all alike, TLS") << QStringList{"::1", "127.0.0.1"} << true << true << "Connection refused";
    QTest::newRow("name not found") << QStringList() << true << false
                                    << "cannot find the host broker.lan (Host not found)";
    QTest::newRow("no answer to the lookup") << QStringList() << false << false
                                             << "cannot find the host broker.lan (no answer in 15 s)";
}

void TestMqttAddresses::everyAddressFails_oneFailedAttemptWithEachReason()
{
    QFETCH(QStringList, addresses);
    QFETCH(bool, answers);
    QFETCH(bool, tls);
    QFETCH(QString, reason);
    const quint16 port = unusedLoopbackPort();
    std::optional<SilentListener> silent;
    if (addresses.value(0) == kSilent) {
        silent.emplace(QHostAddress(kSilent), port);
        QVERIFY(silent->isSilent());
    }
    ManualClock clock;
    RecordingStatusLines log;
    MqttPublisher publisher(clock, &log);
    int answered = 0;
    publisher.setResolver(resolving(addresses, &answered, answers));
    MqttSettings s;
    s.enabled = true;
    s.host = QStringLiteral("broker.lan");
    s.port = port;
    std::optional<MosquittoBroker> caMaker; // on another port: only its CA file is used
    if (tls) {
        caMaker.emplace(MosquittoBroker::Mode::Tls);
        REQUIRE_BROKER(*caMaker);
        s.caFile = caMaker->caFile();
    }
    publisher.start(s);
    if (!answers)
        clock.advance(MqttDialer::kLookupTimeoutMs);
    QTRY_COMPARE(answered, answers ? 1 : 0);
    if (silent)
        clock.advance(MqttDialer::kAddressTimeoutMs);
    QTRY_COMPARE(publisher.state(), MqttPublisher::State::Unreachable);
    QCOMPARE(publisher.connectAttempts(), 1);
    QCOMPARE(publisher.nextRetryMs(), 2 * MqttPublisher::kFirstRetryMs);
    QCOMPARE(log.lines, QStringList{QStringLiteral("MQTT: Cannot reach the broker broker.lan:%1: %2").arg(port).arg(reason)});
}

void TestMqttAddresses::certificate_checkedAgainstTheConfiguredHost_data()
{
    QTest::addColumn<QByteArray>("names"); // of the broker's certificate
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("refusal"); // empty: connects
    QTest::newRow("name, by name") << QByteArray("DNS:localhost") << "localhost" << "";
    QTest::newRow("another name with the address") << QByteArray("DNS:other.example,IP:127.0.0.1")
                                                   << "localhost" << "hostname mismatch";
    QTest::newRow("address, by address") << QByteArray("IP:127.0.0.1") << "127.0.0.1" << "";
    QTest::newRow("name only, by address") << QByteArray("DNS:localhost") << "127.0.0.1"
                                           << "IP address mismatch";
}

void TestMqttAddresses::certificate_checkedAgainstTheConfiguredHost()
{
    QFETCH(QByteArray, names);
    QFETCH(QString, host);
    QFETCH(QString, refusal);
    MosquittoBroker broker(MosquittoBroker::Mode::Tls, names);
    REQUIRE_BROKER(broker);
    Rig rig(broker, QStringLiteral("name"));
    rig.settings.host = host;
    rig.settings.caFile = broker.caFile();
    int answered = 0;
    rig.publisher.setResolver(resolving({"127.0.0.1"}, &answered));
    rig.publisher.start(rig.settings);
    if (refusal.isEmpty()) {
        QTRY_COMPARE(rig.publisher.state(), MqttPublisher::State::Connected);
        return;
    }
    QTRY_COMPARE(rig.publisher.state(), MqttPublisher::State::Unreachable);
    QCOMPARE(rig.log.lines, QStringList{QStringLiteral("MQTT: Cannot reach the broker %1:%2: the broker's certificate is refused (%3)")
                                            .arg(host).arg(broker.port()).arg(refusal)});
}

QTEST_GUILESS_MAIN(TestMqttAddresses)
#include "tst_mqtt_addresses.moc"
