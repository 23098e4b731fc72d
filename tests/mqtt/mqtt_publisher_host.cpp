// Hosts an MQTT publisher on a real clock: mqtt_publisher_host PORT TOPIC. Prints "connected"
// once the broker accepted it, then runs until killed.
#include "clock.h"
#include "mqtt_publisher.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    SystemClock clock;
    MqttPublisher publisher(clock, {});
    QObject::connect(&publisher, &MqttPublisher::stateChanged, [](MqttPublisher::State s) {
        if (s == MqttPublisher::State::Connected) {
            std::puts("connected");
            std::fflush(stdout);
        }
    });
    MqttSettings settings;
    settings.enabled = true;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = QString::fromLocal8Bit(argv[1]).toInt();
    settings.topic = QString::fromLocal8Bit(argv[2]);
    publisher.start(settings);
    return app.exec();
}
