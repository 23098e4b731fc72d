#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QUrl>

// One answer as Qt's own HTTP client read it.
struct HttpAnswer {
    int status = 0; // 0: no answer (see error)
    QByteArray body;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QString error;
};

// A GET through QNetworkAccessManager, with the given request headers, waiting up to timeoutMs
// while events run.
HttpAnswer httpGet(const QUrl &url, const QList<QPair<QByteArray, QByteArray>> &headers = {},
                   int timeoutMs = 10000);
