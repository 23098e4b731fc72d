#include "headless_chromium.h"

#include "http_client.h"
#include "process_fixtures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <unistd.h>

namespace {
constexpr char kChromium[] = "/usr/bin/chromium";
}

QString HeadlessChromium::missing()
{
    return QFile::exists(kChromium) ? QString()
                                    : QStringLiteral("/usr/bin/chromium is missing: install the Debian package chromium");
}

HeadlessChromium::HeadlessChromium(QSize viewport) : viewport_(viewport)
{
    QObject::connect(&socket_, &QWebSocket::textMessageReceived, &socket_, [this](const QString &text) {
        const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
        if (message.contains("id"))
            answers_.insert(message.value("id").toInt(), message);
    });
}

HeadlessChromium::~HeadlessChromium()
{
    socket_.abort();
    const pid_t group = pid_t(browser_.processId());
    if (browser_.state() != QProcess::NotRunning)
        stopProcess(browser_);
    // Its renderer and helper processes must not outlive the test (nor write into the profile
    // while it is removed); the profile is thrown away, so nothing of theirs needs an orderly end.
    if (group > 0 && ::kill(-group, SIGKILL) == 0
        && !QTest::qWaitFor([group] { return ::kill(-group, 0) != 0; }, 2000))
        qWarning("chromium's helper processes linger");
}

bool HeadlessChromium::open(const QUrl &url)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", profile_.path());
    browser_.setProcessEnvironment(environment);
    // Its own logging (D-Bus, GPU) says nothing about the page.
    browser_.setStandardOutputFile(QProcess::nullDevice());
    browser_.setStandardErrorFile(QProcess::nullDevice());
    browser_.setChildProcessModifier([] { ::setpgid(0, 0); });
    browser_.start(kChromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                               "--no-first-run", "--disable-background-networking",
                               "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                               "--remote-debugging-port=0", "--user-data-dir=" + profile_.filePath("profile"),
                               QStringLiteral("--window-size=%1,%2").arg(viewport_.width()).arg(viewport_.height()),
                               url.toString()});
    const QUrl page = pageSocketUrl();
    if (page.isEmpty())
        return false;
    socket_.open(page);
    if (!QTest::qWaitFor([this] { return socket_.state() == QAbstractSocket::ConnectedState; }, 10000)) {
        error_ = "no DevTools connection: " + socket_.errorString();
        return false;
    }
    // The same pixels whatever the window manager of a headless browser makes of --window-size.
    command("Emulation.setDeviceMetricsOverride",
            {{"width", viewport_.width()}, {"height", viewport_.height()}, {"deviceScaleFactor", 1},
             {"mobile", viewport_.width() < 600}});
    return error_.isEmpty();
}

// The browser writes the port it took into its profile, then lists its page there.
QUrl HeadlessChromium::pageSocketUrl()
{
    QFile portFile(profile_.filePath("profile/DevToolsActivePort"));
    QByteArray port;
    const bool ended = !QTest::qWaitFor([&] {
        if (portFile.open(QIODevice::ReadOnly)) {
            port = portFile.readLine().trimmed();
            portFile.close();
        }
        return !port.isEmpty();
    }, 15000);
    if (ended || port.isEmpty()) {
        error_ = QStringLiteral("chromium did not open its DevTools port");
        return {};
    }
    const HttpAnswer list = httpGet(QUrl("http://127.0.0.1:" + QString::fromLatin1(port) + "/json/list"));
    for (const QJsonValue &target : QJsonDocument::fromJson(list.body).array()) {
        if (target["type"].toString() == u"page")
            return QUrl(target["webSocketDebuggerUrl"].toString());
    }
    error_ = "chromium lists no page: " + QString::fromUtf8(list.body);
    return {};
}

QJsonObject HeadlessChromium::command(const QString &method, const QJsonObject &params)
{
    const int id = nextId_++;
    socket_.sendTextMessage(QString::fromUtf8(QJsonDocument(QJsonObject{
        {"id", id}, {"method", method}, {"params", params}}).toJson(QJsonDocument::Compact)));
    if (!QTest::qWaitFor([&] { return answers_.contains(id); }, 15000)) {
        error_ = method + " got no answer";
        return {};
    }
    const QJsonObject answer = answers_.take(id);
    if (answer.contains("error"))
        error_ = method + ": " + answer.value("error")["message"].toString();
    return answer.value("result").toObject();
}

QJsonValue HeadlessChromium::evaluate(const QString &expression)
{
    const QJsonObject result = command("Runtime.evaluate", {{"expression", expression},
                                                            {"returnByValue", true},
                                                            {"awaitPromise", true}});
    if (result.contains("exceptionDetails"))
        error_ = expression + ": " + result["exceptionDetails"]["exception"]["description"].toString();
    return result.value("result")["value"];
}

bool HeadlessChromium::waitFor(const QString &condition, int timeoutMs)
{
    return QTest::qWaitFor([&] { return evaluate(condition).toBool(); }, timeoutMs);
}

QByteArray HeadlessChromium::screenshot()
{
    const QJsonObject shot = command("Page.captureScreenshot", {{"format", "png"}});
    return QByteArray::fromBase64(shot.value("data").toString().toLatin1());
}

QSize pngSize(const QByteArray &png)
{
    if (!png.startsWith("\x89PNG\r\n\x1a\n") || png.size() < 24 || png.mid(12, 4) != "IHDR")
        return {};
    return QSize(int(qFromBigEndian<quint32>(png.constData() + 16)),
                 int(qFromBigEndian<quint32>(png.constData() + 20)));
}
