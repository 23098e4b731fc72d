// The HTTP API on loopback with Qt's own client: the [http] settings and what listens, the token
// on every route (compared whole), /api/live before and after a packet, and /metrics as
// promtool reads it.
#include "http_api.h"
#include "http_client.h"
#include "manual_clock.h"
#include "metrics_text.h"
#include "process_fixtures.h"
#include "recorders.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

namespace {

constexpr char kPromtool[] = "/usr/bin/promtool";
const QByteArray kToken = "s3cr3t/with+signs";

struct ApiRig {
    ManualClock clock;
    RecordingStatusLines log;
    bool linkUp = true;
    HttpApi api{clock, &log, HttpSources{.linkUp = [this] { return linkUp; },
                                         .mqttConnected = [] { return true; },
                                         .checksumErrors = [] { return quint64(3); },
                                         .suspectDropped = [] { return quint64(1); },
                                         .historyWriteFailures = {}}};
    quint16 port = unusedLoopbackPort();

    explicit ApiRig(const QString &token = QString(), const QString &host = QStringLiteral("127.0.0.1"))
    {
        api.apply({.enabled = true, .listen = QStringLiteral("%1:%2").arg(host).arg(port), .token = token});
    }
    HttpAnswer get(const QString &pathAndQuery, const QList<QPair<QByteArray, QByteArray>> &headers = {})
    {
        return httpGet(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(pathAndQuery)), headers);
    }
    void packet()
    {
        LiveReading r;
        r.watts1 = 1500;
        r.watts2 = 36;
        r.ws1Static = 7200000; // 2 kWh
        r.ws1PolarStatic = 3600000;
        r.volts = 121.7;
        r.amps1 = 12.5f;
        r.pf1 = 0.9f;
        r.seconds = 4242;
        api.packetDecoded(r);
    }
};

// promtool's verdict on an exposition: empty when it passes.
QString promtoolProblems(const QByteArray &exposition)
{
    if (!QFile::exists(kPromtool))
        return QStringLiteral("promtool is missing: install the Debian package prometheus");
    QProcess promtool;
    promtool.start(kPromtool, {"check", "metrics"});
    promtool.write(exposition);
    promtool.closeWriteChannel();
    if (!promtool.waitForFinished(30000))
        return QStringLiteral("promtool did not finish");
    const QString said = QString::fromUtf8(promtool.readAllStandardOutput() + promtool.readAllStandardError());
    return promtool.exitCode() == 0 && said.trimmed().isEmpty() ? QString() : said;
}

} // namespace

class TestHttpApi : public QObject {
    Q_OBJECT
private slots:
    void listenSetting_readOrRefused_data();
    void listenSetting_readOrRefused();
    void beyondLoopbackWithoutToken_notListeningAndLogged();
    void token_requiredOnEveryRoute_data();
    void token_requiredOnEveryRoute();
    void tokenInQuery_setsCookieThatPasses();
    void live_unavailableUntilFirstPacketThenStateKeys();
    void metrics_passPromtoolBeforeAndAfterPacket();
};

void TestHttpApi::listenSetting_readOrRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::newRow("default") << "127.0.0.1:8088" << "127.0.0.1" << 8088;
    QTest::newRow("every IPv4 interface") << "0.0.0.0:8088" << "0.0.0.0" << 8088;
    QTest::newRow("every interface") << "[::]:9000" << "::" << 9000;
    QTest::newRow("localhost") << "localhost:80" << "127.0.0.1" << 80;
    QTest::newRow("port 0") << "127.0.0.1:0" << "" << 0;
    QTest::newRow("signed port") << "127.0.0.1:+80" << "" << 0;
    QTest::newRow("IPv6 without brackets") << "::1:8088" << "" << 0;
    QTest::newRow("a name") << "example.org:8088" << "" << 0;
}

void TestHttpApi::listenSetting_readOrRefused()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, port);
    const std::optional<HttpEndpoint> endpoint = parseHttpListen(text);
    QCOMPARE(endpoint.has_value(), !address.isEmpty());
    if (!endpoint)
        return;
    // "::" listens on IPv4 as well: Qt's dual-stack "any".
    const QHostAddress expected = address == u"::" ? QHostAddress(QHostAddress::Any) : QHostAddress(address);
    QCOMPARE(endpoint->address, expected);
    QCOMPARE(int(endpoint->port), port);
}

void TestHttpApi::beyondLoopbackWithoutToken_notListeningAndLogged()
{
    ApiRig rig(QString(), QStringLiteral("0.0.0.0"));
    QVERIFY(!rig.api.isListening());
    QCOMPARE(rig.log.lines, QStringList{QStringLiteral(
        "HTTP: Listen 0.0.0.0:%1 reaches beyond this computer and needs a Token; the HTTP API is off.")
                                            .arg(rig.port)});
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, rig.port);
    QVERIFY(!probe.waitForConnected(2000));

    rig.api.apply({.enabled = true, .listen = QStringLiteral("0.0.0.0:%1").arg(rig.port), .token = "t"});
    QVERIFY(rig.api.isListening());
    QCOMPARE(rig.log.lines.last(), QStringLiteral("HTTP API on %1 (token required)").arg(rig.api.address()));
    rig.api.apply({.enabled = true, .listen = QStringLiteral("nowhere"), .token = "t"});
    QVERIFY(!rig.api.isListening());
    QCOMPARE(rig.log.lines.last(), QStringLiteral("HTTP: Listen \"nowhere\" is not an address and port "
                                                  "such as 127.0.0.1:8088; the HTTP API is off."));
}

