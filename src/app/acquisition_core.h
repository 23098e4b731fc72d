#pragma once

#include "app_settings.h"
#include "auto_start.h"
#include "command_interpreter.h"
#include "counter_keeper.h"
#include "data_flow_watchdog.h"
#include "data_server.h"
#include "data_server_settings.h"
#include "end_request.h"
#include "http_api.h"
#include "http_settings.h"
#include "history_recorder.h"
#include "load_table.h"
#include "monitor_link.h"
#include "mqtt_publisher.h"
#include "packet_decoder.h"
#include "packet_receiver.h"
#include "periodic_save.h"
#include "quiet_reporting.h"
#include "radio_discovery.h"
#include "realtime_control.h"
#include "recovery.h"
#include "reporters.h"
#include "setup_log.h"
#include "setup_monitor_commands.h"
#include "web_poster.h"

#include <QObject>

class SettingsStore;

// The program's long-lived objects, one instance each for the whole run: the settings, the serial
// session, the packet receiver and decoder, real-time control with its watchdog, the automatic
// start and the periodic save, the setup log and sequences, and the TCP data server, wired
// together. They report to the Reporters given: the main window's widgets, or recorders in tests.
//
// The core holds the program's EndRequest: shutDown requests the end first, so that an exchange
// with the monitor that the orderly end interrupted stops waiting as soon as it resumes.
class AcquisitionCore : public QObject {
    Q_OBJECT
public:
    AcquisitionCore(SerialPort &port, Clock &clock, SettingsStore &store, Reporters reporters,
                    QObject *parent = nullptr);
    ~AcquisitionCore() override;

    // Start-up before the window shows: the settings are read and handed to their users, the
    // port is shown closed and the watchdog and the periodic save run.
    void prepare();
    // Start-up after the window shows: opens the port and arms the automatic start of real time
    // when the settings ask for it, connects to the MQTT broker and opens the HTTP API when
    // those are enabled. With AutoRecover, recovery goes on with what did not work at once.
    void startAutomaticActions();
    // Shut-down: requests the end of the program, closes the port, closes the data server (with
    // a pause for its client), tells the MQTT broker "offline" and writes the settings.
    void shutDown();
    // False when the settings could not be written at shut-down: the program's exit code says so.
    bool finalSaveSucceeded() const { return finalSaveSucceeded_; }
    // The periodic save of the counters and the web posting settings; false when it failed.
    bool saveSettings();
    // Writes one key at once, as the windows that edit single keys do; a failed write is
    // reported like a failed save. False when it failed.
    bool storeSetting(const QString &key, const QString &text);

    // The user's own actions on the port and on real time (menu, communication panel): they
    // also tell recovery whether it may act. Closing the port or stopping real time turns it off
    // until the user opens the port or starts real time again.
    bool openPortByUser();
    void closePortByUser();
    void startRealTimeByUser();
    void stopRealTimeByUser();
    // "Reset Static Pre-Reset Values": the four pre-reset offsets go to 0 in memory and are
    // written at the next save. Emits preResetValuesCleared.
    void clearPreResetValues();

