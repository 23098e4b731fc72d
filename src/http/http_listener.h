#pragma once

#include <QList>
#include <QTcpServer>

class Clock;
class QTcpSocket;

// The bounds of one HTTP listener. The defaults keep a few dozen descriptors at most, far under
// the process's limit, and give a client on a slow link ample time for one request.
struct HttpLimits {
    int maxConnections = 64;
    // From its connection, or from its previous request, each request has this long to arrive
    // whole; the connection is closed otherwise (idle kept-alive connections too).
    int requestDeadlineMs = 5000;
    // What a connection may have sent and not yet had answered; more waits in the kernel.
    qint64 maxRequestBytes = 64 * 1024;
    // Answers that a client does not read stop being queued past this.
    qint64 maxUnsentBytes = 1024 * 1024;
};

// The TCP side of the HTTP server, bounded where Qt's own server is not: at most
// maxConnections connections at once, and each one closed when a request has not arrived whole
// within requestDeadlineMs. A connection past the cap takes the place of the one that has waited
// longest for its request, so a slow or idle client can delay a real request but never lock it
// out. The deadlines run on the clock seam.
class HttpListener final : public QTcpServer {
    Q_OBJECT
public:
    HttpListener(Clock &clock, const HttpLimits &limits, QObject *parent = nullptr);
    ~HttpListener() override;

    // A whole request was read from socket, or its later answer was sent: its deadline starts
    // again for the next one.
    void requestRead(QTcpSocket *socket);
    // The socket's answer comes later (or keeps coming, as a stream of events): no deadline
    // runs until requestRead(), and a new connection past the cap takes the place of an idle
    // one first.
    void answerPending(QTcpSocket *socket);
    bool isPending(QTcpSocket *socket) const;
    // Closes every connection at once.
    void closeConnections();

    int openConnections() const { return int(connections_.size()); }
    // Connections closed for their deadline, and for a newer connection past the cap.
    quint64 expiredCount() const { return expired_; }
    quint64 evictedCount() const { return evicted_; }
    const HttpLimits &limits() const { return limits_; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class Connection;
    friend class Connection;

    Connection *find(QTcpSocket *socket) const;
    Connection *evictable() const;
    void forget(Connection *connection);
    enum class Drop { Deadline, Evicted, Closing };
    void drop(Connection *connection, Drop reason);

    Clock &clock_;
    HttpLimits limits_;
    // Open connections, the one that has waited longest for its request first.
    QList<Connection *> connections_;
    quint64 expired_ = 0;
    quint64 evicted_ = 0;
};
