#pragma once

#include "app_settings.h"
#include "auto_start.h"
#include "command_interpreter.h"
#include "data_flow_watchdog.h"
#include "data_server.h"
#include "load_table.h"
#include "monitor_link.h"
#include "packet_decoder.h"
#include "packet_receiver.h"
#include "periodic_save.h"
#include "radio_discovery.h"
#include "realtime_control.h"
#include "setup_log.h"
#include "setup_monitor_commands.h"

#include <QObject>

#include <functional>

class BusyIndicator;
class RealTimeStatusView;
class ServerStatusView;
class SettingsStore;

// Where the program's long-lived objects report to the user; the main window fills it, tests
// fill it with recorders. Any member may be empty.
struct CoreReporters {
    StatusLines *statusLog = nullptr;
    PortStatusView *portView = nullptr;
    UserPrompts *prompts = nullptr;
    RealTimeStatusView *realTimeView = nullptr;
    BusyIndicator *busy = nullptr;
    ServerStatusView *serverView = nullptr;
    std::function<void()> openCommunicationPanel;
};

// The program's long-lived objects, one instance each for the whole run: the settings, the serial
// session, the packet receiver and decoder, real-time control with its watchdog, the automatic
// start and the periodic save, the setup log and sequences, and the TCP data server, wired
// together.
class AcquisitionCore : public QObject {
    Q_OBJECT
public:
    AcquisitionCore(SerialPort &port, Clock &clock, SettingsStore &store, CoreReporters reporters,
                    QObject *parent = nullptr);
    ~AcquisitionCore() override;

    // Start-up before the window shows: the settings are read and handed to their users, the
    // port is shown closed and the watchdog and the periodic save run.
    void prepare();
    // Start-up after the window shows: opens the port and arms the automatic start of real time
    // when the settings ask for it.
    void startAutomaticActions();
    // Shut-down: closes the port, closes the data server (with a pause for its client) and
    // writes the settings.
    void shutDown();
    // False when the settings could not be written at shut-down: the program's exit code says so.
    bool finalSaveSucceeded() const { return finalSaveSucceeded_; }
    // The periodic save of the counters and the web posting settings; false when it failed.
    bool saveSettings();

    AppSettings &settings() { return settings_; }
    MonitorLink &link() { return link_; }
    PacketDecoder &decoder() { return decoder_; }
    RealTimeControl &realTime() { return control_; }
    RadioDiscovery &discovery() { return discovery_; }
    DataFlowWatchdog &watchdog() { return watchdog_; }
    AutoStart &autoStart() { return autoStart_; }
    PeriodicSave &periodicSave() { return periodicSave_; }
    LoadTable &loads() { return loads_; }
    SetupLog &setupLog() { return setupLog_; }
    SetupContext setupContext();
    DataServer &server() { return server_; }
    LoadSwitchFlags &loadSwitch() { return loadSwitch_; }

private:
    void applySettings();
    void takeDecoderState();
    void reopenPortQuietly();
    void storeAutoWriteLocal(bool on);
    bool reportSave(bool saved);

    // Status lines go nowhere when no log is given.
    class DiscardedLines final : public StatusLines {
    public:
        void addLine(const QString &) override {}
        void clear() override {}
    };

    SerialPort &port_;
    SettingsStore &store_;
    DiscardedLines discarded_;
    StatusLines &statusLog_;
    AppSettings settings_;
    LoadTable loads_;
    MonitorLink link_;
    PacketDecoder decoder_;
    PacketReceiver receiver_;
    UserPrompts *prompts_;
    RealTimeStatusView *realTimeView_;
    SetupLog setupLog_;
    SetupMonitorCommands monitorCommands_;
    LoadSwitchFlags loadSwitch_;
    CommandInterpreter interpreter_;
    DataServer server_;
    RadioDiscovery discovery_;
    RealTimeControl control_;
    DataFlowWatchdog watchdog_;
    AutoStart autoStart_;
    PeriodicSave periodicSave_;
    bool shutDown_ = false;
    bool saveFailing_ = false;
    bool finalSaveSucceeded_ = true;
};