    AppSettings &settings() { return settings_; }
    MonitorLink &link() { return link_; }
    PacketDecoder &decoder() { return decoder_; }
    RealTimeControl &realTime() { return control_; }
    RadioDiscovery &discovery() { return discovery_; }
    DataFlowWatchdog &watchdog() { return watchdog_; }
    AutoStart &autoStart() { return autoStart_; }
    PeriodicSave &periodicSave() { return periodicSave_; }
    // The counters kept beside the settings file every few seconds (none without a file).
    CounterKeeper &counterKeeper() { return counterKeeper_; }
    LoadTable &loads() { return loads_; }
    Recovery &recovery() { return recovery_; }
    SetupLog &setupLog() { return setupLog_; }
    SetupContext setupContext();
    DataServer &server() { return server_; }
    EndRequest &endRequest() { return endRequest_; }
    LoadSwitchFlags &loadSwitch() { return loadSwitch_; }
    // The MQTT publisher and its settings (group "mqtt"), read by prepare().
    MqttPublisher &mqtt() { return mqtt_; }
    const MqttSettings &mqttSettings() const { return mqttSettings_; }
    WebPoster &webPoster() { return webPoster_; }
    // The HTTP API and its settings (group "http"), read by prepare().
    HttpApi &http() { return http_; }
    const HttpSettings &httpSettings() const { return httpSettings_; }
    // New HTTP settings (already stored by the caller): the API listens anew, or stops.
    void applyHttpSettings(const HttpSettings &settings);
    // ListenAddress and ServerReadOnly, read by prepare(). Storing them applies them at once: a
    // server that listens or has a client listens anew on the new address.
    const DataServerSettings &dataServerSettings() const { return dataServerSettings_; }
    void storeDataServerSettings(const DataServerSettings &settings);
    // The energy record (groups "history" and "tariff"), started by prepare().
    HistoryRecorder &history() { return history_; }
    // The "Enable Web Server" box was clicked: the setting is kept and stored at once.
    void storeWebWriteEnable(bool on);

    // The start-up boxes of the options window: the setting is kept and stored at once under its
    // own key. StartupListen takes effect at once for the server's auto-listen.
    enum class StartupOption { Listen, ComPort, RealTime, WebServer };
    void setStartupOption(StartupOption option, bool on);
    // The user's "Send Data to Client" box: the data server pushes (or stops pushing) its line
    // at each trigger, and AutoWriteLocal is stored at once, as a client's TRIGON/TRIGOFF is.
    void setAutoWriteLocalByUser(bool on);
    // A load switched from the options window: the table entry, LoadData and "Load Change" for
    // the next post, then a post at once while web posting is enabled. False, changing and
    // posting nothing, for a load number outside 0 to 16.
    bool switchLoadByUser(int load, bool on);
    // New MQTT settings (already stored by the caller): the publisher reconnects with them, or
    // stops when they are disabled.
    void applyMqttSettings(const MqttSettings &settings);

signals:
    // The pre-reset offsets were cleared: figures built on the static counters start afresh.
    void preResetValuesCleared();

private:
    void applySettings();
    void takeDecoderState();
    void reopenPortQuietly();
    void storeAutoWriteLocal(bool on);
    void readMqttSettingsFromStore();
    HttpSources httpSources();
    void wireMqttHomeAssistant();
    void applyDataServerSettings(const DataServerSettings &settings);
    WebPostingSettings webPostingSettings() const;
    bool reportSave(bool saved);

    // The status log for the parts that hold a StatusLines: it follows the bundle's reporter, so
    // lines go nowhere once the log has gone.
    class ForwardedLines final : public StatusLines {
    public:
        explicit ForwardedLines(Reporter<StatusLines> to) : to_(to) {}
        void addLine(const QString &line) override { to_->addLine(line); }
        void clear() override { to_->clear(); }

    private:
        Reporter<StatusLines> to_;
    };

    EndRequest endRequest_; // first: every wait of the members below looks at it
    SerialPort &port_;
    SettingsStore &store_;
    Reporters reporters_;
    QuietReporting quiet_; // recovery's starts report in status lines only
    Reporters routed_;     // the bundle with the status log and prompts routed through quiet_
    ForwardedLines statusLog_;
    AppSettings settings_;
    LoadTable loads_;
    MonitorLink link_;
    PacketDecoder decoder_;
    PacketReceiver receiver_;
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
    CounterKeeper counterKeeper_;
    MqttSettings mqttSettings_;
    MqttPublisher mqtt_;
    Recovery recovery_;
    WebPoster webPoster_;
    HttpSettings httpSettings_;
    HttpApi http_;
    DataServerSettings dataServerSettings_;
    HistoryRecorder history_;
    bool shutDown_ = false;
    bool saveFailing_ = false;
    bool finalSaveSucceeded_ = true;
};
