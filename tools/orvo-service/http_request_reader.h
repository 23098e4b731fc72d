#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One request head as read from a connection.
struct HttpRequest {
    QByteArray method;
    QByteArray target;   // as sent: "/path?query" or "http://host/path?query"
    QByteArray version;  // "HTTP/1.1" or "HTTP/1.0"
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
    bool keepAlive = true;

    QByteArray header(const QByteArray &lowerName) const;
};

// Reads HTTP/1.x requests from the bytes of one connection, one after the other. Bounded: a head
// larger than kMaxHead, a body larger than kMaxBody or a chunked body ends the connection, and
// so does anything that is not a well-formed request.
class HttpRequestReader {
public:
    static constexpr int kMaxHead = 8192;
    static constexpr int kMaxBody = 4096;

    enum class Result { NeedMore, Ready, Malformed, TooLarge };

    // How many more bytes the reader takes now; the connection reads no more than that.
    qsizetype room() const;
    void append(const QByteArray &bytes);

    // Takes the next complete request from the bytes received, when there is one. After
    // Malformed or TooLarge the reader stays in that state.
    Result next(HttpRequest *request);

private:
    Result parseHead(const QByteArray &head, HttpRequest *request) const;

    QByteArray buffer_;
    Result failed_ = Result::NeedMore;
};
