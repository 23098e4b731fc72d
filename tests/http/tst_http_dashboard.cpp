// The dashboard's side of the API on loopback: /api/events as a browser's EventSource reads it
// (its head, each packet as it is decoded, the status on the clock, the token, the bound on
// streams, the end of streams with the listener), and a chart library that is not installed.
#include "http_api_rig.h"

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
    void stream_tokenByQuery_setsCookie();
    void streams_boundedAndForgotten();
    void stop_endsStreams();
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

void TestHttpDashboard::stream_tokenByQuery_setsCookie()
{
    // The filter's cookie goes out with the stream's head, which has no length.
    ApiRig rig(QString::fromUtf8(kToken));
    StreamClient client(rig.port);
    QVERIFY(client.waitFor("HTTP/1.1 401 "));
    QCOMPARE(rig.api.events().streams(), 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, rig.port);
    socket.write("GET /api/events?token=s3cr3t%2Fwith%2Bsigns HTTP/1.1\r\nHost: test\r\n\r\n");
    QByteArray seen;
    QVERIFY(QTest::qWaitFor([&] { return (seen += socket.readAll()).contains("event: hello"); }, 5000));
    QVERIFY(seen.contains("Set-Cookie: orvotove_token="));
    QCOMPARE(rig.api.events().streams(), 1);
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

void TestHttpDashboard::chartLibrary_missing_notFound()
{
    DashboardSite site(QStringLiteral("/nonexistent/chart.min.js"));
    const HttpReply reply = site.chartLibrary();
    QCOMPARE(reply.status, 404);
    QVERIFY(reply.body.contains("libjs-chart.js"));
}

QTEST_GUILESS_MAIN(TestHttpDashboard)
#include "tst_http_dashboard.moc"
