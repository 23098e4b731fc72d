#pragma once

// The setup sequences on a FakeSerialPort and a ManualClock, against a monitor double that
// speaks the configuration protocol, with the real-time control attached.

#include "fake_serial_port.h"
#include "manual_clock.h"
#include "monitor_link.h"
#include "radio_discovery.h"
#include "realtime_control.h"
#include "realtime_status_view.h"
#include "recorders.h"
#include "setup_exchange.h"
#include "setup_log.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <functional>

inline const QByteArray kAckByte(1, char(0xFC));

// The monitor's side of the setup commands. Everything it takes lands in the transcript as a
// token: "FC" for an attention byte, the word for a command word ("SET", "CT1", "RQS", or "SS"
// for the doubled letter of the serial-number request), "WORD:n" for a parameter byte n of a
// word. Each token is acknowledged with 0xFC unless it is silent.
class SetupMonitor {
public:
    explicit SetupMonitor(FakeSerialPort &port) : port_(port)
    {
        port_.responder = [this](const QByteArray &bytes) {
            for (const char c : bytes)
                take(static_cast<unsigned char>(c));
        };
    }

    int attentionsToIgnore = 0;
    bool mute = false;
    QSet<QString> silent;                // tokens left unacknowledged
    QHash<QString, QByteArray> replies;  // bytes that follow a token's acknowledgement
    QString loseDeviceOn;                // the port vanishes when this token comes
    QStringList transcript;

private:
    void take(int byte)
    {
        if (paramsLeft_ > 0) {
            --paramsLeft_;
            answer(paramWord_ + ':' + QString::number(byte));
        } else if (byte == 0xFC && word_.isEmpty()) {
            if (attentionsToIgnore > 0) {
                --attentionsToIgnore;
                transcript.append(QStringLiteral("FC"));
            } else {
                answer(QStringLiteral("FC"));
            }
        } else {
            word_ += QChar(byte);
            const bool doubledLetter = word_.size() == 2 && word_.at(0) == word_.at(1);
            if (word_.size() == 3 || doubledLetter)
                takeWord(std::exchange(word_, QString()));
        }
    }
    void takeWord(const QString &word)
    {
        static const QHash<QString, int> kParams{{"TYP", 1}, {"RNG", 1}, {"PTT", 1},
                                                 {"PTR", 1}, {"IVL", 2}, {"UID", 1}};
        paramsLeft_ = kParams.value(word);
        paramWord_ = word;
        answer(word);
    }
    void answer(const QString &token)
    {
        transcript.append(token);
        if (token == loseDeviceOn) {
            port_.loseDevice();
            return;
        }
        if (mute || silent.contains(token))
            return;
        port_.arrive(kAckByte + replies.value(token));
    }

    FakeSerialPort &port_;
    QString word_;
    QString paramWord_;
    int paramsLeft_ = 0;
};

// The real-time fields, recorded; onMainStopped runs when the main window's field shows stopped.
class RecordingFields final : public RealTimeStatusView {
public:
    void showRealTimeActive(Field f) override { shown.append(name(f) + "Real-Time Data Active"); }
    void showRealTimeStopped(Field f) override
    {
        shown.append(name(f) + "Real-Time Data Stopped");
        if (f == Field::MainWindow && onMainStopped)
            onMainStopped();
    }
    static QString name(Field f) { return f == Field::MainWindow ? "main: " : "web: "; }

    QStringList shown;
    std::function<void()> onMainStopped;
};

struct SetupRig {
    ManualClock clock;
    FakeSerialPort port{&clock};
    SetupMonitor monitor{port};
    RecordingStatusLines statusLog;
    RecordingPrompts prompts;
    RecordingFields view;
    MonitorLink link{port, clock, Reporters{.statusLog = &statusLog, .prompts = &prompts}};
    RadioDiscovery discovery{link, statusLog};
    RealTimeControl control{
        link, discovery, nullptr,
        Reporters{.statusLog = &statusLog, .prompts = &prompts, .realTimeView = &view}};
    SetupLog log;
    SetupContext context{&link, &log, Reporters{.prompts = &prompts, .realTimeView = &view}};

    SetupRig()
    {
        clock.setAutoAdvance(true);
        control.setLinkMethod(LinkMethod::UsbCable);
        link.setRealTimeSequences(&control);
    }

    // Opens the port, optionally starts real time, and forgets what that recorded.
    void prepare(bool realTimeOn = false)
    {
        link.openPort();
        if (realTimeOn)
            control.startRealTime();
        port.writes.clear();
        monitor.transcript.clear();
        statusLog.lines.clear();
        view.shown.clear();
    }
};
