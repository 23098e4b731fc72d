// The HTTP API on loopback with Qt's own client: the [http] settings and what listens, the token
// on every route (compared whole), /api/live before and after a packet, /api/history over a
// record the test wrote, and /metrics as promtool reads it.
#include "history_csv.h"
#include "history_records.h"
#include "http_api_rig.h"
#include "http_client.h"
#include "metrics_text.h"
#include "process_fixtures.h"
#include "recorders.h"
#include "sql_history_store.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr char kPromtool[] = "/usr/bin/promtool";

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
    void history_jsonAndCsvOfTheRecordWithGaps();
    void history_badRangeIsOneLineReason_data();
    void history_badRangeIsOneLineReason();
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
    const QMap<QString, int> routes{{"/api/live", 200}, {"/metrics", 200}, {"/", 200}, {"/none", 404}, {"/api/history", 400}};
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

void TestHttpApi::history_jsonAndCsvOfTheRecordWithGaps()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("kitchen.history.sqlite");
    const QDate day(2026, 3, 7);
    QVERIFY(writeRecord(file, "kitchen",
                        {recordMinute(localSeconds(day, 9, 0), 30000),
                         recordMinute(localSeconds(day, 9, 1), 36000, 6000),
                         recordGap(localSeconds(day, 10, 0), localSeconds(day, 10, 30), 900000)}));
    ApiRig rig(QString::fromUtf8(kToken));
    const QList<QPair<QByteArray, QByteArray>> bearer{{"Authorization", "Bearer " + kToken}};
    const QString range = "/api/history?from=2026-03-07&to=2026-03-08&step=hour";
    const HttpAnswer off = rig.get(range, bearer);
    QCOMPARE(off.status, 503);
    QCOMPARE(off.body, QByteArray("The energy record is off\n"));

    SqlHistoryStore store(file, SqlHistoryStore::Access::ReadOnly);
    rig.api.setRecord(&store, "kitchen", Tariff());
    const HttpAnswer json = rig.get(range + "&token=" + QUrl::toPercentEncoding(QString::fromUtf8(kToken)));
    QCOMPARE(json.status, 200);
    QCOMPARE(json.headers.value("content-type"), QByteArray("application/json"));
    QVERIFY(json.headers.value("set-cookie").startsWith("orvotove_token=")); // the filter's, sent later
    const QJsonObject report = QJsonDocument::fromJson(json.body).object();
    QCOMPARE(report.value("step").toString(), QStringLiteral("hour"));
    const QJsonArray rows = report.value("rows").toArray();
    QCOMPARE(rows.size(), 24);
    const QJsonObject nine = rows[9].toObject();
    QCOMPARE(nine.value("start").toString(), HistoryCsv::localTime(localSeconds(day, 9, 0)));
    QCOMPARE(nine.value("ch1_ws").toInteger(), 66000);
    QCOMPARE(nine.value("ch1_generated_ws").toInteger(), 6000);
    QCOMPARE(nine.value("packets").toInt(), 120);
    QCOMPARE(nine.value("gap").toBool(), false);
    QCOMPARE(rows[10].toObject().value("gap").toBool(), true);
    QCOMPARE(rows[10].toObject().value("ch1_ws").toInteger(), 900000);
    QCOMPARE(rows[11].toObject().value("gap").toBool(), false);
    QVERIFY(!rows[11].toObject().contains("ch1_min_w")); // no packets, no extremes
    QCOMPARE(report.value("total").toObject().value("ch1_ws").toInteger(), 966000);

    const HttpAnswer csv = rig.get(range + "&format=csv", bearer);
    QCOMPARE(csv.status, 200);
    QCOMPARE(csv.headers.value("content-type"), QByteArray("text/csv; charset=utf-8"));
    const QStringList lines = QString::fromUtf8(csv.body).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 25);
    QCOMPARE(lines[0], HistoryCsv::header());
    const int gapColumn = int(HistoryCsv::header().split(u',').indexOf(QStringLiteral("gap")));
    QCOMPARE(lines[10].split(u',').mid(2, 5), QStringList({"66000", "0", "6000", "0", "0"}));
    QCOMPARE(lines[11].split(u',').at(gapColumn), QStringLiteral("1"));
}

void TestHttpApi::history_badRangeIsOneLineReason_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QByteArray>("reason");
    const QByteArray notDate = "\" is not a date YYYY-MM-DD, YYYY-MM or YYYY";
    QTest::newRow("no from") << "to=2026-03-08&step=hour" << "from \"" + notDate;
    QTest::newRow("no such day") << "from=2026-02-30&to=2026-03&step=day" << "from \"2026-02-30" + notDate;
    QTest::newRow("time in to") << "from=2026-03-07&to=2026-03-08T00:00&step=hour" << "to \"2026-03-08T00:00" + notDate;
    QTest::newRow("to not after from") << "from=2026-03&to=2026-03-01&step=day"
                                       << QByteArray("to must come after from (it is exclusive)");
    QTest::newRow("step") << "from=2026&to=2027&step=week" << QByteArray("step \"week\" is not minute, hour, day or month");
    QTest::newRow("format") << "from=2026&to=2027&step=month&format=xml" << QByteArray("format \"xml\" is not json or csv");
    QTest::newRow("a year of minutes") << "from=2026&to=2027&step=minute"
                                       << QByteArray("from 2026 to 2027 at step minute is more than 50000 rows; ask for less");
}

void TestHttpApi::history_badRangeIsOneLineReason()
{
    QFETCH(QString, query);
    QFETCH(QByteArray, reason);
    ApiRig rig;
    const HttpAnswer answer = rig.get("/api/history?" + query);
    QCOMPARE(answer.status, 400);
    QCOMPARE(answer.body, reason + '\n');
}

QTEST_GUILESS_MAIN(TestHttpApi)
#include "tst_http_api.moc"
