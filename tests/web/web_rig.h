#pragma once

#include "command_interpreter.h"
#include "link_flags.h"
#include "live_reading.h"
#include "manual_clock.h"
#include "web_poster.h"

#include <QStringList>

// A web poster on a manual clock with real time flowing, fed packets by a small script:
// "w1/w2" is a packet with those powers, "t" one second of time, "L" a load switched by a
// client, "off" real time stopping.
struct WebRig {
    ManualClock clock;
    LinkFlags flags{.realTimeOn = true};
    LoadSwitchFlags loadSwitch;
    LiveReading reading;
    WebPostingSettings settings;
    WebPoster poster{reading, clock, flags, loadSwitch};
    int packets = 0;
    int pushes = 0;

    WebRig()
    {
        poster.settings = [this] { return settings; };
        poster.pushReadings = [this] { ++pushes; };
        reading.volts = 121.7;
    }

    void packet(double w1, double w2)
    {
        reading.watts1 = w1;
        reading.watts2 = w2;
        poster.packetDecoded();
        ++packets;
    }

    // Runs the script; each post is listed as "packet index|trigger source|change 1|change 2".
    QStringList play(const QString &script)
    {
        QStringList posts;
        for (const QString &step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const int before = poster.log().rowCount();
            if (step == QLatin1String("t")) {
                clock.advance(1000);
            } else if (step == QLatin1String("L")) {
                loadSwitch.loadChanged = true;
                loadSwitch.triggerSource += QStringLiteral("Load Change");
            } else if (step == QLatin1String("off")) {
                flags.realTimeOn = false;
            } else {
                const auto w = step.split(QLatin1Char('/'));
                packet(w.at(0).toDouble(), w.at(1).toDouble());
            }
            if (poster.log().rowCount() > before) {
                const PostLogRow &row = poster.log().post(0);
                posts << QStringLiteral("%1|%2|%3|%4").arg(packets - 1).arg(row.triggerSource)
                                                       .arg(row.change1).arg(row.change2);
            }
        }
        return posts;
    }
};
