#include "http_access.h"

#include "http_logging.h"

#include <QCryptographicHash>
#include <QHttpServerRequest>
#include <QUrl>
#include <QUrlQuery>

namespace {

QByteArray bearerOf(const QByteArray &authorization)
{
    static const QByteArray scheme("bearer ");
    if (authorization.size() <= scheme.size()
        || authorization.left(scheme.size()).toLower() != scheme)
        return QByteArray();
    return authorization.mid(scheme.size()).trimmed();
}

QByteArray cookieOf(const QByteArray &cookies, const QByteArray &name)
{
    for (const QByteArray &pair : cookies.split(';')) {
        const QByteArray trimmed = pair.trimmed();
        if (trimmed.startsWith(name + '='))
            return QByteArray::fromPercentEncoding(trimmed.mid(name.size() + 1));
    }
    return QByteArray();
}

} // namespace

HttpAccess::HttpAccess(const QString &token) : token_(token.toUtf8()) {}

bool HttpAccess::sameSecret(const QByteArray &a, const QByteArray &b)
{
    // Digests have one length whatever the texts', and every byte of them is looked at.
    const QByteArray da = QCryptographicHash::hash(a, QCryptographicHash::Sha256);
    const QByteArray db = QCryptographicHash::hash(b, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < da.size(); ++i)
        difference |= static_cast<unsigned char>(da[i] ^ db[i]);
    return difference == 0;
}

HttpAccess::Carried HttpAccess::carried(const QHttpServerRequest &request) const
{
    const QByteArray bearer = bearerOf(request.value("authorization"));
    if (!bearer.isEmpty() && sameSecret(bearer, token_))
        return Carried::Header;
    const QByteArray cookie = cookieOf(request.value("cookie"), kCookieName);
    if (!cookie.isEmpty() && sameSecret(cookie, token_))
        return Carried::Cookie;
    const QByteArray query =
        request.query().queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8();
    if (!query.isEmpty() && sameSecret(query, token_))
        return Carried::Query;
    return Carried::None;
}

HttpReply HttpAccess::filter(const QHttpServerRequest &request, const HttpHandler &next) const
{
    if (!required())
        return next(request);
    const Carried how = carried(request);
    if (how == Carried::None) {
        qCInfo(lcHttp).noquote() << "refused without the token:" << request.url().path()
                                 << "from" << request.remoteAddress().toString();
        HttpReply refusal = HttpReply::text(401, "Unauthorized");
        refusal.addHeader("WWW-Authenticate", "Bearer realm=\"orvotove\"");
        return refusal;
    }
    HttpReply reply = next(request);
    if (how == Carried::Query) {
        const QByteArray cookie = QByteArray(kCookieName) + '='
            + QUrl::toPercentEncoding(QString::fromUtf8(token_)) + "; Path=/; HttpOnly; SameSite=Strict";
        reply.addHeader("Set-Cookie", cookie);
    }
    return reply;
}
