#include "http_api.h"

#include "http_logging.h"
#include "metrics_text.h"
#include "status_lines.h"

#include <QHttpServerRequest>

namespace {

template <typename T>
T ask(const std::function<T()> &source)
{
    return source ? source() : T{};
}

} // namespace

HttpApi::HttpApi(Clock &clock, Reporter<StatusLines> log, HttpSources sources, QObject *parent)
    : QObject(parent), log_(log), sources_(std::move(sources)), feed_(clock), service_(clock), history_(clock),
      events_(clock, feed_, sources_.linkUp)
{
    service_.setFilter([this](const QHttpServerRequest &request, const HttpHandler &next) {
        return access_.filter(request, next);
    });
    addRoute(QStringLiteral("/api/live"), [this](const QHttpServerRequest &) { return liveReply(); });
    addRoute(QStringLiteral("/metrics"), [this](const QHttpServerRequest &) { return metricsReply(); });
    service_.addDeferredRoute(QStringLiteral("/api/history"),
                              [this](const QHttpServerRequest &request, HttpResponder responder) {
                                  history_.handle(request, std::move(responder));
                              });
    service_.addDeferredRoute(QStringLiteral("/api/events"),
                              [this](const QHttpServerRequest &request, HttpResponder responder) {
                                  events_.handle(request, std::move(responder));
                              });
    site_.addRoutes(service_);
    setStatus(QString(), false);
}

void HttpApi::packetDecoded(const LiveReading &reading)
{
    feed_.packetDecoded(reading);
    events_.packetDecoded();
}

void HttpApi::addRoute(const QString &path, HttpHandler handler)
{
    service_.addRoute(path, std::move(handler));
}

QString HttpApi::refusal(const HttpSettings &s)
{
    const std::optional<HttpEndpoint> endpoint = parseHttpListen(s.listen);
    if (!endpoint)
        return QStringLiteral("HTTP: Listen \"%1\" is not an address and port such as "
                              "127.0.0.1:8088; the HTTP API is off.")
            .arg(s.listen);
    if (!endpoint->address.isLoopback() && s.token.isEmpty())
        return QStringLiteral("HTTP: Listen %1 reaches beyond this computer and needs a Token; "
                              "the HTTP API is off.")
            .arg(s.listen);
    return QString();
}

void HttpApi::apply(const HttpSettings &settings)
{
    stop();
    if (!settings.enabled)
        return;
    if (const QString why = refusal(settings); !why.isEmpty()) {
        setStatus(why, true);
        return;
    }
    endpoint_ = *parseHttpListen(settings.listen);
    access_ = HttpAccess(settings.token);
    if (!service_.listen(endpoint_.address, endpoint_.port)) {
        setStatus(QStringLiteral("HTTP: cannot listen on %1: %2")
                      .arg(settings.listen, service_.errorString()),
                  true);
        return;
    }
    setStatus(QStringLiteral("HTTP API on %1%2")
                  .arg(address(), access_.required() ? QStringLiteral(" (token required)") : QString()),
              true);
}

void HttpApi::stop()
{
    events_.closeAll();
    service_.close();
    setStatus(QString(), false);
}

void HttpApi::setStatus(const QString &text, bool logged)
{
    const QString status = text.isEmpty() ? QStringLiteral("The HTTP API is off") : text;
    if (logged)
        log_->addLine(status);
    if (status == status_)
        return;
    status_ = status;
    emit statusChanged();
}

QString HttpApi::address() const
{
    if (!isListening())
        return QString();
    return httpAddressText(HttpEndpoint{endpoint_.address, service_.port()});
}

HttpReply HttpApi::liveReply() const
{
    if (!feed_.hasPacket())
        return HttpReply::text(503, "No packet from the monitor yet");
    HttpReply reply;
    reply.contentType = "application/json";
    reply.body = feed_.liveJson(ask(sources_.linkUp));
    return reply;
}

HttpReply HttpApi::metricsReply() const
{
    MetricsSnapshot s;
    s.reading = feed_.hasPacket() ? &feed_.reading() : nullptr;
    s.lastPacketAt = feed_.lastPacketAt();
    s.packetsDecoded = feed_.packets();
    s.checksumErrors = ask(sources_.checksumErrors);
    s.suspectDropped = ask(sources_.suspectDropped);
    s.linkUp = ask(sources_.linkUp);
    s.mqttConnected = ask(sources_.mqttConnected);
    if (sources_.historyWriteFailures)
        s.historyWriteFailures = sources_.historyWriteFailures();
    HttpReply reply;
    reply.contentType = kMetricsContentType;
    reply.body = metricsText(s);
    return reply;
}
