#include "live_events.h"

#include "clock.h"
#include "http_logging.h"
#include "live_feed.h"

#include <QJsonDocument>
#include <QJsonObject>

LiveEvents::LiveEvents(Clock &clock, const LiveFeed &feed, std::function<bool()> linkUp,
                       QObject *parent)
    : QObject(parent), feed_(feed), linkUp_(std::move(linkUp)), status_(clock.createTimer(this))
{
    connect(status_.get(), &ClockTimer::timeout, this, &LiveEvents::sendStatus);
}

LiveEvents::~LiveEvents() = default;

QByteArray LiveEvents::event(const QByteArray &name, const QByteArray &data)
{
    // The data are compact JSON: one line, so one data field carries them.
    return "event: " + name + "\ndata: " + data + "\n\n";
}

void LiveEvents::handle(const QHttpServerRequest &, HttpResponder responder)
{
    if (streams() >= kMaxStreams) {
        qCInfo(lcHttp) << "a page asked for live events past" << kMaxStreams << "streams; refused";
        responder.send(HttpReply::text(503, "Too many pages follow the stream; try again later"));
        return;
    }
    HttpReply head;
    head.contentType = "text/event-stream; charset=utf-8";
    // A proxy in front must pass each event on at once rather than gather them.
    head.addHeader("X-Accel-Buffering", "no");
    head.body = "retry: " + QByteArray::number(kRetryMs) + "\n\n"
        + event("hello", QJsonDocument(QJsonObject{{"stale_after_s", LiveFeed::kStaleAfterSeconds}})
                             .toJson(QJsonDocument::Compact));
    if (feed_.hasPacket())
        head.body += event("live", feed_.liveJson(linkUp_ && linkUp_()));
    if (!responder.startStream(head))
        return;
    streams_.append(std::move(responder));
    if (!status_->isActive())
        status_->start(kStatusIntervalMs);
    qCDebug(lcHttp) << "live events to" << streams() << "page(s)";
}

void LiveEvents::packetDecoded()
{
    if (!streams_.isEmpty())
        broadcast(event("live", feed_.liveJson(linkUp_ && linkUp_())));
}

void LiveEvents::sendStatus()
{
    broadcast(event("status", statusData()));
}

QByteArray LiveEvents::statusData() const
{
    QJsonObject status{{"link", linkUp_ && linkUp_() ? "up" : "down"}};
    status.insert("age", feed_.hasPacket() ? QJsonValue(feed_.ageSeconds()) : QJsonValue());
    return QJsonDocument(status).toJson(QJsonDocument::Compact);
}

void LiveEvents::broadcast(const QByteArray &event)
{
    // A stream that cannot take the event has ended; its responder goes with it.
    for (auto stream = streams_.begin(); stream != streams_.end();)
        stream = stream->writeStream(event) ? stream + 1 : streams_.erase(stream);
    if (streams_.isEmpty())
        status_->stop();
}

void LiveEvents::closeAll()
{
    streams_.clear();
    status_->stop();
}
