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

class Clock;
class QHttpServerRequest;

// One answer: status, type, body and any further headers.
struct HttpReply {
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    int status = 200;
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    Headers headers;

    void addHeader(const QByteArray &name, const QByteArray &value) { headers.append({name, value}); }

    // A short plain-text answer: the body is the text and a line end.
    static HttpReply text(int status, const QByteArray &text);
};

using HttpHandler = std::function<HttpReply(const QHttpServerRequest &request)>;
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
    HttpReply route(const QHttpServerRequest &request) const;
    void send(const QHttpServerRequest &request, QTcpSocket *socket, const HttpReply &reply);

    Clock &clock_;
    HttpLimits limits_;
    QHash<QString, HttpHandler> routes_;
    HttpHandler fallback_;
    HttpFilter filter_;
    QPointer<HttpListener> listener_;
    QString error_;
    quint64 answered_ = 0;
};