void TestHttpApi::token_requiredOnEveryRoute_data()
{
    QTest::addColumn<QByteArray>("authorization");
    QTest::addColumn<bool>("passes");
    QTest::newRow("none") << QByteArray() << false;
    QTest::newRow("bearer") << "Bearer " + kToken << true;
    QTest::newRow("wrong token") << QByteArray("Bearer s3cr3t") << false;
    QTest::newRow("token and more") << "Bearer " + kToken + "x" << false;
    QTest::newRow("basic scheme") << "Basic " + kToken << false;
    QTest::newRow("cookie in the wrong header") << "orvotove_token=" + kToken << false;
}

void TestHttpApi::token_requiredOnEveryRoute()
{
    QFETCH(QByteArray, authorization);
    QFETCH(bool, passes);
    ApiRig rig(QString::fromUtf8(kToken));
    rig.packet();
    const QList<QPair<QByteArray, QByteArray>> headers =
        authorization.isEmpty() ? QList<QPair<QByteArray, QByteArray>>{}
                                : QList<QPair<QByteArray, QByteArray>>{{"Authorization", authorization}};
    const QMap<QString, int> routes{{"/api/live", 200}, {"/metrics", 200}, {"/", 404}, {"/api/history", 404}};
    for (auto route = routes.begin(); route != routes.end(); ++route) {
        const HttpAnswer answer = rig.get(route.key(), headers);
        QCOMPARE(answer.status, passes ? route.value() : 401);
        if (!passes) {
            QCOMPARE(answer.body, QByteArray("Unauthorized\n"));
            QVERIFY(!answer.headers.contains("set-cookie"));
        }
    }
}

void TestHttpApi::tokenInQuery_setsCookieThatPasses()
{
    ApiRig rig(QString::fromUtf8(kToken));
    QCOMPARE(rig.get("/metrics?token=wrong").status, 401);
    const HttpAnswer first = rig.get("/metrics?token=" + QUrl::toPercentEncoding(QString::fromUtf8(kToken)));
    QCOMPARE(first.status, 200);
    const QByteArray cookie = first.headers.value("set-cookie");
    QVERIFY2(cookie.contains("; HttpOnly") && cookie.contains("; SameSite=Strict"), cookie.constData());
    const QByteArray pair = cookie.left(cookie.indexOf(';'));
    QCOMPARE(rig.get("/api/live", {{"Cookie", "theme=dark; " + pair}}).status, 503);
    QCOMPARE(rig.get("/api/live", {{"Cookie", "orvotove_token=s3cr3t"}}).status, 401);
}

void TestHttpApi::live_unavailableUntilFirstPacketThenStateKeys()
{
    ApiRig rig;
    QCOMPARE(rig.get("/api/live").status, 503);
    rig.packet();
    rig.clock.advance(2500);
    rig.linkUp = false;
    const HttpAnswer answer = rig.get("/api/live");
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.headers.value("content-type"), QByteArray("application/json"));
    const QJsonObject live = QJsonDocument::fromJson(answer.body).object();
    const QStringList keys{"age", "current1", "current2", "energy1", "energy1_polar", "energy2",
                           "energy2_polar", "link", "pf1", "pf2", "power1", "power2", "seconds",
                           "time", "voltage"};
    QCOMPARE(live.keys(), keys);
    QCOMPARE(live.value("energy1").toDouble(), 2.0);
    QCOMPARE(live.value("power1").toDouble(), 1500.0);
    QCOMPARE(live.value("age").toDouble(), 2.5);
    QCOMPARE(live.value("link").toString(), QStringLiteral("down"));
    QCOMPARE(rig.get("/api/live", {{"Connection", "close"}}).status, 200);
}

void TestHttpApi::metrics_passPromtoolBeforeAndAfterPacket()
{
    ApiRig rig;
    const HttpAnswer before = rig.get("/metrics");
    QCOMPARE(before.headers.value("content-type"), QByteArray(kMetricsContentType));
    QVERIFY(!before.body.contains("orvotove_power_watts"));
    QVERIFY(before.body.contains("\norvotove_packets_decoded_total 0\n"));
    QString problems = promtoolProblems(before.body);
    QVERIFY2(problems.isEmpty(), qPrintable(problems));

    rig.packet();
    const QByteArray after = rig.get("/metrics").body;
    problems = promtoolProblems(after);
    QVERIFY2(problems.isEmpty(), qPrintable(problems + after));
    for (const char *line : {"orvotove_power_watts{channel=\"1\"} 1500",
                             "orvotove_energy_joules_total{channel=\"1\",direction=\"consumed\"} 3600000",
                             "orvotove_energy_joules_total{channel=\"1\",direction=\"generated\"} 3600000",
                             "orvotove_voltage_volts 121.7", "orvotove_current_amperes{channel=\"1\"} 12.5",
                             "orvotove_power_factor{channel=\"1\"} 0.9", "orvotove_packets_decoded_total 1",
                             "orvotove_checksum_errors_total 3", "orvotove_suspect_packets_dropped_total 1",
                             "orvotove_link_up 1", "orvotove_mqtt_connected 1"})
        QVERIFY2(after.contains(QByteArray("\n") + line + '\n'), line);
    QVERIFY(!after.contains("history")); // no record yet: no figure for it
}

QTEST_GUILESS_MAIN(TestHttpApi)
#include "tst_http_api.moc"
