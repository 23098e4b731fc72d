#pragma once

#include "monitor_link.h"
#include "reporters.h"
#include "setup_link.h"
#include "setup_log.h"

#include <QByteArray>
#include <QPointer>
#include <QString>

// What the setup sequences work with: the link and the log are program-wide; of the reporters,
// the sequences use prompts and realTimeView (the main window's real-time field).
struct SetupContext {
    MonitorLink *link = nullptr;
    SetupLog *log = nullptr;
    Reporters reporters;
};

// How far a sequence got.
enum class SetupOutcome {
    Completed, // every step ran (a parameter byte's missing acknowledgement is only logged)
    Refused,   // a parameter out of range: nothing sent
    Aborted,   // a missing acknowledgement of the attention byte or a command word
    Fault,     // the port closed (or the link went) under the sequence
};

// The answer to one step of an exchange.
enum class Ack {
    Received,
    Missing,
    Fault, // the port is closed or the link gone: nothing more can be sent
};

// One run of a setup sequence. It lives on the stack of the running call and holds only guarded
// handles, so that whatever an event handled during a wait destroys (the caller, a window, a TCP
// client, even the link at shut-down) the sequence notices and touches nothing that has gone.
class SetupExchange {
public:
    explicit SetupExchange(const SetupContext &context);

    // Null once the link has been destroyed.
    MonitorLink *link() const { return link_; }
    // True while the link exists and its port is open; false means a step would be a fault.
    bool portOpen() const;

    void log(const QString &line);
    void clearLog();
    void message(const QString &text);
    void showRealTimeStopped();
    void setCommandInProgress(bool on);

    // suspendRealTime and restoreRealTime with the setup log as the calling window.
    bool suspend();
    void restore();
    // When real time is on: remembers it for restoreRealTime, logs line (unless empty) and runs
    // the stop sequence. The command keeps the port afterwards, whatever the stop did.
    void stopRealTimeIfOn(const QString &line = QString());

    // The setup window's attention handshake, once; and tried a second time when the first fails.
    Ack attention();
    Ack attentionTwice();
    // Attention (tried twice) and "SET": the opening of every "SET" exchange. Logs "Did not
    // receive ACK 1" or "Abort SET command" when an acknowledgement is missing.
    Ack openSet();
    // Logs line when ack is Missing; gives ack back.
    Ack logIfMissing(Ack ack, const QString &line);
    // A command word by the setup window's sender (three writes, then the acknowledgement).
    Ack word(const QByteArray &word);
    // A parameter byte: one write, then the acknowledgement.
    Ack parameter(quint8 value);
    // waitForAckByte: the next byte, within two seconds, is 0xFC.
    Ack awaitAck();
    // The bytes as one write, then the acknowledgement.
    Ack writeAndAwaitAck(const QByteArray &bytes);
    // The bytes as one write; false when the port is closed.
    bool write(const QByteArray &bytes);

    // Reads and discards what is waiting.
    void drain();
    // delay: waits ms milliseconds while processing events.
    void pause(int ms);
    // Waits, processing events, until count bytes are waiting or the clock's second reaches
    // now + seconds; the port's closing, the link's destruction and a request to end the program
    // end it too. True when they are waiting.
    bool waitForBytes(int count, int seconds);
    // The port's bytes waiting, 0 when the port is closed.
    qint64 bytesWaiting() const;
    // Takes one waiting byte; -1 when none is waiting.
    int readByte();

private:
    Ack ackAfter(bool received) const;

    QPointer<MonitorLink> link_;
    QPointer<SetupLog> log_;
    Reporters reporters_;
    SetupLink setupLink_;
};
