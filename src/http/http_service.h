#pragma once

#include "http_listener.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class Clock;
class QHttpServerRequest;

// One answer: status, type, body and any further headers.
struct HttpReply {
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    int status = 200;
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    Headers headers;
    // Most answers are figures of the moment; the program's fixed files may be kept a while.
    QByteArray cacheControl = "no-store";

    void addHeader(const QByteArray &name, const QByteArray &value) { headers.append({name, value}); }

    // A short plain-text answer: the body is the text and a line end.
    static HttpReply text(int status, const QByteArray &text);
};

using HttpHandler = std::function<HttpReply(const QHttpServerRequest &request)>;

class HttpService;
class QHttpServerResponder;

// The answer to one request that comes later, when what it shows is there (a query of the
// record answers from the event loop, perhaps from another thread's store). Copies share one
// answer; the first send() is the one that counts. It holds the connection weakly: a client
// that went away meanwhile is simply not answered. A request left unanswered when the last copy
// goes gets 500, so that no connection waits for ever.
class HttpResponder {
public:
    HttpResponder() = default;

    void send(const HttpReply &reply);
    // The client is still there and not answered yet.
    bool pending() const;

    // An answer that goes on (a stream of events): the reply's status, headers and body as its
    // first part, with no length, so that the connection ends with it. False when the client
    // is gone or was answered already.
    bool startStream(const HttpReply &head);
    // One more part of the started stream. False once the client is gone, or was dropped for
    // not reading what it was sent. The stream ends (the connection closes) when the last copy
    // of its responder goes.
    bool writeStream(const QByteArray &part);
    bool streaming() const;

private:
    friend class HttpService;
    struct State;
    explicit HttpResponder(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};
using HttpDeferredHandler = std::function<void(const QHttpServerRequest &request, HttpResponder responder)>;
// Stands between a request and its handler: answers itself, or passes the request on (and may
// add to the handler's reply), as the access check does.
using HttpFilter = std::function<HttpReply(const QHttpServerRequest &request, const HttpHandler &next)>;

// An HTTP/1.1 server on Qt HTTP Server and HttpListener: GET requests by exact path, kept-alive
// connections, and the listener's bounds. Anything but GET is 405, an unknown path 404 (or what
// the fallback answers). Every answer says not to cache it or guess its type; a request that
// asks to close gets its answer and then the close.
class HttpService final : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit HttpService(Clock &clock, const HttpLimits &limits = {}, QObject *parent = nullptr);
    ~HttpService() override;

    // path is compared as sent, percent-encoding included.
    void addRoute(const QString &path, HttpHandler handler);
    // A route whose handler answers later through the responder. The filter applies to it as
    // to the others: what it refuses never reaches the handler, and the headers it adds to a
    // request it lets pass go with the later answer.
    void addDeferredRoute(const QString &path, HttpDeferredHandler handler);
    void setFallback(HttpHandler handler) { fallback_ = std::move(handler); }
    void setFilter(HttpFilter filter) { filter_ = std::move(filter); }

    // Listens anew (a previous listener and its connections are closed first); port 0 takes a
    // free one. False with errorString() when the address cannot be listened on.
    bool listen(const QHostAddress &address, quint16 port);
    // Stops listening and closes every connection.
    void close();
    bool isListening() const;
    quint16 port() const;
    QString errorString() const { return error_; }
    // The listener while listening, else nullptr.
    HttpListener *listener() const { return listener_; }
    quint64 requestsAnswered() const { return answered_; }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    friend struct HttpResponder::State;
    friend class HttpResponder;
    HttpReply route(const QHttpServerRequest &request) const;
    void send(const QHttpServerRequest &request, QTcpSocket *socket, const HttpReply &reply);
    void defer(const HttpDeferredHandler &handler, const QHttpServerRequest &request,
               QTcpSocket *socket);
    void write(QHttpServerResponder &responder, QTcpSocket *socket, bool closing,
               const HttpReply &reply, const QString &path);
    void writeHead(QHttpServerResponder &responder, const HttpReply &reply);
    // Hands what was written to the system, and drops a client that does not read.
    bool flushOrDrop(QTcpSocket *socket);

    Clock &clock_;
    HttpLimits limits_;
    QHash<QString, HttpHandler> routes_;
    QHash<QString, HttpDeferredHandler> deferredRoutes_;
    HttpHandler fallback_;
    HttpFilter filter_;
    QPointer<HttpListener> listener_;
    QString error_;
    quint64 answered_ = 0;
};
