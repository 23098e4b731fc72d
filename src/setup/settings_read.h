#pragma once

#include "settings_block.h"
#include "setup_exchange.h"

#include <optional>

// What the TCP server's SETTINGS command gets: the nine texts (empty unless the status is "OK")
// and a status: "OK", "No response from monitor.", "Could not read settings... Try again.",
// "Error # 33", or empty when the port failed in the middle of the read.
struct ServerSettingsRead {
    SettingsTexts texts;
    QString status;
};

// Reads the monitor's settings block ("SET", "RCV", then 33 bytes) and turns it into texts.
class SettingsRead {
public:
    explicit SettingsRead(const SetupContext &context) : context_(context) {}

    // Asks for the block; true when "RCV" was acknowledged and exactly 33 bytes are then
    // waiting. Runs after suspendRealTime: stops real time again if it still shows on and keeps
    // the restart that suspendRealTime planned. When true, the command keeps the port so that
    // the packet receiver leaves the block to its reader; otherwise the port is let go. [ReadSettings]
    bool readSettings();

    // "Read Orvo-88 Settings": suspends real time, reads, reports in the setup log and restores.
    // The texts, or nothing when the read failed.
    std::optional<SettingsTexts> readSettingsForWindow();

    // The same read for the TCP server, reporting by status instead of log lines. [ReadSettingsForServer]
    ServerSettingsRead readSettingsForServer();

private:
    enum class Request { BlockWaiting, NotRead, Fault };
    enum class Outcome { Read, NotRead, WrongCount, Fault };
    // Which copy of the attention handshake drains the block's last byte.
    enum class Drain { SetupHandshake, MainHandshake };

    static Request requestBlock(SetupExchange &exchange);
    static Outcome readBlock(SetupExchange &exchange, Drain drain, SettingsTexts &texts);

    SetupContext context_;
};
