#include "http_server.h"

#include <QLoggingCategory>
#include <QTcpSocket>
#include <QTimer>

Q_LOGGING_CATEGORY(lcHttp, "orvo.service.http")

namespace {

QByteArray reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}

struct ConnectionState : QObject {
    explicit ConnectionState(QObject *parent) : QObject(parent) {}
    HttpRequestReader reader;
    QTimer idle;
};

} // namespace

HttpServer::HttpServer(HttpHandler handler, QObject *parent)
    : QObject(parent), handler_(std::move(handler))
{
    connect(&server_, &QTcpServer::newConnection, this, &HttpServer::acceptConnections);
}

bool HttpServer::listen(quint16 port)
{
    return server_.listen(QHostAddress::LocalHost, port);
}

QByteArray HttpServer::responseText(const HttpResponse &response, bool keepAlive)
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
        + reason(response.status) + "\r\n";
    text += "Content-Type: " + response.contentType + "\r\n";
    text += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    // The pages load nothing from anywhere: no scripts, no fonts, no images, no frames.
    text += "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'\r\n";
    text += "X-Content-Type-Options: nosniff\r\n";
    text += "Cache-Control: no-store\r\n";
    text += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    text += "\r\n";
    return text + response.body;
}

void HttpServer::acceptConnections()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (connections_ >= kMaxConnections) {
            qCInfo(lcHttp) << "connection refused, already" << connections_;
            refuse(socket, 503);
            continue;
        }
        ++connections_;
        connect(socket, &QObject::destroyed, this, [this] { --connections_; });

        // The reader and the idle timer live and die with their connection.
        auto *state = new ConnectionState(socket);
        HttpRequestReader *reader = &state->reader;
        QTimer *idle = &state->idle;
        idle->setSingleShot(true);
        idle->setInterval(kIdleMs);
        connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
        connect(idle, &QTimer::timeout, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, reader, idle] {
            idle->start();
            readRequests(socket, reader);
        });
        idle->start();
        if (socket->bytesAvailable() > 0)
            readRequests(socket, reader);
    }
}

void HttpServer::readRequests(QTcpSocket *socket, HttpRequestReader *reader)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    for (;;) {
        if (socket->bytesAvailable() > 0 && reader->room() > 0)
            reader->append(socket->read(reader->room()));
        HttpRequest request;
        const HttpRequestReader::Result result = reader->next(&request);
        if (result == HttpRequestReader::Result::NeedMore) {
            if (socket->bytesAvailable() > 0 && reader->room() > 0)
                continue;
            return;
        }
        if (result != HttpRequestReader::Result::Ready) {
            refuse(socket, result == HttpRequestReader::Result::TooLarge ? 413 : 400);
            return;
        }
        socket->write(responseText(handler_(request), request.keepAlive));
        if (!request.keepAlive) {
            socket->disconnectFromHost();
            return;
        }
        if (socket->bytesToWrite() > kMaxUnsent) {
            qCInfo(lcHttp) << "client does not read its answers; closed";
            socket->abort();
            socket->deleteLater();
            return;
        }
    }
}

void HttpServer::refuse(QTcpSocket *socket, int status)
{
    HttpResponse response;
    response.status = status;
    response.body = reason(status) + '\n';
    socket->write(responseText(response, false));
    socket->disconnectFromHost();
}
