// The bounded HTTP server on real loopback sockets, its deadlines on a manual clock: slow and
// idle clients and a megabyte header are closed at the deadline and not before, connections past
// the cap take the place of the longest waiting one, and through it all a real request is
// answered. An answer that comes later holds off the deadline and is dropped for a client gone.
#include "http_service.h"
#include "manual_clock.h"

#include <QHttpServerRequest>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

namespace {

constexpr HttpLimits kLimits{.maxConnections = 8, .requestDeadlineMs = 5000,
                             .maxRequestBytes = 16 * 1024, .maxUnsentBytes = 1024 * 1024};

struct ListenerRig {
    ManualClock clock;
    HttpService server{clock, kLimits};

    ListenerRig()
    {
        server.addRoute(QStringLiteral("/ok"), [](const QHttpServerRequest &) {
            return HttpReply::text(200, "fine");
        });
        server.listen(QHostAddress::LocalHost, 0);
    }
    std::unique_ptr<QTcpSocket> connect(const QByteArray &first = QByteArray())
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, server.port());
        socket->waitForConnected(5000);
        socket->write(first);
        socket->flush();
        return socket;
    }
    int open() const { return server.listener()->openConnections(); }
};

bool closed(QTcpSocket &socket)
{
    return socket.state() == QAbstractSocket::UnconnectedState;
}

// Whether a fresh connection gets the route's answer.
bool answersRealRequest(ListenerRig &rig)
{
    auto client = rig.connect("GET /ok HTTP/1.1\r\nHost: a\r\n\r\n");
    QByteArray answer;
    const bool whole = QTest::qWaitFor([&] { return (answer += client->readAll()).endsWith("fine\n"); }, 5000);
    return whole && answer.startsWith("HTTP/1.1 200 ");
}

} // namespace

class TestHttpListener : public QObject {
    Q_OBJECT
private slots:
    void slowClient_closedAtDeadlineOnly_data();
    void slowClient_closedAtDeadlineOnly();
    void keptAliveClient_deadlineRestartsWithEachRequest();
    void moreConnectionsThanCap_boundedAndAnswering();
    void pathWithDots_notFoundAndAnswering_data();
    void pathWithDots_notFoundAndAnswering();
    void laterAnswer_noDeadlineWhileWaitingAndDroppedWhenClientGone();
};

void TestHttpListener::slowClient_closedAtDeadlineOnly_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<int>("trickleEveryMs"); // 0: nothing more is sent
    QTest::newRow("silent") << QByteArray() << 0;
    QTest::newRow("request line only") << QByteArray("GET /ok HTTP/1.1\r\n") << 0;
    QTest::newRow("a byte a second") << QByteArray("GET /ok HTTP/1.1\r\nX-Slow: ") << 1000;
    QTest::newRow("a byte every 3 s") << QByteArray("GET /ok HTTP/1.1\r\nX-Slow: ") << 3000;
    QTest::newRow("idle after an answer") << QByteArray("GET /ok HTTP/1.1\r\n\r\n") << 0;
    QTest::newRow("megabyte header") << "GET /ok HTTP/1.1\r\nX-Big: " + QByteArray(1 << 20, 'a') << 0;
}

void TestHttpListener::slowClient_closedAtDeadlineOnly()
{
    QFETCH(QByteArray, first);
    QFETCH(int, trickleEveryMs);
    ListenerRig rig;
    auto slow = rig.connect(first);
    QTRY_COMPARE(rig.open(), 1);
    QTest::qWait(50); // what was sent has been read
    for (int elapsed = 0; elapsed < kLimits.requestDeadlineMs - 100; elapsed += 100) {
        rig.clock.advance(100);
        if (trickleEveryMs && elapsed % trickleEveryMs == 0) {
            slow->write("x");
            slow->flush();
            QTest::qWait(5);
        }
    }
    QTest::qWait(50);
    QVERIFY(!closed(*slow));
    rig.clock.advance(100);
    QTRY_VERIFY(closed(*slow));
    QCOMPARE(rig.server.listener()->expiredCount(), quint64(1));
    QVERIFY(answersRealRequest(rig));
}

