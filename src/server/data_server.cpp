#include "data_server.h"

#include "server_logging.h"

namespace {

constexpr int kClosePauseMs = 1000;
constexpr int kRecoveryPauseMs = 800;
constexpr int kShutDownPauseMs = 800;
// Replies to a client that does not read them stop being queued past this much unsent text.
constexpr qint64 kMaxUnsentBytes = 256 * 1024;

struct StateDisplay {
    ServerState state;
    const char *status;
    ServerColour colour;
    const char *title;
};

constexpr StateDisplay kDisplays[] = {
    {ServerState::Closed, "TCP Server Closed", ServerColour::WhiteOnRed, "Orvo-88 Stayhost Closed"},
    {ServerState::Listening, "TCP Server Listening", ServerColour::BlackOnYellow,
     "Orvo-88 Stayhost Listening"},
    {ServerState::Connected, "TCP Server Connected", ServerColour::BlackOnGreen,
     "Orvo-88 Stayhost Connected"},
    {ServerState::Error, "TCP Server Error", ServerColour::WhiteOnBlack, "Orvo-88 Stayhost Error"},
};

} // namespace

DataServer::DataServer(Clock &clock, const LinkFlags &flags, CommandInterpreter &interpreter,
                       Reporter<ServerStatusView> view, QObject *parent)
    : QObject(parent),
      clock_(clock),
      flags_(flags),
      interpreter_(interpreter),
      view_(view),
      displayTimer_(clock.createTimer(this)),
      recoveryTimer_(clock.createTimer(this))
{
    // Connections waiting beyond the first are dropped when listening ends.
    listener_.setMaxPendingConnections(1);
    connect(&listener_, &QTcpServer::newConnection, this, &DataServer::takeConnection);
    connect(&listener_, &QTcpServer::acceptError, this, [this] { listenerFailed_ = true; });
    connect(&listener_, &QTcpServer::acceptError, this, [this] {
        qCInfo(lcServer).noquote() << "cannot take a connection:" << listener_.errorString();
    });
    connect(&interpreter_, &CommandInterpreter::autoWriteLocalRequested, this,
            &DataServer::switchAutoWriteLocal);
    connect(displayTimer_.get(), &ClockTimer::timeout, this, &DataServer::displayTick);
    connect(recoveryTimer_.get(), &ClockTimer::timeout, this, &DataServer::recoveryTick);
    displayTimer_->start(kDisplayTickMs);
    recoveryTimer_->start(kRecoveryTickMs);
}

DataServer::~DataServer()
{
    dropClient();
    if (answering_ == 0) {
        deleteRetired();
        return;
    }
    // Destroyed from inside a client's answer: its socket is still in use up the stack, and
    // outlives the server rather than be deleted under it.
    for (const QPointer<QTcpSocket> &socket : std::as_const(retired_)) {
        if (socket)
            socket->setParent(nullptr);
    }
}

ServerState DataServer::state() const
{
    if (client_) {
        if (clientFailed_)
            return ServerState::Error;
        return client_->state() == QAbstractSocket::ConnectedState ? ServerState::Connected
                                                                   : ServerState::Closing;
    }
    if (listenerFailed_)
        return ServerState::Error;
    return listener_.isListening() ? ServerState::Listening : ServerState::Closed;
}

void DataServer::open()
{
    if (!flags_.realTimeOn || state() == ServerState::Connected)
        return;
    listen();
}

void DataServer::listenOn(int port)
{
    port_ = port;
    listen();
}

void DataServer::listen()
{
    closeSocket();
    if (shutDown_)
        return;
    const bool validPort = port_ >= 0 && port_ <= 0xFFFF;
    listenerFailed_ = !validPort || !listener_.listen(address_, quint16(port_));
    qCInfo(lcServer).noquote() << (listenerFailed_ ? "cannot listen on port" : "listening on port")
                               << port_ << "of" << address_.toString()
                               << (listenerFailed_ ? listener_.errorString() : QString());
    if (state() == ServerState::Listening) {
        // The colon differs from the tick's title; kept as users know it: see docs/compatibility.md
        view_->setWindowTitle(QStringLiteral("Orvo-88 Stayhost : Listening"));
        view_->showServerStatus(QStringLiteral("TCP Server Listening"),
                                ServerColour::BlackOnYellow);
    }
}

void DataServer::close()
{
    qCInfo(lcServer) << "closing on request";
    closeSocket();
    // Not when this object went, nor once the program is ending: the tick might listen again.
    if (pause(kClosePauseMs) == WaitEnd::Deadline)
        displayTick();
}

bool DataServer::listenOn(quint16 port)
{
    closeSocket();
    if (shutDown_)
        return false;
    listenerFailed_ = !listener_.listen(address_, port);
    qCInfo(lcServer) << "test listen on port" << port << (listenerFailed_ ? "failed" : "succeeded");
    return state() == ServerState::Listening;
}

void DataServer::closeNow()
{
    qCInfo(lcServer) << "closing at once on request";
    closeSocket();
}

void DataServer::shutDown()
{
    const bool wasClosed = state() == ServerState::Closed;
    // The ticks go on during the pause below: from here on they find the server closed.
    shutDown_ = true;
    if (wasClosed)
        return;
    qCInfo(lcServer) << "closing at shut-down";
    closeSocket();
    show(ServerState::Closed);
    // The orderly end itself: its pause for the client runs whole.
    pause(kShutDownPauseMs, true);
}

void DataServer::pushReadings()
{
    if (autoWriteLocal_ && state() == ServerState::Connected)
        sendLine(client_, interpreter_.pushLine());
}

