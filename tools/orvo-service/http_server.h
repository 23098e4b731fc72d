#pragma once

#include "http_request_reader.h"

#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;
class QTimer;

struct HttpResponse {
    int status = 200;
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
};

using HttpHandler = std::function<HttpResponse(const HttpRequest &)>;

// A small HTTP/1.1 server on the loopback address: requests are answered in order as they
// arrive, kept-alive and pipelined requests included. Bounded: at most kMaxConnections at
// once, each closed after kIdleMs without a byte, on a malformed or oversized request, or when
// its client does not read its answers.
class HttpServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxConnections = 32;
    static constexpr int kIdleMs = 30000;
    static constexpr qint64 kMaxUnsent = 4 * 1024 * 1024;

    explicit HttpServer(HttpHandler handler, QObject *parent = nullptr);

    // Listens on 127.0.0.1; port 0 takes any free port.
    bool listen(quint16 port);
    quint16 port() const { return server_.serverPort(); }
    QString errorString() const { return server_.errorString(); }

    static QByteArray responseText(const HttpResponse &response, bool keepAlive);

private:
    void acceptConnections();
    void readRequests(QTcpSocket *socket, HttpRequestReader *reader);
    void refuse(QTcpSocket *socket, int status);

    QTcpServer server_;
    HttpHandler handler_;
    int connections_ = 0;
};
