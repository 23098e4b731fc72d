#pragma once

#include "monitor_protocol.h"
#include "packet_stream.h"
#include "pty_device.h"

#include <QObject>
#include <QTimer>

// Ties the line, the command interpreter and the packet stream together: commands from the line
// go to the interpreter, its answers go back, and the stream runs while the monitor streams and
// no exchange is open. An exchange the host leaves half-done is given up after a while.
class MonitorSession : public QObject {
    Q_OBJECT
public:
    MonitorSession(PtyDevice &line, MonitorProtocol &protocol, PacketStream &stream,
                   QObject *parent = nullptr);

    void startStreaming();

private:
    void onBytes(const QByteArray &bytes);
    void onExchangeTimeout();
    void updateStream();

    PtyDevice &line_;
    MonitorProtocol &protocol_;
    PacketStream &stream_;
    QTimer exchangeTimeout_;
    bool reportedStreaming_ = false;
};
