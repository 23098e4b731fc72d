#pragma once

#include "clock.h"
#include "command_interpreter.h"
#include "command_line_reader.h"
#include "data_server_control.h"
#include "link_flags.h"
#include "nested_wait.h"
#include "reporters.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

// The server socket's states by their codes, as clients and the status fields know them. The
// server reports Closed, Listening, Connected, Closing and Error; the others are passing states
// of the socket that the server never stops in.
enum class ServerState {
    Closed = 0,
    Open = 1,
    Listening = 2,
    ConnectionPending = 3,
    ResolvingHost = 4,
    HostResolved = 5,
    Connecting = 6,
    Connected = 7,
    Closing = 8, // the client has closed its side
    Error = 9,
};

// The TCP data server: one endpoint that listens, and then is the connection to its one client.
// It listens only while real-time data flows, shows its state every 800 ms, and returns to
// listening after a client leaves or an error. Client lines go to the CommandInterpreter.
class DataServer : public QObject, public DataServerControl {
    Q_OBJECT
public:
    static constexpr int kDisplayTickMs = 800;
    static constexpr int kRecoveryTickMs = 3000;

    // Both ticks run from construction on. The flags' realTimeOn decides whether open listens.
    // The state is shown on view (the main window's server field and title).
    DataServer(Clock &clock, const LinkFlags &flags, CommandInterpreter &interpreter,
               Reporter<ServerStatusView> view, QObject *parent = nullptr);
    ~DataServer() override;

    // TCPport, read at each open; a value outside 0 to 65535 makes listening fail.
    void setPort(int port) { port_ = port; }
    // StartupListen: the display tick reopens a closed server.
    void setStartupListen(bool on) { startupListen_ = on; }
    // AutoWriteLocal: pushReadings sends the ALL line.
    void setAutoWriteLocal(bool on) { autoWriteLocal_ = on; }
    bool autoWriteLocal() const { return autoWriteLocal_; }
    // ListenAddress: any address by default; tests keep to loopback. Taken at the next listen.
    void setListenAddress(const QHostAddress &address) { address_ = address; }

    ServerState state() const;
    // The port actually listened on (useful with port 0); 0 when not listening.
    quint16 listeningPort() const { return listener_.serverPort(); }

    // "Open Socket": listens, unless real time is off or a client is connected.
    void open();
    // The communication panel's TCP port field: takes the new port, closes the endpoint
    // (dropping a client) and listens on that port at once, whether real time flows or not.
    void listenOn(int port);
    // "Close Socket": closes, pauses 1000 ms, then shows the state (and may reopen).
    void close();
    // The setup window's test buttons: closes, then listens on port whether real time runs or
    // not (true when listening); and closes at once, without the pause of close().
    bool listenOn(quint16 port);
    void closeNow();
    // Program end: a server that is not closed is closed, then a pause of 800 ms; from then on
    // it stays closed, and is shown closed, whatever the ticks find.
    void shutDown();
    // A posting trigger fired: with AutoWriteLocal on, the connected client gets the ALL line.
    void pushReadings();

    // DataServerControl
    void openServer() override { open(); }
    bool isServerClosed() const override { return state() == ServerState::Closed; }

signals:
    // A client's TRIGON/TRIGOFF switched AutoWriteLocal; the setting is to be stored.
    void autoWriteLocalChanged(bool on);

private:
    void listen();
    void displayTick();
    void recoveryTick();
    void takeConnection();
    void receive();
    // Answers the line waiting on socket, if a whole one waits; true when more text waits after
    // the answer (it arrived during a monitor command).
    bool answerPendingLine(const QPointer<QTcpSocket> &socket);
    void closeSocket();
    void dropClient();
    void retire(QTcpSocket *socket);
    void deleteRetired();
    void show(ServerState state);
    void sendLine(QTcpSocket *socket, const QString &text);
    // Waits ms milliseconds processing events; after GuardDestroyed this object is gone.
    WaitEnd pause(int ms, bool throughEndRequest = false);
    void switchAutoWriteLocal(bool on);

    Clock &clock_;
    const LinkFlags &flags_;
    CommandInterpreter &interpreter_;
    Reporter<ServerStatusView> view_;
    QTcpServer listener_;
    QPointer<QTcpSocket> client_;
    // Connections dropped while a client line is being answered: a socket must not be deleted
    // while its own signal is still on the stack, so they go when the outermost answer ends.
    QList<QPointer<QTcpSocket>> retired_;
    int answering_ = 0;
    CommandLineReader reader_;
    std::unique_ptr<ClockTimer> displayTimer_;  // Timer5
    std::unique_ptr<ClockTimer> recoveryTimer_; // Timer6
    QHostAddress address_ = QHostAddress::Any;
    int port_ = 1234;
    bool startupListen_ = false;
    bool autoWriteLocal_ = false;
    bool listenerFailed_ = false;
    bool clientFailed_ = false;
    bool shutDown_ = false; // closed for good: the ticks no longer open it or show it open
};
