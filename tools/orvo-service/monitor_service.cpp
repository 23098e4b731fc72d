#include "monitor_service.h"

#include "monitor_page.h"

#include <QFileDevice>
#include <QHttpServerRequest>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcService, "orvo.service", QtInfoMsg)

namespace {

HttpReply html(const QByteArray &body)
{
    HttpReply reply;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = body;
    // The pages load nothing from anywhere: no scripts, no fonts, no images, no frames.
    reply.addHeader("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
    return reply;
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

HttpReply MonitorService::handle(const QHttpServerRequest &request)
{
    const QUrl &url = request.url();
    return handle(url.path(QUrl::FullyDecoded), url.query(QUrl::FullyEncoded).toLatin1());
}

HttpReply MonitorService::handle(const QString &path, const QByteArray &query)
{
    if (path == u"/Monitor/sendData.php")
        return record(query);
    if (path == u"/Monitor/monitor.php") {
        QString user;
        for (const auto &[key, value] : queryItems(query)) {
            if (key == QLatin1String("user"))
                user = value;
        }
        return html(MonitorPage::account(user, store_.posts(user)));
    }
    if (path == u"/")
        return html(MonitorPage::index(store_.accounts()));
    return HttpReply::text(404, "Not Found");
}

HttpReply MonitorService::record(const QByteArray &query)
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
    return HttpReply::text(200, "OK");
}
