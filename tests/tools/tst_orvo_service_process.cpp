#include "monitor_service.h"
#include "post_request.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

namespace {

const char kChromium[] = "/usr/bin/chromium";

// The answer's head to one request on a fresh connection; empty when none came within 5 s.
QByteArray answerHead(quint16 port, const QByteArray &path)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(5000))
        return QByteArray();
    client.write("GET " + path + " HTTP/1.1\r\nHost: a\r\n\r\n");
    QByteArray answer;
    while (!answer.contains("\r\n\r\n") && client.waitForReadyRead(5000))
        answer += client.readAll();
    return answer;
}

} // namespace

// The built orvo-service taking the program's own request, and its page in a real browser.
class TestOrvoServiceProcess : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void programRequest_answered200AndLogged();
    void headlessBrowser_showsPostedValue();
    void slowClientsPastTheCap_realRequestStillAnswered();
    void cleanupTestCase();

private:
    QTemporaryDir dir_;
    QProcess service_;
    quint16 port_ = 0;
};

void TestOrvoServiceProcess::initTestCase()
{
    QVERIFY(dir_.isValid());
    service_.start(qEnvironmentVariable("ORVO_BIN_DIR") + "/orvo-service",
                   {"--port", "0", "--posts", dir_.filePath("posts.jsonl")});
    QVERIFY(service_.waitForStarted(10000));
    service_.setReadChannel(QProcess::StandardError);
    QByteArray banner;
    while (!banner.contains('\n') && service_.waitForReadyRead(10000))
        banner += service_.readAllStandardError();
    const QRegularExpressionMatch match =
        QRegularExpression("listening on http://127\\.0\\.0\\.1:(\\d+)/").match(QString::fromLatin1(banner));
    QVERIFY2(match.hasMatch(), banner.constData());
    port_ = quint16(match.captured(1).toUInt());
}

void TestOrvoServiceProcess::programRequest_answered200AndLogged()
{
    LiveReading reading;
    reading.watts1 = 1234;
    reading.watts2 = 36000;
    reading.volts = 121.7;
    const WebPostSettings settings{QStringLiteral("127.0.0.1:%1").arg(port_), QStringLiteral("Zoë & co")};
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port_);
    QVERIFY(client.waitForConnected(10000));
    client.write(PostRequest::build(reading, settings, 3, QDateTime(QDate(2024, 3, 7), QTime(9, 5, 3))));
    QByteArray answer;
    while (!answer.contains("\r\n\r\n") && client.waitForReadyRead(10000))
        answer += client.readAll();
    QVERIFY2(answer.startsWith("HTTP/1.1 200 OK\r\n"), answer.constData());

    QFile posts(dir_.filePath("posts.jsonl"));
    QVERIFY(posts.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = posts.readAll().split('\n');
    QCOMPARE(lines.size(), 2); // one line and its end
    const QJsonObject post = QJsonDocument::fromJson(lines.first()).object();
    QCOMPARE(post.value("ch1_power").toString(), QStringLiteral("1234"));
    QCOMPARE(post.value("ch2_power").toString(), QString());
    QCOMPARE(post.value("username").toString(), QStringLiteral("Zoë & co"));
    QCOMPARE(post.value("load").toString(), QStringLiteral("3"));
    QCOMPARE(post.value("date").toString(), QStringLiteral("2024/03/07"));
    QVERIFY(!post.value("received").toString().isEmpty());
}

void TestOrvoServiceProcess::headlessBrowser_showsPostedValue()
{
    if (!QFile::exists(kChromium))
        QFAIL("/usr/bin/chromium is missing: install the Debian package chromium");
    QTemporaryDir profile;
    QProcess browser;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", profile.path());
    browser.setProcessEnvironment(environment);
    browser.start(kChromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                              "--no-first-run", "--disable-background-networking",
                              "--disable-component-update", "--disable-sync",
                              "--user-data-dir=" + profile.filePath("chromium"), "--dump-dom",
                              QStringLiteral("http://127.0.0.1:%1/Monitor/monitor.php?user=Zo%C3%AB%20%26%20co").arg(port_)});
    QVERIFY(browser.waitForFinished(90000));
    const QByteArray dom = browser.readAllStandardOutput();
    QVERIFY2(dom.contains("<h1>Account Zoë &amp; co</h1>"), dom.left(2000).constData());
    QVERIFY(dom.contains("<td>1234</td>"));
    QVERIFY(dom.contains("<svg id=\"chart\""));
}

void TestOrvoServiceProcess::slowClientsPastTheCap_realRequestStillAnswered()
{
    // More connections than the service takes, each sending a byte every second after its
    // request line, as a client on a bad link (or one that means harm) does.
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < 40; ++i) {
        slow.push_back(std::make_unique<QTcpSocket>());
        slow.back()->connectToHost(QHostAddress::LocalHost, port_);
        QVERIFY(slow.back()->waitForConnected(5000));
        slow.back()->write("GET /Monitor/monitor.php?user=slow HTTP/1.1\r\n");
    }
    QTimer trickle;
    connect(&trickle, &QTimer::timeout, this, [&slow] {
        for (const auto &socket : slow)
            socket->write("X");
    });
    trickle.start(1000);
    QTest::qWait(1500);

    QElapsedTimer answered;
    answered.start();
    const QByteArray head = answerHead(port_, "/");
    QVERIFY2(head.startsWith("HTTP/1.1 200 "), head.constData());
    QVERIFY(answered.elapsed() < 2000);
    // However they trickle, none of them outlives the deadline for its request.
    const auto allClosed = [&slow] {
        return std::all_of(slow.begin(), slow.end(), [](const auto &socket) {
            return socket->state() == QAbstractSocket::UnconnectedState;
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(allClosed(), MonitorService::limits().requestDeadlineMs + 3000);
}

void TestOrvoServiceProcess::cleanupTestCase()
{
    service_.terminate();
    service_.waitForFinished(10000);
}

QTEST_GUILESS_MAIN(TestOrvoServiceProcess)
#include "tst_orvo_service_process.moc"
