// orvotoved streaming from orvo-sim with the HTTP API on: /api/live carries the latest packet,
// /api/history answers from the program's own record (and /metrics counts its failed writes),
// and a real Prometheus server, started here on loopback with the token in its scrape
// configuration, stores the energy that the program decoded.
#include "http_client.h"
#include "process_fixtures.h"
#include "sim_process.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kComPort = 13;
constexpr char kPrometheus[] = "/usr/bin/prometheus";
constexpr char kToken[] = "scrape-token-1";
const QList<QPair<QByteArray, QByteArray>> kBearer{{"Authorization", QByteArray("Bearer ") + kToken}};

QJsonObject jsonOf(const HttpAnswer &answer)
{
    return QJsonDocument::fromJson(answer.body).object();
}

} // namespace

class TestHttpOverSim : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void live_carriesTheStreamingPackets();
    void history_fromTheProgramsRecord();
    void prometheus_storesTheDecodedEnergy();
    void cleanupTestCase();

private:
    QUrl api(const QString &path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(httpPort_).arg(path)); }
    // Consumed energy of channel 1 now, in joules, from /api/live.
    double consumedJoules();

    SimProcess sim_;
    QTemporaryDir dir_;
    QProcess daemon_;
    quint16 httpPort_ = unusedLoopbackPort();
};

void TestHttpOverSim::initTestCase()
{
    QVERIFY(sim_.start({"--port", QString::number(kComPort), "--seed", "3", "--period-ms", "250", "--quiet"}));
    const QString settings = dir_.filePath("monitor.ini");
    {
        QSettings ini(settings, QSettings::IniFormat);
        ini.setValue("startup/ZigbeeVersion", "8");
        ini.setValue("startup/ComPort", QString::number(kComPort));
        ini.setValue("startup/StartupComIsOn", "True");
        ini.setValue("startup/StartupRTLisOn", "True");
        ini.setValue("startup/TCPport", QString::number(freeTcpPort())); // not the shared 1234
        ini.setValue("http/Enabled", "True");
        ini.setValue("http/Listen", QStringLiteral("127.0.0.1:%1").arg(httpPort_));
        ini.setValue("http/Token", kToken);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", sim_.dataHome());
    daemon_.setProcessEnvironment(env);
    daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon_.start(SimProcess::binDir() + "/orvotoved", {"--settings", settings});
    QVERIFY(daemon_.waitForStarted(10000));
    QTRY_COMPARE_WITH_TIMEOUT(httpGet(api("/api/live"), kBearer).status, 200, 30000);
}

double TestHttpOverSim::consumedJoules()
{
    const QJsonObject live = jsonOf(httpGet(api("/api/live"), kBearer));
    return (live.value("energy1").toDouble() - live.value("energy1_polar").toDouble()) * 3600000.0;
}

void TestHttpOverSim::live_carriesTheStreamingPackets()
{
    QCOMPARE(httpGet(api("/api/live")).status, 401);
    const QJsonObject first = jsonOf(httpGet(api("/api/live"), kBearer));
    QCOMPARE(first.value("link").toString(), QStringLiteral("up"));
    QVERIFY2(first.value("age").toDouble() < 3.0, qPrintable(QString::number(first.value("age").toDouble())));
    QVERIFY(first.value("voltage").toDouble() > 100);
    // The stream moves on: a later answer holds a later packet.
    QTRY_VERIFY_WITH_TIMEOUT(jsonOf(httpGet(api("/api/live"), kBearer)).value("seconds").toInt()
                                 > first.value("seconds").toInt(),
                             10000);
}

void TestHttpOverSim::history_fromTheProgramsRecord()
{
    const QDate today = QDate::currentDate();
    const QString range = QStringLiteral("/api/history?from=%1&to=%2&step=hour")
                              .arg(today.toString(Qt::ISODate), today.addDays(1).toString(Qt::ISODate));
    QCOMPARE(httpGet(api(range)).status, 401);
    const HttpAnswer json = httpGet(api(range), kBearer);
    QCOMPARE(json.status, 200);
    const qsizetype hours = jsonOf(json).value("rows").toArray().size();
    QVERIFY2(hours >= 23 && hours <= 25, qPrintable(QString::number(hours)));
    const HttpAnswer csv = httpGet(api(range + "&format=csv"), kBearer);
    QVERIFY(csv.body.startsWith("start,end,ch1_ws,"));
    const HttpAnswer bad = httpGet(api("/api/history?from=today&to=2030&step=hour"), kBearer);
    QCOMPARE(bad.status, 400);
    QCOMPARE(bad.body, QByteArray("from \"today\" is not a date YYYY-MM-DD, YYYY-MM or YYYY\n"));
    QVERIFY(httpGet(api("/metrics"), kBearer).body.contains("\norvotove_history_write_failures_total 0\n"));
}

void TestHttpOverSim::prometheus_storesTheDecodedEnergy()
{
    QVERIFY2(QFile::exists(kPrometheus), "prometheus is missing: install the Debian package prometheus");
    QTemporaryDir storage;
    const quint16 promPort = unusedLoopbackPort();
    QFile config(storage.filePath("prometheus.yml"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("global:\n  scrape_interval: 1s\n"
                                "scrape_configs:\n  - job_name: orvotove\n"
                                "    authorization:\n      credentials: %1\n"
                                "    static_configs:\n      - targets: ['127.0.0.1:%2']\n")
                     .arg(QLatin1String(kToken))
                     .arg(httpPort_)
                     .toUtf8());
    config.close();
    const double before = consumedJoules();
    QProcess prometheus;
    prometheus.setProcessChannelMode(QProcess::MergedChannels);
    prometheus.start(kPrometheus, {"--config.file=" + config.fileName(),
                                   "--storage.tsdb.path=" + storage.filePath("data"),
                                   QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(promPort),
                                   "--log.level=warn"});
    QVERIFY(prometheus.waitForStarted(10000));

    const QUrl query(QStringLiteral("http://127.0.0.1:%1/api/v1/query?query=orvotove_energy_joules_total"
                                    "%7Bchannel%3D%221%22%2Cdirection%3D%22consumed%22%7D").arg(promPort));
    QJsonArray result;
    const bool stored = QTest::qWaitFor([&] {
        result = jsonOf(httpGet(query)).value("data").toObject().value("result").toArray();
        return !result.isEmpty();
    }, 60000);
    const double after = consumedJoules();
    const QByteArray said = prometheus.readAll();
    stopProcess(prometheus);
    QVERIFY2(stored, said.constData());
    // The stored value is one the program served between the two readings of /api/live.
    const double scraped = result.first().toObject().value("value").toArray().at(1).toString().toDouble();
    QVERIFY2(scraped > 0 && scraped >= before - 1 && scraped <= after + 1,
             qPrintable(QStringLiteral("%1 <= %2 <= %3").arg(before).arg(scraped).arg(after)));
}

void TestHttpOverSim::cleanupTestCase()
{
    stopProcess(daemon_, 10000);
    sim_.stop();
}

QTEST_GUILESS_MAIN(TestHttpOverSim)
#include "tst_http_over_sim.moc"
