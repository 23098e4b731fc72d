#pragma once

// A MonitorLink on a FakeSerialPort and a ManualClock, with recording reporters.

#include "fake_serial_port.h"
#include "manual_clock.h"
#include "monitor_double.h"
#include "monitor_link.h"
#include "realtime_sequences.h"
#include "recorders.h"
#include "test_fixtures.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <memory>

class RecordingSequences final : public RealTimeSequences {
public:
    void startRealTime() override
    {
        calls.append(QStringLiteral("start"));
        if (onStart)
            onStart();
    }
    void stopRealTime() override
    {
        calls.append(QStringLiteral("stop"));
        if (onStop)
            onStop();
    }
    QStringList calls;
    std::function<void()> onStart;
    std::function<void()> onStop;
};

struct LinkRig {
    ManualClock clock;
    FakeSerialPort port{&clock};
    RecordingStatusLines statusLog;
    RecordingPortView portView;
    RecordingPrompts prompts;
    RecordingSequences sequences;
    int searches = 0;
    std::unique_ptr<MonitorLink> link;

    LinkRig()
    {
        link = std::make_unique<MonitorLink>(
            port, clock,
            Reporters{.statusLog = &statusLog,
                      .portView = &portView,
                      .prompts = &prompts,
                      .searchForPorts = [this] { ++searches; }});
        link->setRealTimeSequences(&sequences);
        clock.setAutoAdvance(true);
    }

    // Opens the port through the link and forgets what that recorded.
    void openPort()
    {
        link->openPort();
        portView.shown.clear();
        port.writes.clear();
    }
};
