#pragma once

#include "decoder_state.h"

#include <QString>

#include <optional>

class SettingsStore;

// The settings the program keeps between runs, with their defaults for a first run.
struct AppSettings {
    qint16 comPort = 1;             // ComPort: serial port number
    quint16 tcpPort = 1234;         // TCPport: TCP data server port, 1 to 65535
    quint8 linkMethod = 0;          // ZigbeeVersion: the code of a LinkMethod (link_method.h)
    double rate = 0.126;            // Rate: cost of a kWh
    bool startupComIsOn = false;    // open the serial port at start-up
    bool startupRtlIsOn = false;    // start real time at start-up
    bool startupServerIsOn = false; // write to the web server from start-up
    bool startupListen = false;     // the TCP server listens while real time flows
    quint16 loadData = 0;           // LoadData: remote loads 1-16 as a bit mask
    DecoderState counters;          // PreResetVal*, E1B/E2B, E1BP/E2BP, OrvoresetCount, OrvoCounter
    qint16 vexThresT = 60;          // web posting: time threshold
    qint16 vexThres1 = 60;          // web posting: CH1 power threshold
    qint16 vexThres2 = 60;          // web posting: CH2 power threshold
    QString vexUser = QStringLiteral("****");
    bool vexWriteEnable = false;
    quint8 autoWriteLocal = 0;
    QString interval;               // written as empty text; nothing sets it
    QString webHost = QStringLiteral("localhost"); // monitoring service: name or name:port
    bool autoRecover = true;        // AutoRecover: reopen a returning device, restart real time
};

// Reads every key (but Interval), each missing or unreadable one giving its default.
AppSettings loadAppSettings(const SettingsStore &store);

// The stored TCPport text when it does not read as a port from 1 to 65535 (it then reads as
// 1234); nothing when it is missing or valid.
std::optional<QString> refusedTcpPort(const SettingsStore &store);

// The stored WebHost when it is not a host ("name" or "name:port"): nothing is posted then.
// Nothing when it is one.
std::optional<QString> refusedWebHost(const AppSettings &settings);

// A stored text as a status line may show it: controls and other unprintable characters become
// "?", so a value cannot start a line of its own, and a long one is cut after 60 characters.
QString printableSettingText(const QString &text);

// The periodic save: the counters and the web posting settings. [SaveSettings]
[[nodiscard]] bool storeSettings(const AppSettings &settings, SettingsStore &store);

// The save at shut-down: counters, start-up flags, link method, loads and web posting.
[[nodiscard]] bool saveSettingsAtShutdown(const AppSettings &settings, SettingsStore &store);
