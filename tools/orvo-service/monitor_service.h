#pragma once

#include "http_server.h"
#include "post_store.h"


#include <functional>

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

    HttpResponse handle(const HttpRequest &request);
    const PostStore &store() const { return store_; }

    // The path and query of a request target in origin form ("/p?q") or absolute form
    // ("http://host/p?q"); false for any other form.
    static bool splitTarget(const QByteArray &target, QByteArray *path, QByteArray *query);
    // The query's keys and values in their order, "+" read as a blank, %XX decoded, UTF-8.
    static QList<QPair<QString, QString>> queryItems(const QByteArray &query);

private:
    HttpResponse record(const QByteArray &query);

    QIODevice *log_;
    Clock clock_;
    PostStore store_;
};
