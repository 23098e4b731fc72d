#pragma once

#include "setup_exchange.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The four sequences that write the monitor's settings: attention, "SET", then a command word
// and its parameter bytes, each acknowledged. A missing acknowledgement of a command word ends
// the sequence with an abort line in the setup log; one of a parameter byte is logged and the
// sequence goes on. A completed sequence logs nothing: the caller reports completion.
class SettingWrites {
public:
    explicit SettingWrites(const SetupContext &context) : context_(context) {}

    // CT type and range of channel 1 or 2 ("CT1"/"CT2", "TYP", type, "RNG", range). A range
    // outside 1-10, or a channel other than 1 and 2, sends nothing. [WriteCTsetting]
    SetupOutcome writeCtSetting(quint8 ctType, quint8 ctRange, quint8 channel);
    // PT type and range ("PTT", type, "PTR", range); a range outside 1-10 sends nothing. [WritePTsetting]
    SetupOutcome writePtSetting(quint8 ptType, quint8 ptRange);
    // The data-logger storage interval in minutes, high byte first ("IVL", hi, lo). [WriteIntervalsetting]
    SetupOutcome writeIntervalSetting(quint8 hiVal, quint8 loVal);
    // The device ID ("UID", id); 128 or more sends nothing. [WriteDeviceID]
    SetupOutcome writeDeviceId(quint8 id);

private:
    // One step after the opening: a command word, or a parameter byte.
    struct Step {
        QByteArray word;   // empty for a parameter byte
        quint8 value = 0;  // the parameter byte
        QString failureLine;
    };
    static Step command(const char *word, const char *abortLine);
    static Step byte(quint8 value, const char *failureLine);

    SetupOutcome run(const std::vector<Step> &steps, const QString &faultMessage);

    SetupContext context_;
};
