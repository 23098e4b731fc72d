#include "http_service.h"

#include "http_logging.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpSocket>

namespace {

bool asksToClose(const QHttpServerRequest &request)
{
    return request.value("connection").toLower().contains("close");
}

} // namespace

HttpReply HttpReply::text(int status, const QByteArray &text)
{
    HttpReply reply;
    reply.status = status;
    reply.body = text + '\n';
    return reply;
}

HttpService::HttpService(Clock &clock, const HttpLimits &limits, QObject *parent)
    : QAbstractHttpServer(parent), clock_(clock), limits_(limits)
{
}

HttpService::~HttpService() = default;

void HttpService::addRoute(const QString &path, HttpHandler handler)
{
    routes_.insert(path, std::move(handler));
}

bool HttpService::listen(const QHostAddress &address, quint16 port)
{
    close();
    auto *listener = new HttpListener(clock_, limits_, this);
    if (!listener->listen(address, port)) {
        error_ = listener->errorString();
        delete listener;
        return false;
    }
    error_.clear();
    listener_ = listener;
    bind(listener);
    qCInfo(lcHttp).noquote() << "listening on" << address.toString() << listener->serverPort();
    return true;
}

void HttpService::close()
{
    if (!listener_)
        return;
    qCInfo(lcHttp) << "listening ends";
    listener_->close();
    listener_->closeConnections();
    // Its sockets may still have events queued: they go first, the listener after them.
    listener_->deleteLater();
    listener_ = nullptr;
}

bool HttpService::isListening() const
{
    return listener_ && listener_->isListening();
}

quint16 HttpService::port() const
{
    return listener_ ? listener_->serverPort() : 0;
}

bool HttpService::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (listener_ && socket->parent() == listener_)
        listener_->requestRead(socket);
    const HttpHandler routed = [this](const QHttpServerRequest &r) { return route(r); };
    const HttpReply reply = filter_ ? filter_(request, routed) : routed(request);
    send(request, socket, reply);
    return true;
}

void HttpService::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    send(request, socket, HttpReply::text(404, "Not Found"));
}

HttpReply HttpService::route(const QHttpServerRequest &request) const
{
    if (request.method() != QHttpServerRequest::Method::Get)
        return HttpReply::text(405, "Method Not Allowed");
    const auto found = routes_.constFind(request.url().path(QUrl::FullyEncoded));
    if (found != routes_.constEnd())
        return (*found)(request);
    return fallback_ ? fallback_(request) : HttpReply::text(404, "Not Found");
}

void HttpService::send(const QHttpServerRequest &request, QTcpSocket *socket,
                       const HttpReply &reply)
{
    const bool closing = asksToClose(request);
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
    responder.writeHeader("Content-Type", reply.contentType);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    for (const auto &[name, value] : reply.headers)
        responder.writeHeader(name, value);
    if (closing)
        responder.writeHeader("Connection", "close");
    responder.writeBody(reply.body);
    ++answered_;
    qCDebug(lcHttp).noquote() << request.url().path() << reply.status;
    // Handed to the system at once: a client that has shut down its sending side makes Qt end
    // the connection as soon as the event loop sees that, dropping whatever was still queued.
    socket->flush();
    if (closing) {
        socket->disconnectFromHost();
    } else if (socket->bytesToWrite() > limits_.maxUnsentBytes) {
        qCInfo(lcHttp) << "client does not read its answers; closed";
        socket->abort();
    }
}
