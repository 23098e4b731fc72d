#pragma once

#include "module_procedures.h"
#include "monitor_commands.h"
#include "settings_read.h"

// The TCP client's monitor commands, run by the setup sequences: their lines land in the setup
// log whether or not the setup window is open.
class SetupMonitorCommands final : public MonitorCommands {
public:
    explicit SetupMonitorCommands(const SetupContext &context)
        : read_(context), procedures_(context)
    {
    }

    void TogglePolarity(int channel) override { procedures_.TogglePolarity(channel); }
    MonitorSettingsReply ReadSettingsForServer() override
    {
        const ServerSettingsRead result = read_.ReadSettingsForServer();
        return {result.texts.toList(), result.status};
    }
    QString ResetAccumulated() override { return procedures_.ResetAccumulated(); }

private:
    SettingsRead read_;
    ModuleProcedures procedures_;
};
