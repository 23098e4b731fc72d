#pragma once

// The setup sequences on a FakeSerialPort and a ManualClock, against a monitor double that
// speaks the configuration protocol, with the real-time control attached.

#include "fake_serial_port.h"
#include "manual_clock.h"
#include "monitor_double.h"
#include "monitor_link.h"
#include "radio_discovery.h"
#include "realtime_control.h"
#include "realtime_recorders.h"
#include "recorders.h"
#include "setup_exchange.h"
#include "setup_log.h"
#include "test_fixtures.h"

struct SetupRig {
    ManualClock clock;
    FakeSerialPort port{&clock};
    MonitorDouble monitor{port};
    RecordingStatusLines statusLog;
    RecordingPrompts prompts;
    RecordingRealTimeView view;
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

    // A fault by name: "port cannot open", "mute", "ignore N" (attention bytes), "silent TOKEN"
    // (left unanswered), "lose TOKEN" (the port vanishes when it comes).
    void applyFault(const QString &fault)
    {
        if (fault == "port cannot open") {
            port.close();
            port.failOpen = true;
        } else if (fault.startsWith("lose ")) {
            monitor.loseDeviceOn = fault.mid(5);
        } else if (fault.startsWith("ignore ")) {
            monitor.attentionsToIgnore = fault.mid(7).toInt();
        } else if (fault.startsWith("silent ")) {
            monitor.silent.insert(fault.mid(7));
        } else if (fault == "mute") {
            monitor.mute = true;
        }
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
