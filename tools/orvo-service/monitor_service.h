#pragma once

#include "http_service.h"
#include "post_store.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QHttpServerRequest;
class QIODevice;

// The stand-in monitoring service: takes the posting request, writes each post as one JSON line
// and keeps the recent ones for the account pages.
//   GET [http://host]/Monitor/sendData.php?&key=value...  -> 200, the post is recorded
//   GET /Monitor/monitor.php?user=NAME                   -> the account's page
//   GET /                                                -> the list of accounts
class MonitorService {
public:
    using Clock = std::function<QDateTime()>;

    // Posts are written to log (one JSON object a line, flushed at once); clock gives the
    // receive time.
    explicit MonitorService(QIODevice *log, Clock clock = &QDateTime::currentDateTime);

    // The bounds of its server: 32 connections, each request whole within 5 s.
    static HttpLimits limits() { return HttpLimits{.maxConnections = 32, .requestDeadlineMs = 5000}; }

    // The answer to a GET of path (percent-decoded) with its query as sent.
    HttpReply handle(const QString &path, const QByteArray &query);
    HttpReply handle(const QHttpServerRequest &request);
    const PostStore &store() const { return store_; }

    // The query's keys and values in their order, "+" read as a blank, %XX decoded, UTF-8.
    static QList<QPair<QString, QString>> queryItems(const QByteArray &query);

private:
    HttpReply record(const QByteArray &query);

    QIODevice *log_;
    Clock clock_;
    PostStore store_;
};
