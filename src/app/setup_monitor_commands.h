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

    void togglePolarity(int channel) override { procedures_.togglePolarity(channel); }
    MonitorSettingsReply readSettingsForServer() override
    {
        const ServerSettingsRead result = read_.readSettingsForServer();
        return {result.texts.toList(), result.status};
    }
    QString resetAccumulated() override { return procedures_.resetAccumulated(); }

private:
    SettingsRead read_;
    ModuleProcedures procedures_;
};
