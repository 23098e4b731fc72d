#include "http_client.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSignalSpy>

#include <memory>

HttpAnswer httpGet(const QUrl &url, const QList<QPair<QByteArray, QByteArray>> &headers,
                   int timeoutMs)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    HttpAnswer answer;
    if (!reply->isFinished() && !finished.wait(timeoutMs)) {
        answer.error = QStringLiteral("no answer within %1 ms").arg(timeoutMs);
        return answer;
    }
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    for (const auto &[name, value] : reply->rawHeaderPairs())
        answer.headers.insert(name.toLower(), value);
    if (reply->error() != QNetworkReply::NoError && answer.status == 0)
        answer.error = reply->errorString();
    return answer;
}
