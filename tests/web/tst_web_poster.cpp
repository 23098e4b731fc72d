// Posts on the wire: the request bytes a capture server on loopback receives, the connection
// a later post closes, and posts that cannot connect ending quietly.
#include "web_rig.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

// Posts once: a steady channel 1 load, then a step that settles.
void postOnce(WebRig &rig)
{
    rig.play("40/30 1000/30");
    rig.packet(rig.reading.watts1, rig.reading.watts2);
}

// What the server's next connection receives up to the empty line ending the request; the
// event loop runs meanwhile, so the poster connects and sends.
QByteArray captureRequest(QTcpServer &server, QTcpSocket **kept = nullptr)
{
    QTcpSocket *peer = nullptr;
    QByteArray got;
    (void)QTest::qWaitFor([&] {
        if (!peer && server.hasPendingConnections())
            peer = server.nextPendingConnection();
        if (peer)
            got += peer->readAll();
        return got.contains("\r\n\r\n");
    }, 5000);
    if (kept)
        *kept = peer;
    return got;
}

} // namespace

class TestWebPoster : public QObject {
    Q_OBJECT
private slots:
    void post_sendsExactRequestBytes_data();
    void post_sendsExactRequestBytes();
    void nextPost_closesThePreviousConnection();
    void unreachableHost_endsQuietly_data();
    void unreachableHost_endsQuietly();
    void postingDisabled_logsAndPushesWithoutConnecting();
};

void TestWebPoster::post_sendsExactRequestBytes_data()
{
    QTest::addColumn<double>("watts1");
    QTest::addColumn<double>("ws1Static");
    QTest::addColumn<double>("pf1");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QByteArray>("values"); // the query part that the row is about

    QTest::newRow("household") << 1500.0 << 44443800.0 << 0.9 << "home"
                               << QByteArray("&ch1_power=1500&ch2_power=30&ch1_kwh=12346");
    QTest::newRow("35000 W and more empty") << 35000.0 << 3600.0 << 0.5 << "home"
                                            << QByteArray("&ch1_power=&ch2_power=30&ch1_kwh=1&");
    QTest::newRow("0 Wh, 0 A and 0 VA empty") << 1500.0 << 0.0 << 0.0 << "home"
                                              << QByteArray("&ch1_kwh=&ch2_kwh=&ch1_amps=&ch2_amps=&ch1_extra=&ch2_extra=&");
    QTest::newRow("hostile account cannot add a line or a key")
        << 1500.0 << 0.0 << 0.9 << "a b&load=9#x\r\nX-Evil: 1"
        << QByteArray("&username=a%20b%26load=9%23x%0D%0AX-Evil:%201&load=5 HTTP/1.1\r\n");
}

void TestWebPoster::post_sendsExactRequestBytes()
{
    QFETCH(double, watts1);
    QFETCH(double, ws1Static);
    QFETCH(double, pf1);
    QFETCH(QString, account);
    QFETCH(QByteArray, values);
    QTcpServer service;
    QVERIFY(service.listen(QHostAddress::LocalHost));
    WebRig rig;
    rig.settings.writeEnable = true;
    rig.settings.loadData = 5;
    rig.settings.request = {QStringLiteral("127.0.0.1:%1").arg(service.serverPort()), account};
    QSignalSpy shown(&rig.poster, &WebPoster::requestSent);

    rig.play("40/30");
    rig.reading.ws1Static = ws1Static;
    rig.reading.pf1 = float(pf1);
    rig.play(QStringLiteral("%1/30").arg(watts1));
    rig.packet(watts1, 30);
    const QByteArray wire = captureRequest(service);

    const QByteArray expected =
        PostRequest::build(rig.reading, rig.settings.request, 5, rig.clock.now());
    QCOMPARE(wire, expected);
    QVERIFY2(wire.contains(values), wire.constData());
    QCOMPARE(wire.count("\r\n"), 6);
    QCOMPARE(wire.count('&'), 13);
    QVERIFY(wire.startsWith("GET http://127.0.0.1:" + QByteArray::number(service.serverPort())
                            + "/Monitor/sendData.php?&ch1_power="));
    QTRY_COMPARE(shown.size(), 1);
    QCOMPARE(shown.at(0).at(0).toByteArray(), expected);
}

void TestWebPoster::nextPost_closesThePreviousConnection()
{
    QTcpServer service;
    QVERIFY(service.listen(QHostAddress::LocalHost));
    WebRig rig;
    rig.settings.writeEnable = true;
    rig.settings.request.webHost = QStringLiteral("127.0.0.1:%1").arg(service.serverPort());
    postOnce(rig);
    QTcpSocket *first = nullptr;
    QVERIFY(!captureRequest(service, &first).isEmpty());
    QCOMPARE(first->state(), QAbstractSocket::ConnectedState);

    rig.poster.postNow(); // the load buttons' post: no run, no row
    QVERIFY(!captureRequest(service).isEmpty());
    QTRY_COMPARE(first->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(rig.poster.log().rowCount(), 1);
}

void TestWebPoster::unreachableHost_endsQuietly_data()
{
    QTest::addColumn<QString>("webHost");
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 freePort = closed.serverPort();
    closed.close();
    QTest::newRow("refused") << QStringLiteral("127.0.0.1:%1").arg(freePort);
    QTest::newRow("unresolvable name") << QStringLiteral("no-such-host.invalid");
    QTest::newRow("never answers") << QStringLiteral("10.255.255.1:81");
    QTest::newRow("no host at all") << QStringLiteral("bad host/");
}

void TestWebPoster::unreachableHost_endsQuietly()
{
    QFETCH(QString, webHost);
    WebRig rig;
    rig.settings.writeEnable = true;
    rig.settings.request.webHost = webHost;
    QSignalSpy shown(&rig.poster, &WebPoster::requestSent);
    postOnce(rig);
    rig.clock.advance(WebPoster::kConnectTimeoutMs);
    QTRY_VERIFY(!rig.poster.connecting());
    QCOMPARE(shown.size(), 0);
    QCOMPARE(rig.poster.log().rowCount(), 1); // the post is logged all the same
}

void TestWebPoster::postingDisabled_logsAndPushesWithoutConnecting()
{
    WebRig rig;
    QSignalSpy progress(&rig.poster, &WebPoster::progressChanged);
    postOnce(rig);
    QCOMPARE(rig.poster.log().rowCount(), 1);
    QCOMPARE(rig.pushes, 1);
    QVERIFY(!rig.poster.connecting());
    QCOMPARE(progress.size(), 0);
}

QTEST_GUILESS_MAIN(TestWebPoster)
#include "tst_web_poster.moc"
