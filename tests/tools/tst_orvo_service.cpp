#include "manual_clock.h"
#include "monitor_service.h"
#include "post_request.h"

#include <QBuffer>
#include <QHttpServerRequest>
#include <QTcpSocket>
#include <QTest>

namespace {

const QDateTime kReceived(QDate(2024, 3, 7), QTime(9, 5, 4));

QByteArray programRequest(const QString &account = QStringLiteral("VexUser"))
{
    LiveReading reading;
    reading.watts1 = 1500;
    reading.volts = 121.7;
    return PostRequest::build(reading, {QStringLiteral("127.0.0.1:8080"), account}, 5, kReceived);
}

// The statuses of the answers in the text, "200 404".
QString statuses(const QByteArray &answers)
{
    QStringList codes;
    for (qsizetype at = answers.indexOf("HTTP/1.1 "); at >= 0; at = answers.indexOf("HTTP/1.1 ", at + 1))
        codes << QString::fromLatin1(answers.mid(at + 9, 3));
    return codes.join(u' ');
}

} // namespace

class TestOrvoService : public QObject {
    Q_OBJECT
private slots:
    void loopbackClient_getsAnswersAndPostsRecorded_data();
    void loopbackClient_getsAnswersAndPostsRecorded();
    void hostilePost_isEscapedOnPage();
    void manyPostsAndAccounts_keepOnlyRecent();
};

void TestOrvoService::loopbackClient_getsAnswersAndPostsRecorded_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("answers");
    QTest::addColumn<int>("posts");
    QTest::addColumn<QString>("closed"); // "": kept open; "at once"; "at the deadline"
    QTest::newRow("absolute form, kept alive") << programRequest() << "200" << 1 << "";
    QTest::newRow("origin form") << QByteArray("GET /Monitor/sendData.php?&ch1_power=7&username=a HTTP/1.1\r\n\r\n") << "200" << 1 << "";
    QTest::newRow("two pipelined") << programRequest() + programRequest() << "200 200" << 2 << "";
    QTest::newRow("pipelined post and page")
        << programRequest() + "GET /Monitor/monitor.php?user=VexUser HTTP/1.1\r\nHost: a\r\n\r\n" << "200 200" << 1 << "";
    QTest::newRow("bare LF lines") << QByteArray("GET / HTTP/1.1\nHost: a\n\n") << "200" << 0 << "";
    QTest::newRow("body read past") << QByteArray("GET / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcGET / HTTP/1.1\r\n\r\n") << "200 200" << 0 << "";
    QTest::newRow("HTTP/1.0") << QByteArray("GET /Monitor/sendData.php?&username=a HTTP/1.0\r\n\r\n") << "200" << 1 << "";
    QTest::newRow("connection close") << QByteArray("GET / HTTP/1.1\r\nConnection: close\r\n\r\n") << "200" << 0 << "at once";
    QTest::newRow("unknown path") << QByteArray("GET /x HTTP/1.1\r\n\r\n") << "404" << 0 << "";
    QTest::newRow("not a GET") << QByteArray("POST /Monitor/sendData.php HTTP/1.1\r\n\r\n") << "405" << 0 << "";
    QTest::newRow("garbage closes") << QByteArray("\x16\x03\x01 hello\r\n\r\n") << "" << 0 << "at once";
    QTest::newRow("blank in target closes") << QByteArray("GET /a b HTTP/1.1\r\n\r\n") << "" << 0 << "at once";
    QTest::newRow("oversized closes") << "GET / HTTP/1.1\r\nX: " + QByteArray(100000, 'a') << "" << 0 << "at the deadline";
}

void TestOrvoService::loopbackClient_getsAnswersAndPostsRecorded()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, answers);
    QFETCH(int, posts);
    QFETCH(QString, closed);
    for (const bool bytewise : {false, true}) {
        QBuffer log;
        log.open(QIODevice::WriteOnly);
        MonitorService service(&log, [] { return kReceived; });
        ManualClock clock;
        HttpService server(clock, MonitorService::limits());
        server.setFallback([&service](const QHttpServerRequest &request) { return service.handle(request); });
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));

        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(client.waitForConnected(5000));
        const qsizetype step = bytewise && bytes.size() < 1000 ? 1 : bytes.size();
        for (qsizetype at = 0; at < bytes.size() && client.state() == QAbstractSocket::ConnectedState; at += step) {
            client.write(bytes.mid(at, step));
            client.waitForBytesWritten(1000);
            QCoreApplication::processEvents();
        }
        QByteArray received;
        const auto answered = [&] { return statuses(received += client.readAll()); };
        if (!answers.isEmpty())
            QTRY_COMPARE(answered(), answers);
        if (closed == u"at the deadline") {
            QTest::qWait(100);
            QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
            clock.advance(MonitorService::limits().requestDeadlineMs);
        }
        if (!closed.isEmpty())
            QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(answered(), answers);
        QCOMPARE(log.data().count('\n'), posts);
        if (closed.isEmpty())
            QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
    }
}

void TestOrvoService::hostilePost_isEscapedOnPage()
{
    QBuffer log;
    log.open(QIODevice::WriteOnly);
    MonitorService service(&log, [] { return kReceived; });
    const QByteArray post = "&ch1_power=%3Cscript%3Ealert(1)%3C/script%3E"
                            "&username=%3Ci%3Eeve&%22%3E%3Cb%3E=%27%26amp;";
    QCOMPARE(service.handle(QStringLiteral("/Monitor/sendData.php"), post).status, 200);

    const QByteArray html = service.handle(QStringLiteral("/Monitor/monitor.php"), "user=%3Ci%3Eeve").body;
    QVERIFY(html.contains("<td>&lt;script&gt;alert(1)&lt;/script&gt;</td>"));
    QVERIFY(html.contains("<h1>Account &lt;i&gt;eve</h1>"));
    QVERIFY(html.contains("<th>&quot;&gt;&lt;b&gt;</th><td>&#39;&amp;amp;</td>"));
    QVERIFY(!html.contains("<script"));
    QVERIFY(!html.contains("<i>"));
    QVERIFY(!html.contains("<b>"));

    QVERIFY(service.handle(QStringLiteral("/"), QByteArray()).body.contains(
        "<a href=\"/Monitor/monitor.php?user=%3Ci%3Eeve\">&lt;i&gt;eve</a>"));
    QVERIFY(log.data().contains("\"ch1_power\":\"<script>alert(1)</script>\""));
}

void TestOrvoService::manyPostsAndAccounts_keepOnlyRecent()
{
    PostStore store(3, 2);
    for (int i = 1; i <= 5; ++i)
        store.add(QStringLiteral("a"), {kReceived, {{QStringLiteral("n"), QString::number(i)}}});
    QCOMPARE(store.posts(QStringLiteral("a")).size(), size_t(3));
    QCOMPARE(store.posts(QStringLiteral("a")).front().value(QStringLiteral("n")), QStringLiteral("3"));

    store.add(QStringLiteral("b"), {kReceived, {}});
    store.add(QStringLiteral("a"), {kReceived, {}});
    store.add(QStringLiteral("c"), {kReceived, {{QStringLiteral("v"), QString(1000, u'x')}}});
    QCOMPARE(store.accounts(), QStringList({QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(store.posts(QStringLiteral("c")).front().value(QStringLiteral("v")).size(),
             128);
}

QTEST_GUILESS_MAIN(TestOrvoService)
#include "tst_orvo_service.moc"
