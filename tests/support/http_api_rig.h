#pragma once

// The program's HTTP API on loopback, on a manual clock, with sources a test sets, and a packet
// of known figures.
#include "http_api.h"
#include "http_client.h"
#include "manual_clock.h"
#include "process_fixtures.h"
#include "recorders.h"

#include <QUrl>

inline const QByteArray kToken = "s3cr3t/with+signs";

struct ApiRig {
    ManualClock clock;
    RecordingStatusLines log;
    bool linkUp = true;
    HttpApi api{clock, &log, HttpSources{.linkUp = [this] { return linkUp; },
                                         .mqttConnected = [] { return true; },
                                         .checksumErrors = [] { return quint64(3); },
                                         .suspectDropped = [] { return quint64(1); },
                                         .historyWriteFailures = {}}};
    quint16 port = unusedLoopbackPort();

    explicit ApiRig(const QString &token = QString(), const QString &host = QStringLiteral("127.0.0.1"))
    {
        api.apply({.enabled = true, .listen = QStringLiteral("%1:%2").arg(host).arg(port), .token = token});
    }
    HttpAnswer get(const QString &pathAndQuery, const QList<QPair<QByteArray, QByteArray>> &headers = {})
    {
        return httpGet(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(pathAndQuery)), headers);
    }
    void packet()
    {
        LiveReading r;
        r.watts1 = 1500;
        r.watts2 = 36;
        r.ws1Static = 7200000; // 2 kWh
        r.ws1PolarStatic = 3600000;
        r.volts = 121.7;
        r.amps1 = 12.5f;
        r.pf1 = 0.9f;
        r.seconds = 4242;
        api.packetDecoded(r);
    }
};

