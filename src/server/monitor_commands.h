#pragma once

#include <QString>
#include <QStringList>

// The monitor's settings as the server's SETTINGS command reports them.
struct MonitorSettingsReply {
    QStringList values; // nine texts, in the order the monitor's settings read gives them
    QString status;     // "OK" (or empty) when the values are valid, otherwise why not
};

// The monitor operations that client commands run. Each talks to the monitor and keeps the
// event loop running while it waits, so anything may happen before it returns, including the
// client going away.
class MonitorCommands {
public:
    virtual ~MonitorCommands() = default;
    // Inverts the polarity of channel 1 or 2; a failure is reported on the program's own screen.
    virtual void togglePolarity(int channel) = 0;
    virtual MonitorSettingsReply readSettingsForServer() = 0;
    // "OK" or "Error".
    virtual QString resetAccumulated() = 0;
};
