#include "post_request.h"

#include <QLocale>
#include <QTest>

Q_DECLARE_METATYPE(LiveReading)

namespace {

// A household reading whose every value has a text: the base the rows below vary.
LiveReading householdReading()
{
    LiveReading reading;
    reading.volts = 121.7;
    reading.watts1 = 1500;
    reading.watts2 = 230;
    reading.ws1Static = 44443800; // 12345.5 Wh
    reading.ws2Static = 360000;   // 100 Wh
    reading.amps1 = 12.5f;
    reading.amps2 = 1.5f;
    reading.pf1 = 0.9f;
    reading.pf2 = 0.5f;
    return reading;
}

const QDateTime kPostTime(QDate(2024, 3, 7), QTime(9, 5, 3));

} // namespace

class TestPostRequest : public QObject {
    Q_OBJECT
private slots:
    void reading_givesExactQuery_data();
    void reading_givesExactQuery();
    void hostileAccount_cannotAddKeysOrLines_data();
    void hostileAccount_cannotAddKeysOrLines();
    void anyLocale_givesExactRequestBytes();
    void webHost_splitsOrIsRefused_data();
    void webHost_splitsOrIsRefused();
};

void TestPostRequest::reading_givesExactQuery_data()
{
    QTest::addColumn<LiveReading>("reading");
    QTest::addColumn<QByteArray>("values"); // the query from "&ch1_power=" to before "&date="

    LiveReading r = householdReading();
    QTest::newRow("household load, halves of amps to even, Wh half away")
        << r << QByteArray("&ch1_power=1500&ch2_power=230&ch1_kwh=12346&ch2_kwh=100"
                           "&ch1_amps=12&ch2_amps=2&ch1_extra=1666&ch2_extra=460");

    r = householdReading();
    r.watts1 = 35000;
    r.watts2 = 34999;
    QTest::newRow("35000 W and more empty, below sent")
        << r << QByteArray("&ch1_power=&ch2_power=34999&ch1_kwh=12346&ch2_kwh=100"
                           "&ch1_amps=12&ch2_amps=2&ch1_extra=38888&ch2_extra=69998");

    r = LiveReading();
    r.volts = 121.7;
    r.pf1 = 0.9f;
    r.pf2 = 0.9f;
    QTest::newRow("0 W is sent, 0 Wh, 0 A and 0 VA empty")
        << r << QByteArray("&ch1_power=0&ch2_power=0&ch1_kwh=&ch2_kwh="
                           "&ch1_amps=&ch2_amps=&ch1_extra=&ch2_extra=");

    r = householdReading();
    r.pf1 = 0;
    r.pf2 = 0;
    r.amps1 = 0.4f;
    r.amps2 = 2.5f;
    QTest::newRow("power factor 0 empty, amps rounding to 0 empty")
        << r << QByteArray("&ch1_power=1500&ch2_power=230&ch1_kwh=12346&ch2_kwh=100"
                           "&ch1_amps=&ch2_amps=2&ch1_extra=&ch2_extra=");

    r = householdReading();
    r.watts1 = -500;
    r.ws1Static = 1799;
    QTest::newRow("generated power keeps its sign, under half a Wh empty")
        << r << QByteArray("&ch1_power=-500&ch2_power=230&ch1_kwh=&ch2_kwh=100"
                           "&ch1_amps=12&ch2_amps=2&ch1_extra=-556&ch2_extra=460");
}

void TestPostRequest::reading_givesExactQuery()
{
    QFETCH(LiveReading, reading);
    QFETCH(QByteArray, values);
    const WebPostSettings settings{QStringLiteral("localhost"), QStringLiteral("VexUser")};
    QCOMPARE(PostRequest::query(reading, settings, 5, kPostTime),
             values + "&date=2024/03/07&time=09:05:03&voltage=121.7&username=VexUser&load=5");
}

