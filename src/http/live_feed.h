#pragma once

#include "live_reading.h"

#include <QDateTime>
#include <QJsonObject>

class Clock;

// What the API knows of the readings: the latest decoded packet, when it came, and how many
// came since the start. It is told of each packet by the decoder's listener.
class LiveFeed {
public:
    // A page calls the stream stopped past this age, as the data-flow watchdog does after its
    // three idle ticks of a second.
    static constexpr int kStaleAfterSeconds = 3;

    explicit LiveFeed(const Clock &clock);

    void packetDecoded(const LiveReading &reading);

    bool hasPacket() const { return packets_ > 0; }
    const LiveReading &reading() const { return reading_; }
    QDateTime lastPacketAt() const { return at_; }
    quint64 packets() const { return packets_; }
    // Seconds since the latest packet came.
    double ageSeconds() const;

    // /api/live: the MQTT state object of the latest packet (the same keys and units), with
    // "age", its age in seconds, and "link", "up" while real-time data flows and "down"
    // otherwise. Nothing before the first packet.
    QByteArray liveJson(bool linkUp) const;

private:
    const Clock &clock_;
    LiveReading reading_;
    QDateTime at_;
    qint64 atMs_ = 0; // on the monotonic clock, for the age
    QJsonObject state_; // built once per packet, not per request
    quint64 packets_ = 0;
};