void DataServer::displayTick()
{
    if (state() == ServerState::Closing)
        qCInfo(lcServer) << "client has left; server closed";
    if (state() == ServerState::Closing)
        closeSocket();
    show(state());
    if (startupListen_ && state() == ServerState::Closed)
        open();
}

void DataServer::recoveryTick()
{
    if (state() == ServerState::Connected)
        return;
    if (state() == ServerState::Error) {
        qCInfo(lcServer) << "in error: closing, then listening again";
        closeSocket();
        if (pause(kRecoveryPauseMs) != WaitEnd::Deadline)
            return;
    }
    // The pause ran other events: a tick may have opened the server meanwhile.
    if (state() == ServerState::Closed)
        open();
}

void DataServer::takeConnection()
{
    QTcpSocket *socket = listener_.nextPendingConnection();
    if (!socket)
        return;
    // The endpoint becomes this client's connection: nobody else can connect until it is gone.
    listener_.close();
    dropClient();
    socket->setParent(this);
    // Qt's own buffer stays small too; the reader drains it past its limit.
    socket->setReadBufferSize(64 * 1024);
    client_ = socket;
    qCInfo(lcServer).noquote() << "client connected from" << socket->peerAddress().toString()
                               << "port" << socket->peerPort() << "; listening stops";
    clientFailed_ = false;
    reader_.reset();
    connect(socket, &QTcpSocket::readyRead, this, &DataServer::receive);
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError error) {
                qCInfo(lcServer).noquote() << "client socket:" << socket->errorString();
                // A client that leaves is the ordinary end of a connection, not a failure.
                if (socket == client_ && error != QAbstractSocket::RemoteHostClosedError)
                    clientFailed_ = true;
            });
}

void DataServer::receive()
{
    const QPointer<QTcpSocket> socket = qobject_cast<QTcpSocket *>(sender());
    // Text that arrives while a command talks to the monitor stays pending; the command's end
    // takes it up below, since the socket does not signal it again.
    if (!socket || socket != client_ || answering_ > 0)
        return;
    const QPointer<DataServer> self(this);
    while (answerPendingLine(socket) && self && socket && socket == client_) {
    }
}

bool DataServer::answerPendingLine(const QPointer<QTcpSocket> &socket)
{
    QByteArray line;
    switch (reader_.read(*socket, line)) {
    case CommandLineReader::Result::Incomplete:
        return false;
    case CommandLineReader::Result::TooLong:
        qCInfo(lcServer) << "command line too long: refused";
        sendLine(socket, QStringLiteral("Error! Command too long"));
        return false;
    case CommandLineReader::Result::Line:
        break;
    }
    qCDebug(lcServer) << "command line" << line;
    if (socket->state() != QAbstractSocket::ConnectedState) {
        view_->setWindowTitle(QStringLiteral("TCP Server : Chatting with "));
        qCInfo(lcServer) << "command on a connection no longer up: \"myname\" offered";
        // Kept as clients know it: see docs/compatibility.md
        socket->write("myname"); // to a closed connection: a failed write is of no concern
        return false;
    }
    // The reply goes to the client that asked, or nowhere if it left during a monitor command.
    // The command waits on the setup sequences' guards: this object may go meanwhile.
    const QPointer<DataServer> self(this);
    ++answering_;
    interpreter_.interpret(line, [socket, this](const QString &reply) {
        sendLine(socket, reply);
    });
    if (!self)
        return false;
    if (--answering_ == 0)
        deleteRetired();
    return socket && socket->bytesAvailable() > 0;
}

void DataServer::closeSocket()
{
    dropClient();
    listener_.close();
    listenerFailed_ = false;
}

void DataServer::dropClient()
{
    clientFailed_ = false;
    if (!client_)
        return;
    QTcpSocket *socket = client_;
    qCInfo(lcServer) << "client connection dropped";
    client_ = nullptr;
    retire(socket);
}

void DataServer::retire(QTcpSocket *socket)
{
    socket->disconnect(this);
    socket->abort();
    retired_.append(socket);
    if (answering_ == 0)
        deleteRetired();
}

void DataServer::deleteRetired()
{
    for (const QPointer<QTcpSocket> &socket : std::as_const(retired_)) {
        if (socket)
            socket->deleteLater();
    }
    retired_.clear();
}

void DataServer::show(ServerState state)
{
    for (const StateDisplay &d : kDisplays) {
        if (d.state == state) {
            view_->showServerStatus(QString::fromLatin1(d.status), d.colour);
            view_->setWindowTitle(QString::fromLatin1(d.title));
        }
    }
}

void DataServer::sendLine(QTcpSocket *socket, const QString &text)
{
    if (socket && socket->bytesToWrite() > kMaxUnsentBytes)
        qCInfo(lcServer) << "client reads nothing:" << socket->bytesToWrite()
                         << "bytes unsent, line dropped";
    if (!socket || socket->state() != QAbstractSocket::ConnectedState
        || socket->bytesToWrite() > kMaxUnsentBytes)
        return;
    qCDebug(lcServer).noquote() << "reply" << text;
    socket->write(text.toLatin1() + "\r\n");
    // Handed to the system at once: a client that has already shut down its sending side (as
    // `nc` does at the end of its input) makes Qt drop the connection, and with it whatever
    // was still waiting in Qt's buffer, as soon as the event loop sees the end of its stream.
    socket->flush();
}

WaitEnd DataServer::pause(int ms, bool throughEndRequest)
{
    NestedWait wait(clock_, this);
    if (throughEndRequest)
        wait.throughEndRequest();
    return wait.forMs(ms);
}

void DataServer::switchAutoWriteLocal(bool on)
{
    autoWriteLocal_ = on;
    emit autoWriteLocalChanged(on);
}
