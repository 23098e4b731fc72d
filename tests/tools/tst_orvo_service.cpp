#include "http_request_reader.h"
#include "http_server.h"
#include "monitor_service.h"
#include "post_request.h"

#include <QBuffer>
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
    void requestBytes_readWholeOrBytewise_data();
    void requestBytes_readWholeOrBytewise();
    void loopbackClient_getsAnswersAndPostsRecorded_data();
    void loopbackClient_getsAnswersAndPostsRecorded();
    void hostilePost_isEscapedOnPage();
    void manyPostsAndAccounts_keepOnlyRecent();
};

void TestOrvoService::requestBytes_readWholeOrBytewise_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("end"); // HttpRequestReader::Result after the last request
    const int needMore = int(HttpRequestReader::Result::NeedMore);
    QTest::newRow("program's request") << programRequest() << 1 << needMore;
    QTest::newRow("two pipelined") << programRequest() + programRequest() << 2 << needMore;
    QTest::newRow("bare LF lines") << QByteArray("GET / HTTP/1.1\nHost: a\n\n") << 1 << needMore;
    QTest::newRow("body read past") << QByteArray("GET / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcGET / HTTP/1.0\r\n\r\n") << 2 << needMore;
    QTest::newRow("garbage") << QByteArray("HELLO THERE\r\n\r\n") << 0 << int(HttpRequestReader::Result::Malformed);
    QTest::newRow("blank in target") << QByteArray("GET /a b HTTP/1.1\r\n\r\n") << 0 << int(HttpRequestReader::Result::Malformed);
    QTest::newRow("control in header") << QByteArray("GET / HTTP/1.1\r\nX: a\x01\r\n\r\n") << 0 << int(HttpRequestReader::Result::Malformed);
    QTest::newRow("head too large") << "GET / HTTP/1.1\r\nX: " + QByteArray(9000, 'a') << 0 << int(HttpRequestReader::Result::TooLarge);
    QTest::newRow("chunked body") << QByteArray("GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n") << 0 << int(HttpRequestReader::Result::TooLarge);
    QTest::newRow("bad length") << QByteArray("GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n") << 0 << int(HttpRequestReader::Result::Malformed);
}

void TestOrvoService::requestBytes_readWholeOrBytewise()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, requests);
    QFETCH(int, end);
    for (bool bytewise : {false, true}) {
        HttpRequestReader reader;
        int ready = 0;
        HttpRequestReader::Result result = HttpRequestReader::Result::NeedMore;
        const qsizetype step = bytewise ? 1 : bytes.size();
        for (qsizetype at = 0; at < bytes.size(); at += step) {
            reader.append(bytes.mid(at, std::min(step, reader.room())));
            HttpRequest request;
            while ((result = reader.next(&request)) == HttpRequestReader::Result::Ready)
                ++ready;
            if (result != HttpRequestReader::Result::NeedMore)
                break;
        }
        QCOMPARE(ready, requests);
        QCOMPARE(int(result), end);
    }
}

void TestOrvoService::loopbackClient_getsAnswersAndPostsRecorded_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("answers");
    QTest::addColumn<int>("posts");
    QTest::addColumn<bool>("closed");
    QTest::newRow("absolute form, kept alive") << programRequest() << "200" << 1 << false;
    QTest::newRow("origin form") << QByteArray("GET /Monitor/sendData.php?&ch1_power=7&username=a HTTP/1.1\r\n\r\n") << "200" << 1 << false;
    QTest::newRow("pipelined post and page")
        << programRequest() + "GET /Monitor/monitor.php?user=VexUser HTTP/1.1\r\nHost: a\r\n\r\n" << "200 200" << 1 << false;
    QTest::newRow("HTTP/1.0 closes") << QByteArray("GET /Monitor/sendData.php?&username=a HTTP/1.0\r\n\r\n") << "200" << 1 << true;
    QTest::newRow("connection close") << QByteArray("GET / HTTP/1.1\r\nConnection: close\r\n\r\n") << "200" << 0 << true;
    QTest::newRow("unknown path") << QByteArray("GET /x HTTP/1.1\r\n\r\n") << "404" << 0 << false;
    QTest::newRow("not a GET") << QByteArray("POST /Monitor/sendData.php HTTP/1.1\r\n\r\n") << "405" << 0 << false;
    QTest::newRow("other target form") << QByteArray("GET * HTTP/1.1\r\n\r\n") << "400" << 0 << false;
    QTest::newRow("garbage closes") << QByteArray("\x16\x03\x01 hello\r\n\r\n") << "400" << 0 << true;
    QTest::newRow("oversized closes") << "GET / HTTP/1.1\r\nX: " + QByteArray(20000, 'a') << "413" << 0 << true;
}

void TestOrvoService::loopbackClient_getsAnswersAndPostsRecorded()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, answers);
    QFETCH(int, posts);
    QFETCH(bool, closed);
    QBuffer log;
    log.open(QIODevice::WriteOnly);
    MonitorService service(&log, [] { return kReceived; });
    HttpServer server([&service](const HttpRequest &request) { return service.handle(request); });
    QVERIFY(server.listen(0));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(client.waitForConnected(5000));
    client.write(bytes);
    QByteArray received;
    QTRY_VERIFY((received += client.readAll(), statuses(received) == answers));
    QCOMPARE(log.data().count('\n'), posts);
    if (closed)
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    else
        QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
}

void TestOrvoService::hostilePost_isEscapedOnPage()
{
    QBuffer log;
    log.open(QIODevice::WriteOnly);
    MonitorService service(&log, [] { return kReceived; });
    HttpRequest post;
    post.method = "GET";
    post.target = "/Monitor/sendData.php?&ch1_power=%3Cscript%3Ealert(1)%3C/script%3E"
                  "&username=%3Ci%3Eeve&%22%3E%3Cb%3E=%27%26amp;";
    QCOMPARE(service.handle(post).status, 200);

    HttpRequest page = post;
    page.target = "/Monitor/monitor.php?user=%3Ci%3Eeve";
    const QByteArray html = service.handle(page).body;
    QVERIFY(html.contains("<td>&lt;script&gt;alert(1)&lt;/script&gt;</td>"));
    QVERIFY(html.contains("<h1>Account &lt;i&gt;eve</h1>"));
    QVERIFY(html.contains("<th>&quot;&gt;&lt;b&gt;</th><td>&#39;&amp;amp;</td>"));
    QVERIFY(!html.contains("<script"));
    QVERIFY(!html.contains("<i>"));
    QVERIFY(!html.contains("<b>"));

    page.target = "/";
    QVERIFY(service.handle(page).body.contains(
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