void TestHttpListener::keptAliveClient_deadlineRestartsWithEachRequest()
{
    ListenerRig rig;
    auto client = rig.connect();
    QByteArray answers;
    for (int request = 1; request <= 2; ++request) {
        client->write("GET /ok HTTP/1.1\r\nHost: a\r\n\r\n");
        QTRY_COMPARE((answers += client->readAll()).count("fine\n"), request);
        rig.clock.advance(3000);
    }
    rig.clock.advance(kLimits.requestDeadlineMs - 3000 - 100);
    QTest::qWait(50);
    QVERIFY(!closed(*client));
    rig.clock.advance(100);
    QTRY_VERIFY(closed(*client));
}

void TestHttpListener::moreConnectionsThanCap_boundedAndAnswering()
{
    ListenerRig rig;
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 3 * kLimits.maxConnections; ++i) {
        idle.push_back(rig.connect("GET /ok HTTP/1.1\r\n"));
        QTRY_VERIFY(rig.server.listener()->evictedCount() + rig.open() == quint64(i + 1));
        QVERIFY(rig.open() <= kLimits.maxConnections);
    }
    QVERIFY(answersRealRequest(rig));
    QVERIFY(rig.open() <= kLimits.maxConnections);
    // The newest idle ones kept their places; the oldest gave them up.
    QVERIFY(closed(*idle.front()));
    QVERIFY(!closed(*idle.back()));
}

void TestHttpListener::pathWithDots_notFoundAndAnswering_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("dots") << QByteArray("/../../etc/passwd");
    QTest::newRow("encoded dots") << QByteArray("/%2e%2e/%2e%2e/etc/passwd");
    QTest::newRow("encoded slash") << QByteArray("/..%2f..%2fetc%2fpasswd");
}

void TestHttpListener::pathWithDots_notFoundAndAnswering()
{
    QFETCH(QByteArray, path);
    ListenerRig rig;
    auto client = rig.connect("GET " + path + " HTTP/1.1\r\nHost: a\r\n\r\n");
    QByteArray answer;
    QTRY_VERIFY((answer += client->readAll()).contains("\r\n\r\n"));
    QVERIFY2(answer.startsWith("HTTP/1.1 404 "), answer.constData());
    QVERIFY(!answer.contains("root:"));
    QVERIFY(answersRealRequest(rig));
}

void TestHttpListener::laterAnswer_noDeadlineWhileWaitingAndDroppedWhenClientGone()
{
    ListenerRig rig;
    QList<HttpResponder> held;
    rig.server.addDeferredRoute(QStringLiteral("/later"), [&held](const QHttpServerRequest &, HttpResponder r) {
        held.append(r);
    });
    auto client = rig.connect("GET /later HTTP/1.1\r\nHost: a\r\n\r\n");
    QTRY_COMPARE(held.size(), 1);
    rig.clock.advance(3 * kLimits.requestDeadlineMs);
    QTest::qWait(50);
    QVERIFY(!closed(*client));
    held[0].send(HttpReply::text(200, "late"));
    held[0].send(HttpReply::text(500, "twice"));
    QByteArray answer;
    QTRY_VERIFY((answer += client->readAll()).endsWith("late\n"));
    QVERIFY(answer.startsWith("HTTP/1.1 200 "));
    rig.clock.advance(kLimits.requestDeadlineMs); // the next request has its deadline again
    QTRY_VERIFY(closed(*client));

    auto gone = rig.connect("GET /later HTTP/1.1\r\nHost: a\r\n\r\n");
    QTRY_COMPARE(held.size(), 2);
    QVERIFY(held[1].pending());
    gone->abort();
    QTRY_VERIFY(!held[1].pending());
    held[1].send(HttpReply::text(200, "late"));
    QVERIFY(answersRealRequest(rig));
}

QTEST_GUILESS_MAIN(TestHttpListener)
#include "tst_http_listener.moc"