void TestPostRequest::hostileAccount_cannotAddKeysOrLines_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("plain name byte for byte") << "Home_01-a.b~c" << QByteArray("Home_01-a.b~c");
    QTest::newRow("harmless punctuation kept") << "me@home:1/2=3!" << QByteArray("me@home:1/2=3!");
    QTest::newRow("blank") << "John Smith" << QByteArray("John%20Smith");
    QTest::newRow("ampersand adds no key") << "a&load=65535" << QByteArray("a%26load=65535");
    QTest::newRow("plus is not a blank") << "a+b" << QByteArray("a%2Bb");
    QTest::newRow("hash starts no fragment") << "a#b" << QByteArray("a%23b");
    QTest::newRow("percent") << "100%" << QByteArray("100%25");
    QTest::newRow("non-ASCII as UTF-8") << QString::fromUtf8("Zoë") << QByteArray("Zo%C3%AB");
    QTest::newRow("CR LF adds no header")
        << "x HTTP/1.1\r\nHost: evil\r\n" << QByteArray("x%20HTTP/1.1%0D%0AHost:%20evil%0D%0A");
    QTest::newRow("other controls") << QString("t\tu\x01v\x7f") << QByteArray("t%09u%01v%7F");
}

void TestPostRequest::hostileAccount_cannotAddKeysOrLines()
{
    QFETCH(QString, account);
    QFETCH(QByteArray, sent);
    const WebPostSettings settings{QStringLiteral("localhost"), account};
    const QByteArray request = PostRequest::build(householdReading(), settings, 0, kPostTime);

    QVERIFY(request.contains("&username=" + sent + "&load=0 HTTP/1.1\r\n"));
    QCOMPARE(request.count("\r\n"), 6);
    const QByteArray requestLine = request.left(request.indexOf("\r\n"));
    QCOMPARE(requestLine.count(' '), 2);
    QCOMPARE(requestLine.count('&'), 13);
    QVERIFY(!requestLine.contains('#'));
}

void TestPostRequest::anyLocale_givesExactRequestBytes()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const WebPostSettings settings{QStringLiteral("monitor.example:8080"), QStringLiteral("VexUser")};
    const QByteArray request = PostRequest::build(householdReading(), settings, 32769,
                                                  QDateTime(QDate(2025, 12, 31), QTime(23, 59, 58)));
    QLocale::setDefault(saved);

    QCOMPARE(request,
             QByteArray("GET http://monitor.example:8080/Monitor/sendData.php?"
                        "&ch1_power=1500&ch2_power=230&ch1_kwh=12346&ch2_kwh=100"
                        "&ch1_amps=12&ch2_amps=2&ch1_extra=1666&ch2_extra=460"
                        "&date=2025/12/31&time=23:59:58&voltage=121.7&username=VexUser&load=32769"
                        " HTTP/1.1\r\n"
                        "Host: monitor.example:8080\r\n"
                        "Content-Type: application/x-www-form-urlencoded\r\n"
                        "Content-Length: 0\r\n"
                        "Connection: Keep-Alive\r\n"
                        "\r\n"));
}

void TestPostRequest::webHost_splitsOrIsRefused_data()
{
    QTest::addColumn<QString>("webHost");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("port");
    QTest::newRow("name alone is port 80") << "localhost" << true << "localhost" << 80;
    QTest::newRow("name and port") << "monitor.example:8080" << true << "monitor.example" << 8080;
    QTest::newRow("bracketed IPv6") << "[::1]:8081" << true << "::1" << 8081;
    QTest::newRow("empty") << "" << false << "" << 0;
    QTest::newRow("port 0") << "host:0" << false << "" << 0;
    QTest::newRow("port too large") << "host:65536" << false << "" << 0;
    QTest::newRow("port with letters") << "host:80x" << false << "" << 0;
    QTest::newRow("empty port") << "host:" << false << "" << 0;
    QTest::newRow("blank") << "ho st" << false << "" << 0;
    QTest::newRow("CR LF") << "host\r\nX-Evil: 1" << false << "" << 0;
    QTest::newRow("path") << "host/x" << false << "" << 0;
    QTest::newRow("user info") << "user@host" << false << "" << 0;
}

void TestPostRequest::webHost_splitsOrIsRefused()
{
    QFETCH(QString, webHost);
    QFETCH(bool, usable);
    QFETCH(QString, name);
    QFETCH(int, port);
    const std::optional<WebHostAddress> address = PostRequest::parseWebHost(webHost);
    QCOMPARE(address.has_value(), usable);
    if (address) {
        QCOMPARE(address->name, name);
        QCOMPARE(int(address->port), port);
    }
}

QTEST_GUILESS_MAIN(TestPostRequest)
#include "tst_post_request.moc"
