#pragma once

#include "http_service.h"

#include <QByteArray>

class QHttpServerRequest;

// The access token. Without one every request passes. With one, a request passes only when it
// carries it: "Authorization: Bearer <token>", the cookie that a first "?token=<token>" set
// (HttpOnly, SameSite=Strict, so pages of other sites neither read nor send it), or that query
// again. Any other request gets 401 and a body that says only that. Tokens are compared in
// constant time.
class HttpAccess {
public:
    static constexpr char kCookieName[] = "orvotove_token";

    explicit HttpAccess(const QString &token = QString());

    bool required() const { return !token_.isEmpty(); }
    // The request's answer: next's when the request may pass, with the cookie when it came by
    // the query; 401 otherwise.
    HttpReply filter(const QHttpServerRequest &request, const HttpHandler &next) const;

    // Equal texts, in a time that depends on neither their contents nor their lengths.
    static bool sameSecret(const QByteArray &a, const QByteArray &b);

private:
    enum class Carried { None, Header, Cookie, Query };
    Carried carried(const QHttpServerRequest &request) const;

    QByteArray token_; // UTF-8
};
