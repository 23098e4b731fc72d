#include "live_feed.h"

#include "clock.h"
#include "mqtt_messages.h"

#include <QJsonDocument>

LiveFeed::LiveFeed(const Clock &clock) : clock_(clock) {}

void LiveFeed::packetDecoded(const LiveReading &reading)
{
    reading_ = reading;
    // Taken as a fixed offset: the real clock looks its time zone up once a quarter hour, not
    // for every packet.
    at_ = clock_.nowWithOffset();
    atMs_ = clock_.monotonicMs();
    ++packets_;
    // The broker's state message is the one description of a reading: the API takes its keys
    // and units as they are.
    state_ = QJsonDocument::fromJson(mqttStatePayload(reading, at_)).object();
}

QByteArray LiveFeed::liveJson(bool linkUp) const
{
    if (!hasPacket())
        return QByteArray();
    QJsonObject live = state_;
    live.insert(QStringLiteral("age"), ageSeconds());
    live.insert(QStringLiteral("link"), linkUp ? QStringLiteral("up") : QStringLiteral("down"));
    return QJsonDocument(live).toJson(QJsonDocument::Compact);
}

double LiveFeed::ageSeconds() const
{
    return double(clock_.monotonicMs() - atMs_) / 1000.0;
}
