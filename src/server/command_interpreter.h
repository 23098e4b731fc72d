#pragma once

#include "live_reading.h"
#include "load_table.h"
#include "monitor_commands.h"
#include "reporters.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

// Why the next web post happens: a switched load sets both; the web posting reads and clears.
struct LoadSwitchFlags {
    bool loadChanged = false;
    QString triggerSource;
};

// The client's text protocol: one received line in, reply lines and actions out. It knows
// nothing of sockets, so the same rules answer a test table and a real client.
class CommandInterpreter : public QObject {
    Q_OBJECT
public:
    // Receives one reply line, without its CR LF.
    using ReplySink = std::function<void(const QString &line)>;

    CommandInterpreter(const LiveReading &reading, LoadTable &loads, LoadSwitchFlags &loadSwitch,
                       MonitorCommands &monitor, Reporter<UserPrompts> prompts = {},
                       QObject *parent = nullptr);

    // Answers one complete line, its final CR included. Commands that talk to the monitor keep
    // events flowing meanwhile; this object may be destroyed before the call returns.
    void interpret(const QByteArray &line, const ReplySink &send);

    // The line pushed to the client when a posting trigger fires.
    QString pushLine() const;

    // ServerReadOnly: commands that change the monitor or the loads (SETRESET, SETPOL1, SETPOL2,
    // every MOV) are answered "Error! Improper command" and do nothing; reads, TRIGON and
    // TRIGOFF work as before. The check comes after a line is read as a command, so every
    // spelling the rules accept is caught.
    void setReadOnly(bool on) { readOnly_ = on; }
    bool readOnly() const { return readOnly_; }

signals:
    // TRIGON and TRIGOFF: the automatic push is to be switched and the setting stored.
    void autoWriteLocalRequested(bool on);
    // A load was switched; the new mask of loads 1 to 16, to be kept in the settings.
    void loadDataChanged(quint16 loadData);

private:
    void answerReadKey(const QString &key, const ReplySink &send);
    void answerSettings(const ReplySink &send);
    void answerActionKey(const QString &key, const ReplySink &send);
    void runLoadCommand(const QString &command);
    bool changesMonitorOrLoads(const QString &verb, const QString &key) const;
    void tell(const QString &message);

    const LiveReading &reading_;
    LoadTable &loads_;
    LoadSwitchFlags &loadSwitch_;
    MonitorCommands &monitor_;
    Reporter<UserPrompts> prompts_;
    bool readOnly_ = false;
};
