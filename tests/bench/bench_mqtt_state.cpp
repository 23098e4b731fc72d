// A decoded packet to its state message at a subscriber on loopback, with Interval 0: a real
// mosquitto broker, the publisher on the event loop and mosquitto_sub as the subscriber. The
// clock starts when the decoder has finished the packet and stops when the subscriber's line
// with that packet's seconds counter arrives. Prints median and 99th percentile; fails only
// when messages go missing, never on speed. Skips (exit 0) without mosquitto.

#include "manual_clock.h"
#include "mosquitto_broker.h"
#include "mqtt_publisher.h"
#include "packet_decoder.h"
#include "packet_encoder.h"
#include "recorders.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kMessages = 1000;
constexpr int kWarmUp = 50;

double percentileMs(const std::vector<qint64> &sorted, double p)
{
    const size_t at = std::min(sorted.size() - 1, size_t(p * double(sorted.size())));
    return double(sorted[at]) / 1e6;
}

// Hands one encoded packet to the decoder, byte by byte after its header.
void decode(PacketDecoder &decoder, const QByteArray &packetBytes)
{
    decoder.startPacket();
    for (int i = packet::kBodyOffset; i < packetBytes.size() && decoder.inPacket(); ++i)
        decoder.takePacketByte(quint8(packetBytes[i]));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    MosquittoBroker broker;
    if (!broker.available()) {
        std::fprintf(stderr, "MQTT state: %s\n", qPrintable(broker.whyNot()));
        return 1;
    }
    ManualClock clock;
    RecordingStatusLines log;
    PacketDecoder decoder(log, clock);
    MqttPublisher publisher(clock, &log);
    MqttSettings settings;
    settings.enabled = true;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = broker.port();
    settings.topic = QStringLiteral("orvotove/bench");
    settings.interval = 0;

    QElapsedTimer sinceDecoded;
    decoder.addDecodedListener([&] {
        sinceDecoded.start();
        publisher.publishReading(decoder.reading());
    });
    MqttSubscriber sub(broker, {QStringLiteral("orvotove/bench/state")});
    if (!sub.waitSubscribed())
        return 1;
    publisher.start(settings);
    if (!QTest::qWaitFor([&] { return publisher.state() == MqttPublisher::State::Connected; }, 10000))
        return 1;

    std::vector<qint64> nsecs;
    PacketFields f;
    for (int i = 1; i <= kMessages + kWarmUp; ++i) {
        f.seconds = quint32(i);
        f.ws1 += 1234;
        f.ws2 += 345;
        clock.advance(1000);
        // The time is taken as the subscriber's line is read, not when a wait looks again.
        qint64 elapsed = -1;
        QEventLoop loop;
        sub.onMessage = [&](const QString &topic) {
            if (QJsonDocument::fromJson(sub.latest.value(topic))["seconds"].toInt() == i) {
                elapsed = sinceDecoded.nsecsElapsed();
                loop.quit();
            }
        };
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        decode(decoder, encodePacket(f));
        if (elapsed < 0)
            loop.exec();
        if (elapsed < 0) {
            std::fprintf(stderr, "MQTT state: message %d did not arrive\n", i);
            return 1;
        }
        if (i > kWarmUp)
            nsecs.push_back(elapsed);
    }
    publisher.shutDown();
    std::sort(nsecs.begin(), nsecs.end());
    std::printf("MQTT state: decoded packet to subscriber, median %.3f ms, p99 %.3f ms (%zu messages)\n",
                percentileMs(nsecs, 0.5), percentileMs(nsecs, 0.99), nsecs.size());
    return 0;
}
