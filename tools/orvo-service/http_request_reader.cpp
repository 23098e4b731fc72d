#include "http_request_reader.h"

namespace {

bool isTokenChar(char c)
{
    static const QByteArray extra("!#$%&'*+-.^_`|~");
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || extra.contains(c);
}

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (!isTokenChar(c))
            return false;
    }
    return true;
}

// Visible ASCII only: no blanks, no controls, nothing above 126.
bool isTargetText(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c <= 32 || c >= 127)
            return false;
    }
    return true;
}

bool hasControls(const QByteArray &text)
{
    for (char c : text) {
        if ((c >= 0 && c < 32 && c != '\t') || c == 127)
            return true;
    }
    return false;
}

// The end of the head: the first empty line, CR LF or a lone LF. -1 while none has arrived.
qsizetype headEnd(const QByteArray &buffer, qsizetype *bodyStart)
{
    for (qsizetype i = buffer.indexOf('\n'); i >= 0; i = buffer.indexOf('\n', i + 1)) {
        if (i + 1 < buffer.size() && buffer[i + 1] == '\n') {
            *bodyStart = i + 2;
            return i + 1;
        }
        if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n') {
            *bodyStart = i + 3;
            return i + 1;
        }
    }
    return -1;
}

bool wantsKeepAlive(const HttpRequest &request)
{
    const QByteArray connection = request.header("connection").toLower();
    if (connection.contains("close"))
        return false;
    return request.version == "HTTP/1.1" || connection.contains("keep-alive");
}

} // namespace

QByteArray HttpRequest::header(const QByteArray &lowerName) const
{
    for (const auto &[name, value] : headers) {
        if (name == lowerName)
            return value;
    }
    return QByteArray();
}

qsizetype HttpRequestReader::room() const
{
    // Room for the largest request: a full head, its terminating empty line and a full body.
    return std::max<qsizetype>(0, kMaxHead + kMaxBody + 4 - buffer_.size());
}

void HttpRequestReader::append(const QByteArray &bytes)
{
    buffer_ += bytes;
}

HttpRequestReader::Result HttpRequestReader::next(HttpRequest *request)
{
    if (failed_ != Result::NeedMore)
        return failed_;
    // Blank lines before a request line are allowed and skipped.
    qsizetype skip = 0;
    while (skip < buffer_.size() && (buffer_[skip] == '\r' || buffer_[skip] == '\n'))
        ++skip;
    buffer_.remove(0, skip);

    qsizetype bodyStart = 0;
    const qsizetype end = headEnd(buffer_, &bodyStart);
    if (end < 0)
        return buffer_.size() > kMaxHead ? (failed_ = Result::TooLarge) : Result::NeedMore;
    if (end > kMaxHead)
        return failed_ = Result::TooLarge;

    HttpRequest parsed;
    const Result head = parseHead(buffer_.left(end), &parsed);
    if (head != Result::Ready)
        return failed_ = head;

    bool lengthOk = true;
    const QByteArray lengthText = parsed.header("content-length");
    const qsizetype bodyLength = lengthText.isEmpty() ? 0 : lengthText.toLongLong(&lengthOk);
    if (!lengthOk || bodyLength < 0)
        return failed_ = Result::Malformed;
    if (bodyLength > kMaxBody || !parsed.header("transfer-encoding").isEmpty())
        return failed_ = Result::TooLarge;
    if (buffer_.size() < bodyStart + bodyLength)
        return Result::NeedMore;

    // The body of a GET means nothing here: it is read past and dropped.
    buffer_.remove(0, bodyStart + bodyLength);
    *request = parsed;
    return Result::Ready;
}

HttpRequestReader::Result HttpRequestReader::parseHead(const QByteArray &head,
                                                       HttpRequest *request) const
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return Result::Malformed;

    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !isTargetText(parts[1])
        || (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0"))
        return Result::Malformed;
    request->method = parts[0];
    request->target = parts[1];
    request->version = parts[2];

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.left(colon)) || hasControls(line))
            return Result::Malformed;
        request->headers.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
    }
    request->keepAlive = wantsKeepAlive(*request);
    return Result::Ready;
}
