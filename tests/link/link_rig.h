#pragma once

// A MonitorLink on a FakeSerialPort and a ManualClock, with recording reporters.

#include "fake_serial_port.h"
#include "manual_clock.h"
#include "monitor_link.h"
#include "realtime_sequences.h"
#include "recorders.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <memory>

inline const QByteArray kAck(1, char(0xFC));

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

// A monitor that acknowledges the attention byte and every complete command word with 0xFC.
// Bytes are written one at a time, so the word is assembled from consecutive writes.
class AckingMonitor {
public:
    explicit AckingMonitor(FakeSerialPort &port) : port_(port)
    {
        port_.responder = [this](const QByteArray &bytes) { onWrite(bytes); };
    }
    QByteArray reply = kAck; // what the monitor answers, empty for silence
    QList<QByteArray> words; // command words received

private:
    void onWrite(const QByteArray &bytes)
    {
        for (char c : bytes) {
            if (static_cast<unsigned char>(c) == 0xFC) {
                pending_.clear();
                port_.arrive(reply);
                continue;
            }
            pending_.append(c);
            if (pending_.size() == 3) {
                words.append(pending_);
                pending_.clear();
                port_.arrive(reply);
            }
        }
    }
    FakeSerialPort &port_;
    QByteArray pending_;
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
