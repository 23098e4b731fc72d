#include "monitor_service.h"

#include "monitor_page.h"

#include <QFileDevice>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcService, "orvo.service", QtInfoMsg)

namespace {

HttpResponse status(int code, const QByteArray &text)
{
    HttpResponse response;
    response.status = code;
    response.body = text + '\n';
    return response;
}

HttpResponse html(const QByteArray &body)
{
    HttpResponse response;
    response.contentType = "text/html; charset=utf-8";
    response.body = body;
    return response;
}

QString decoded(QByteArray text)
{
    text.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}

} // namespace

MonitorService::MonitorService(QIODevice *log, Clock clock)
    : log_(log), clock_(std::move(clock))
{
}

bool MonitorService::splitTarget(const QByteArray &target, QByteArray *path, QByteArray *query)
{
    QByteArray rest = target;
    if (rest.toLower().startsWith("http://")) {
        const qsizetype start = qsizetype(sizeof("http://") - 1);
        qsizetype end = start;
        while (end < rest.size() && rest[end] != '/' && rest[end] != '?')
            ++end;
        if (end == start)
            return false;
        rest = rest.mid(end);
        if (!rest.startsWith('/'))
            rest.prepend('/');
    } else if (!rest.startsWith('/')) {
        return false;
    }
    const qsizetype fragment = rest.indexOf('#');
    if (fragment >= 0)
        rest.truncate(fragment);
    const qsizetype mark = rest.indexOf('?');
    *path = QByteArray::fromPercentEncoding(mark < 0 ? rest : rest.left(mark));
    *query = mark < 0 ? QByteArray() : rest.mid(mark + 1);
    return true;
}

QList<QPair<QString, QString>> MonitorService::queryItems(const QByteArray &query)
{
    QList<QPair<QString, QString>> items;
    for (const QByteArray &piece : query.split('&')) {
        if (piece.isEmpty())
            continue;
        const qsizetype equals = piece.indexOf('=');
        if (equals < 0)
            items.append({decoded(piece), QString()});
        else
            items.append({decoded(piece.left(equals)), decoded(piece.mid(equals + 1))});
    }
    return items;
}

HttpResponse MonitorService::handle(const HttpRequest &request)
{
    if (request.method != "GET")
        return status(405, "Method Not Allowed");
    QByteArray path;
    QByteArray query;
    if (!splitTarget(request.target, &path, &query))
        return status(400, "Bad Request");
    if (path == "/Monitor/sendData.php")
        return record(query);
    if (path == "/Monitor/monitor.php") {
        QString user;
        for (const auto &[key, value] : queryItems(query)) {
            if (key == QLatin1String("user"))
                user = value;
        }
        return html(MonitorPage::account(user, store_.posts(user)));
    }
    if (path == "/")
        return html(MonitorPage::index(store_.accounts()));
    return status(404, "Not Found");
}

HttpResponse MonitorService::record(const QByteArray &query)
{
    Post post;
    post.received = clock_();
    // A key sent twice counts with its last value, as a form reader takes it.
    QJsonObject line;
    for (const auto &[key, value] : queryItems(query)) {
        line.insert(key, value);
        bool replaced = false;
        for (auto &entry : post.values) {
            if (entry.first == key) {
                entry.second = value;
                replaced = true;
            }
        }
        if (!replaced && post.values.size() < PostStore::kMaxValues)
            post.values.append({key, value});
    }
    line.insert(QStringLiteral("received"), post.received.toString(Qt::ISODateWithMs));
    if (log_) {
        log_->write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
        if (auto *file = qobject_cast<QFileDevice *>(log_))
            file->flush();
    }
    const QString account = post.value(QStringLiteral("username"));
    qCDebug(lcService) << "post for" << account;
    store_.add(account, std::move(post));
    return status(200, "OK");
}
