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

    void restartDeadline()
    {
        pending_ = false;
        deadline_->start(listener_->limits_.requestDeadlineMs);
    }
    void holdDeadline()
    {
        pending_ = true;
        deadline_->stop();
    }
    bool pending() const { return pending_; }
    void detach() { listener_ = nullptr; }
    QTcpSocket *socket() const { return socket_; }

private:
    HttpListener *listener_;
    QTcpSocket *socket_;
    std::unique_ptr<ClockTimer> deadline_;
    bool pending_ = false;
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
        drop(evictable(), Drop::Evicted);
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

HttpListener::Connection *HttpListener::find(QTcpSocket *socket) const
{
    const auto found = std::find_if(connections_.begin(), connections_.end(),
                                    [socket](const Connection *c) { return c->socket() == socket; });
    return found == connections_.end() ? nullptr : *found;
}

HttpListener::Connection *HttpListener::evictable() const
{
    // An idle or slow connection goes before one that waits for its answer; when all wait, the
    // oldest goes all the same, so that a new client is never locked out.
    const auto idle = std::find_if(connections_.begin(), connections_.end(),
                                   [](const Connection *c) { return !c->pending(); });
    return idle == connections_.end() ? connections_.first() : *idle;
}

void HttpListener::requestRead(QTcpSocket *socket)
{
    Connection *connection = find(socket);
    if (!connection)
        return;
    connections_.removeOne(connection);
    connections_.append(connection);
    connection->restartDeadline();
}

void HttpListener::answerPending(QTcpSocket *socket)
{
    if (Connection *connection = find(socket))
        connection->holdDeadline();
}

bool HttpListener::isPending(QTcpSocket *socket) const
{
    const Connection *connection = find(socket);
    return connection && connection->pending();
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
