#pragma once

// What the publisher's tests share: a publisher on a ManualClock for a test broker.
#include "manual_clock.h"
#include "mosquitto_broker.h"
#include "mqtt_messages.h"
#include "mqtt_publisher.h"
#include "recorders.h"

#include <QTest>

// A test that needs the broker fails without it, naming the Debian packages to install.
#define REQUIRE_BROKER(broker)                                                               \
    if (!(broker).available())                                                               \
        QFAIL(qPrintable((broker).whyNot()));

// A publisher on a ManualClock with its own base topic and discovery prefix, so that retained
// messages of one test do not meet another.
struct Rig {
    explicit Rig(const MosquittoBroker &broker, const QString &name)
    {
        settings.enabled = true;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = broker.port();
        settings.topic = QStringLiteral("orvotove/") + name;
        settings.discoveryPrefix = QStringLiteral("ha_") + name;
        settings.interval = 0;
        settings.username = MosquittoBroker::user();
        settings.password = MosquittoBroker::password();
    }
    QString status() const { return mqttStatusTopic(settings); }
    QStringList topics() const { return {settings.topic + "/#", settings.discoveryPrefix + "/#"}; }
    // Starts the publisher once the subscriber listens; true when the subscriber saw "online".
    bool startAndSeeOnline(MqttSubscriber &sub)
    {
        if (!sub.waitSubscribed())
            return false;
        publisher.start(settings);
        return QTest::qWaitFor([&] { return sub.latest.value(status()) == "online"; }, 5000);
    }

    ManualClock clock;
    RecordingStatusLines log;
    MqttPublisher publisher{clock, &log};
    MqttSettings settings;
};
