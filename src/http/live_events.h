#pragma once

#include "http_service.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class Clock;
class ClockTimer;
class LiveFeed;

// /api/events: the live readings as Server-Sent Events, for pages that follow the stream.
// Each connection gets "hello" (when the stream counts as stopped), the latest packet as
// "live" when there is one, then "live" for every decoded packet and "status" (link and age)
// every few seconds, which also keeps quiet connections and their proxies open. The number of
// streams is bounded; a client that stops reading is dropped by the service, and one that is
// gone is forgotten at the next event.
class LiveEvents final : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxStreams = 32; // half the listener's connections
    static constexpr int kStatusIntervalMs = 5000;
    // A browser that lost the stream tries again after this long.
    static constexpr int kRetryMs = 5000;

    LiveEvents(Clock &clock, const LiveFeed &feed, std::function<bool()> linkUp,
               QObject *parent = nullptr);
    ~LiveEvents() override;

    void handle(const QHttpServerRequest &request, HttpResponder responder);
    // The decoder's listener, after the feed has taken the packet.
    void packetDecoded();
    // Ends every stream (the listener is closing).
    void closeAll();

    int streams() const { return int(streams_.size()); }

    // One event in the stream's format: "event: <name>", a data line, an empty line.
    static QByteArray event(const QByteArray &name, const QByteArray &data);

private:
    void sendStatus();
    void broadcast(const QByteArray &event);
    QByteArray statusData() const;

    const LiveFeed &feed_;
    std::function<bool()> linkUp_;
    std::unique_ptr<ClockTimer> status_;
    QList<HttpResponder> streams_;
};
