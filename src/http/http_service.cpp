#include "http_service.h"

#include "http_logging.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>

namespace {

bool asksToClose(const QHttpServerRequest &request)
{
    return request.value("connection").toLower().contains("close");
}

} // namespace

struct HttpResponder::State {
    State(HttpService *service, QTcpSocket *socket, QHttpServerResponder responder, bool closing,
          HttpReply::Headers headers, QString path)
        : service(service), socket(socket), responder(std::move(responder)), closing(closing),
          headers(std::move(headers)), path(std::move(path))
    {
    }
    ~State()
    {
        if (streaming && connected())
            socket->disconnectFromHost();
        else if (!answered)
            finish(HttpReply::text(500, "Internal Server Error"));
    }
    bool connected() const { return service && socket && socket->state() == QAbstractSocket::ConnectedState; }
    void finish(HttpReply reply)
    {
        answered = true;
        if (!connected())
            return;
        reply.headers.append(headers);
        service->write(responder, socket, closing, reply, path);
        if (!closing && socket && service->listener_ && socket->parent() == service->listener_)
            service->listener_->requestRead(socket);
    }

    QPointer<HttpService> service;
    QPointer<QTcpSocket> socket;
    // Qt's responder keeps the request by reference, which may be gone once the handler has
    // returned; its writing calls use only the socket, which the pointer above guards.
    QHttpServerResponder responder;
    bool closing;
    HttpReply::Headers headers; // the filter's
    QString path;
    bool answered = false;
    bool streaming = false;
};

void HttpResponder::send(const HttpReply &reply)
{
    if (state_ && !state_->answered)
        state_->finish(reply);
}

bool HttpResponder::pending() const
{
    return state_ && !state_->answered && state_->connected();
}

bool HttpResponder::startStream(const HttpReply &head)
{
    if (!pending())
        return false;
    State &s = *state_;
    s.answered = true;
    s.streaming = true;
    HttpReply reply = head;
    reply.headers.append(s.headers);
    // No length: the stream ends with its connection, which no later request can use.
    reply.addHeader("Connection", "close");
    s.service->writeHead(s.responder, reply);
    s.responder.writeBody(reply.body);
    qCDebug(lcHttp).noquote() << s.path << reply.status << "stream starts";
    return s.service->flushOrDrop(s.socket);
}

bool HttpResponder::writeStream(const QByteArray &part)
{
    if (!streaming() || !state_->connected())
        return false;
    state_->responder.writeBody(part);
    return state_->service->flushOrDrop(state_->socket);
}

bool HttpResponder::streaming() const
{
    return state_ && state_->streaming;
}

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

void HttpService::addDeferredRoute(const QString &path, HttpDeferredHandler handler)
{
    deferredRoutes_.insert(path, std::move(handler));
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
    const bool ours = listener_ && socket->parent() == listener_;
    if (ours && listener_->isPending(socket)) {
        // Answers go out in the order of their requests; a client that does not wait for a
        // later one is not served further.
        qCInfo(lcHttp) << "a request came before the previous answer; closed";
        socket->abort();
        return true;
    }
    if (ours)
        listener_->requestRead(socket);
    if (request.method() == QHttpServerRequest::Method::Get) {
        const auto deferred = deferredRoutes_.constFind(request.url().path(QUrl::FullyEncoded));
        if (deferred != deferredRoutes_.constEnd()) {
            defer(*deferred, request, socket);
            return true;
        }
    }
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

void HttpService::defer(const HttpDeferredHandler &handler, const QHttpServerRequest &request,
                        QTcpSocket *socket)
{
    bool admitted = false;
    const HttpHandler admit = [&admitted](const QHttpServerRequest &) {
        admitted = true;
        return HttpReply{};
    };
    HttpReply filtered = filter_ ? filter_(request, admit) : admit(request);
    if (!admitted) {
        send(request, socket, filtered);
        return;
    }
    if (listener_ && socket->parent() == listener_)
        listener_->answerPending(socket);
    handler(request, HttpResponder(std::make_shared<HttpResponder::State>(
                         this, socket, makeResponder(request, socket), asksToClose(request),
                         std::move(filtered.headers), request.url().path())));
}

void HttpService::send(const QHttpServerRequest &request, QTcpSocket *socket,
                       const HttpReply &reply)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    write(responder, socket, asksToClose(request), reply, request.url().path());
}

void HttpService::write(QHttpServerResponder &responder, QTcpSocket *socket, bool closing,
                        const HttpReply &reply, const QString &path)
{
    HttpReply head = reply;
    head.addHeader("Content-Length", QByteArray::number(reply.body.size()));
    if (closing)
        head.addHeader("Connection", "close");
    writeHead(responder, head);
    responder.writeBody(reply.body);
    qCDebug(lcHttp).noquote() << path << reply.status;
    if (flushOrDrop(socket) && closing)
        socket->disconnectFromHost();
}

void HttpService::writeHead(QHttpServerResponder &responder, const HttpReply &reply)
{
    responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
    responder.writeHeader("Content-Type", reply.contentType);
    responder.writeHeader("Cache-Control", reply.cacheControl);
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    for (const auto &[name, value] : reply.headers)
        responder.writeHeader(name, value);
    ++answered_;
}

bool HttpService::flushOrDrop(QTcpSocket *socket)
{
    // Handed to the system at once: a client that has shut down its sending side makes Qt end
    // the connection as soon as the event loop sees that, dropping whatever was still queued.
    socket->flush();
    if (socket->bytesToWrite() <= limits_.maxUnsentBytes)
        return true;
    qCInfo(lcHttp) << "client does not read its answers; closed";
    socket->abort();
    return false;
}
