#pragma once

#include "clock.h"
#include "link_flags.h"
#include "nested_wait.h"
#include "realtime_sequences.h"
#include "reporters.h"
#include "serial_port.h"

#include <QByteArray>
#include <QObject>

#include <memory>

// The serial session with the monitor: opening and closing the port, the delay
// that keeps the user interface alive, the attention-byte handshake, the command words, and the
// suspension of real time around a setup command.
//
// Everything runs on the user-interface thread. delay and handshake process events while
// they wait, so anything (even the destruction of this object or of a calling window) may happen
// inside them; the operations re-read their state after every wait.
class MonitorLink : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned char kAttentionByte = 0xFC;

    // Reports go to the bundle's statusLog, portView and prompts; searchForPorts runs when the
    // user asks to search for ports.
    MonitorLink(SerialPort &port, Clock &clock, Reporters reporters, QObject *parent = nullptr);
    ~MonitorLink() override;

    // ComPortNumber: which port openPort opens (1 to 64, default 1), through
    // PortNames::deviceForPort.
    void setPortNumber(int n) { portNumber_ = n; }
    int portNumber() const { return portNumber_; }

    // The real-time control's start and stop sequences; null runs none.
    void setRealTimeSequences(RealTimeSequences *sequences) { sequences_ = sequences; }
    RealTimeSequences &realTimeSequences() const { return sequences_.get(); }

    LinkFlags &flags() { return flags_; }
    SerialPort &port() { return port_; }
    Clock &clock() { return clock_; }

    // Closes the port if open, opens the configured one with the fixed line settings, shows it
    // open and waits 500 ms. Once the end of the program is requested, opens nothing and
    // returns false without a question. On failure asks "Invalid COM port. Would you like to search for
    // available ports?" and, on Yes, runs searchForPorts. True when the port is open. [OpenMonitorPort]
    bool openPort();
    // Closes the port if open and shows it closed (also when it was closed already). [CloseMonitorPort]
    void closePort();
    // Waits ms milliseconds on the one shared delay timer (Timer1) while processing events. A
    // delay started during another restarts the timer with its own delay; both end when it fires.
    // A request to end the program ends it at once. How it ended; after GuardDestroyed this
    // object is gone. [Dly]
    WaitEnd delay(int ms);

    // Waits, without processing events, up to the second-of-minute deadline now + 2 for a byte;
    // true when it is 0xFC. Any other byte is consumed and gives false. [WaitForAckByte]
    bool waitForAckByte();
    // The main window's handshake: opens the port if closed (on failure adds the error line to
    // the StatusLog), empties the receive buffer, sends 0xFC and waits, processing events, up to
    // the deadline now + 3 (taken before emptying). True when the reply is 0xFC. [Send_Receive_Ack]
    bool handshake();
    // The main window's sender: the first, second and last character of word as three
    // single-byte writes. When waitForAck is set, waits for the acknowledge and, if it came,
    // pauses 140 ms. Always true. [SendASCII]
    bool sendWord(const QByteArray &word, bool waitForAck);

    // Before a setup command: opens the port if needed (false if that fails), stops real time if
    // it is on (remembering it in realTimeWasOn), sets commandInProgress. Lines go to window. [SuspendRealTime]
    bool suspendRealTime(StatusLines &window);
    // After a setup command: restarts real time if suspendRealTime stopped it, then clears
    // commandInProgress. [RestoreRealTime]
    void restoreRealTime(StatusLines &window);

    // Building blocks shared with the setup window's own copies (SetupLink).
    // Steps 2 to 6 of handshake, on the port as it is.
    bool exchangeAttentionByte();
    // The three single-byte writes of a command word.
    void writeCommandWord(const QByteArray &word);

signals:
    void portOpened();
    void portClosed();

private:
    void showOpen();
    void showClosed();
    void onDeviceLost();

    SerialPort &port_;
    Clock &clock_;
    Reporters reporters_;
    Reporter<RealTimeSequences> sequences_;
    std::unique_ptr<ClockTimer> timer1_;
    quint64 timer1Ticks_ = 0;
    LinkFlags flags_;
    int portNumber_ = 1;
};
