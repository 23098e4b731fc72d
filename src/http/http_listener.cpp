#include "http_listener.h"

#include "clock.h"
#include "http_logging.h"

#include <QTcpSocket>

#include <algorithm>
#include <memory>

// One open connection's deadline. It lives as a child of its socket, so it goes with the socket
// however the socket ends, even after the HTTP server has cut every signal of the socket.
class HttpListener::Connection final : public QObject {
public:
    Connection(HttpListener *listener, QTcpSocket *socket)
        : QObject(socket), listener_(listener), socket_(socket),
          deadline_(listener->clock_.createTimer(this))
    {
        deadline_->setSingleShot(true);
        connect(deadline_.get(), &ClockTimer::timeout, this,
                [this] { listener_->drop(this, Drop::Deadline); });
        restartDeadline();
    }
    ~Connection() override
    {
        if (listener_)
            listener_->forget(this);
    }

    void restartDeadline() { deadline_->start(listener_->limits_.requestDeadlineMs); }
    void detach() { listener_ = nullptr; }
    QTcpSocket *socket() const { return socket_; }

private:
    HttpListener *listener_;
    QTcpSocket *socket_;
    std::unique_ptr<ClockTimer> deadline_;
};

HttpListener::HttpListener(Clock &clock, const HttpLimits &limits, QObject *parent)
    : QTcpServer(parent), clock_(clock), limits_(limits)
{
}

HttpListener::~HttpListener()
{
    // The sockets are children and go after this object's members.
    for (Connection *connection : std::as_const(connections_))
        connection->detach();
}

void HttpListener::incomingConnection(qintptr descriptor)
{
    if (limits_.maxConnections > 0 && openConnections() >= limits_.maxConnections) {
        drop(connections_.first(), Drop::Evicted);
    }
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        qCInfo(lcHttp).noquote() << "cannot take a connection:" << socket->errorString();
        delete socket;
        return;
    }
    // Past this much unanswered input the socket stops reading: the kernel holds the rest, and
    // the deadline ends the connection.
    socket->setReadBufferSize(limits_.maxRequestBytes);
    connections_.append(new Connection(this, socket));
    qCDebug(lcHttp).noquote() << "connection from" << socket->peerAddress().toString()
                              << socket->peerPort() << "," << openConnections() << "open";
    addPendingConnection(socket);
}

void HttpListener::requestRead(QTcpSocket *socket)
{
    const auto found = std::find_if(connections_.begin(), connections_.end(),
                                    [socket](const Connection *c) { return c->socket() == socket; });
    if (found == connections_.end())
        return;
    Connection *connection = *found;
    connections_.erase(found);
    connections_.append(connection);
    connection->restartDeadline();
}

void HttpListener::closeConnections()
{
    while (!connections_.isEmpty())
        drop(connections_.first(), Drop::Closing);
}

void HttpListener::forget(Connection *connection)
{
    connections_.removeOne(connection);
}

void HttpListener::drop(Connection *connection, Drop reason)
{
    const char *why = "the listener closed";
    if (reason == Drop::Deadline) {
        ++expired_;
        why = "no whole request within the deadline";
    } else if (reason == Drop::Evicted) {
        ++evicted_;
        why = "its place went to a new connection";
    }
    forget(connection);
    connection->detach();
    QTcpSocket *socket = connection->socket();
    qCInfo(lcHttp).noquote() << "connection from" << socket->peerAddress().toString()
                             << socket->peerPort() << "closed:" << why;
    socket->abort();
    socket->deleteLater();
}
