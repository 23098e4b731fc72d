#pragma once

#include "setup_exchange.h"

#include <QString>

#include <optional>

// The setup window's two monitor tests that read an answer: the serial number and the
// attention handshake. Each suspends real time, reports in the setup log and restores.
class UtilityCommands {
public:
    explicit UtilityCommands(const SetupContext &context) : context_(context) {}

    // "Read Serial Number": "SET", then "S", "R" and "N" by the setup window's sender, five bytes
    // and an acknowledgement. The text is "0" followed by the decimal value of each byte (bytes
    // 1, 2, 130, 4, 5 give "01213045"); nothing when the five bytes did not come. [ReadSerialNumber]
    std::optional<QString> readSerialNumber();

    // "Send Acknowledge": sends the attention byte and shows what came back: "Acknowledged" for
    // 0xFC, "Error" for any other byte, nothing when no byte came. [SendAcknowledge]
    std::optional<QString> sendAcknowledge();

    // "Reset Orvo-88" (after the user's Yes): 0xFC, "RQS" and "RST" written whole, each
    // acknowledged, with real time suspended around it; each missing acknowledgement and the
    // outcome are reported in the setup log, a port that fails under it by "Reset Error".
    // True when the reset was acknowledged.
    bool resetFromWindow();

private:
    enum class ResetEnd { Reset, NotReset, Fault };
    static ResetEnd resetSteps(SetupExchange &exchange);

    static std::optional<QString> serialNumberSteps(SetupExchange &exchange);
    static std::optional<QString> acknowledgeSteps(SetupExchange &exchange);

    SetupContext context_;
};
