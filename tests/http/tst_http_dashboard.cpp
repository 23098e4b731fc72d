// The dashboard's side of the API on loopback: /api/events as a browser's EventSource reads it
// (its head, each packet as it is decoded, the status on the clock, the token, the bound on
// streams, the end of streams with the listener) and the page's files.
#include "http_api_rig.h"

#include <QFile>
#include <QTcpSocket>
#include <QTest>

namespace {

// A raw client of the event stream: what it has read so far, head and events alike.
struct StreamClient {
    QTcpSocket socket;
    QByteArray seen;

    StreamClient(quint16 port, const QByteArray &headers = {})
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write("GET /api/events HTTP/1.1\r\nHost: test\r\nAccept: text/event-stream\r\n"
                     + headers + "\r\n");
    }
    // Waits while events run until what was read contains text, as often as asked.
    bool waitFor(const QByteArray &text, int times = 1)
    {
        return QTest::qWaitFor([&] {
            seen += socket.readAll();
            return seen.count(text) >= times;
        }, 5000);
    }
    bool waitClosed()
    {
        return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 5000);
    }
};

} // namespace

class TestHttpDashboard : public QObject {
    Q_OBJECT
private slots:
    void stream_followsPacketsAndClock();
    void stream_token_data();
    void stream_token();
    void streams_boundedAndForgotten();
    void stop_endsStreams();
    void files_servedWithTheirTypes_data();
    void files_servedWithTheirTypes();
    void chartLibrary_missing_notFound();
};

void TestHttpDashboard::stream_followsPacketsAndClock()
{
    ApiRig rig;
    StreamClient client(rig.port);
    QVERIFY(client.waitFor("event: hello\ndata: {\"stale_after_s\":3}\n\n"));
    QVERIFY(client.seen.startsWith("HTTP/1.1 200 "));
    QVERIFY(client.seen.contains("Content-Type: text/event-stream"));
    QVERIFY(!client.seen.contains("Content-Length"));
    QVERIFY(client.seen.contains("\r\n\r\nretry: 5000\n\n"));
    QVERIFY(!client.seen.contains("event: live"));

    // Every packet is an event of its own on the one open answer.
    rig.packet();
    QVERIFY(client.waitFor("event: live\ndata: {"));
    QVERIFY(client.seen.contains("\"power1\":1500"));
    rig.clock.advance(2500);
    rig.packet();
    QVERIFY(client.waitFor("event: live", 2));
    QVERIFY(client.seen.contains("\"age\":0"));

    rig.linkUp = false;
    rig.clock.advance(LiveEvents::kStatusIntervalMs - 2500); // the status runs from the first page on
    QVERIFY2(client.waitFor("event: status\ndata: {\"age\":2.5,\"link\":\"down\"}\n\n"), client.seen);

    // A page that comes later starts from the latest packet.
    StreamClient later(rig.port);
    QVERIFY(later.waitFor("event: live\ndata: {"));
    QCOMPARE(rig.api.events().streams(), 2);
}

void TestHttpDashboard::stream_token_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("none") << QByteArray() << QByteArray() << QByteArray("HTTP/1.1 401 ");
    QTest::newRow("wrong cookie") << QByteArray("Cookie: orvotove_token=s3cr3t\r\n") << QByteArray()
                                  << QByteArray("HTTP/1.1 401 ");
    QTest::newRow("cookie") << QByteArray("Cookie: orvotove_token=s3cr3t%2Fwith%2Bsigns\r\n")
                            << QByteArray() << QByteArray("event: hello");
    QTest::newRow("query sets the cookie") << QByteArray() << QByteArray("?token=s3cr3t%2Fwith%2Bsigns")
                                           << QByteArray("Set-Cookie: orvotove_token=");
}

void TestHttpDashboard::stream_token()
{
    QFETCH(QByteArray, headers);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, answer);
    ApiRig rig(QString::fromUtf8(kToken));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, rig.port);
    socket.write("GET /api/events" + path + " HTTP/1.1\r\nHost: test\r\n" + headers + "\r\n");
    QByteArray seen;
    QVERIFY2(QTest::qWaitFor([&] { return (seen += socket.readAll()).contains(answer); }, 5000), seen);
    QCOMPARE(rig.api.events().streams(), answer.startsWith("HTTP/1.1 401") ? 0 : 1);
    const QByteArray page = rig.get(QStringLiteral("/") + QString::fromLatin1(path), {}).body;
    QCOMPARE(page.contains("<html"), !answer.startsWith("HTTP/1.1 401") && !headers.contains("Cookie"));
}

void TestHttpDashboard::streams_boundedAndForgotten()
{
    ApiRig rig;
    std::vector<std::unique_ptr<StreamClient>> clients;
    for (int i = 0; i < LiveEvents::kMaxStreams; ++i) {
        clients.push_back(std::make_unique<StreamClient>(rig.port));
        QVERIFY(clients.back()->waitFor("event: hello"));
    }
    StreamClient refused(rig.port);
    QVERIFY(refused.waitFor("HTTP/1.1 503 "));
    QVERIFY(refused.seen.contains("Too many pages follow the stream"));

    // A page that went away leaves its place at the next event.
    clients.front()->socket.abort();
    QTRY_COMPARE((rig.packet(), rig.api.events().streams()), LiveEvents::kMaxStreams - 1);
    StreamClient next(rig.port);
    QVERIFY(next.waitFor("event: live"));
}

void TestHttpDashboard::stop_endsStreams()
{
    ApiRig rig;
    StreamClient client(rig.port);
    QVERIFY(client.waitFor("event: hello"));
    rig.api.stop();
    QVERIFY(client.waitClosed());
    QCOMPARE(rig.api.events().streams(), 0);
}

void TestHttpDashboard::files_servedWithTheirTypes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("contains");
    QTest::newRow("page") << "/" << QByteArray("text/html; charset=utf-8") << QByteArray("dashboard.js");
    QTest::newRow("style") << "/dashboard.css" << QByteArray("text/css; charset=utf-8") << QByteArray("prefers-color-scheme");
    QTest::newRow("script") << "/dashboard.js" << QByteArray("text/javascript; charset=utf-8") << QByteArray("EventSource");
    QTest::newRow("charts") << "/dashboard-charts.js" << QByteArray("text/javascript; charset=utf-8") << QByteArray("new Chart");
    QTest::newRow("chart library") << "/chart.js" << QByteArray("text/javascript; charset=utf-8") << QByteArray("Chart");
}

void TestHttpDashboard::files_servedWithTheirTypes()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, contains);
    if (path == u"/chart.js" && !QFile::exists(DashboardSite::defaultChartLibraryPath()))
        QFAIL("the chart library is missing: install the Debian package libjs-chart.js");
    ApiRig rig;
    const HttpAnswer answer = rig.get(path);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.headers.value("content-type"), type);
    QVERIFY(answer.body.contains(contains));
    // The page may run only its own scripts.
    QCOMPARE(answer.headers.value("content-security-policy").contains("default-src 'self'"), path == u"/");
}

void TestHttpDashboard::chartLibrary_missing_notFound()
{
    DashboardSite site(QStringLiteral("/nonexistent/chart.min.js"));
    const HttpReply reply = site.chartLibrary();
    QCOMPARE(reply.status, 404);
    QVERIFY(reply.body.contains("libjs-chart.js"));
}

QTEST_GUILESS_MAIN(TestHttpDashboard)
#include "tst_http_dashboard.moc"
