#pragma once

#include "monitor_protocol.h"
#include "packet_stream.h"
#include "pty_device.h"
#include "radio_dongle.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Ties the line, the command interpreter and the packet stream together: commands from the line
// go to the interpreter, its answers go back, and the stream runs while the monitor streams and
// no exchange is open. A stream held by an exchange resumes a period after it ends, so that an
// answer such as the settings block is alone on the line while the host reads it. An exchange
// the host leaves half-done is given up after a while. With a radio dongle, everything between
// the line and the monitor passes through it.
class MonitorSession : public QObject {
    Q_OBJECT
public:
    // radio: the dongle in front of the monitor, or null for the cable.
    MonitorSession(PtyDevice &line, MonitorProtocol &protocol, PacketStream &stream,
                   RadioDongle *radio = nullptr, QObject *parent = nullptr);

    void startStreaming();
    // After this many packets the monitor loses power once and comes back not streaming (0: never).
    void setRestartAfter(qint64 packets) { restartAfter_ = packets; }

private:
    void onBytes(const QByteArray &bytes);
    QByteArray passThroughRadio(const QByteArray &bytes);
    void sendFromMonitor(const QByteArray &bytes);
    void onExchangeTimeout();
    void updateStream();
    void countPacket();

    PtyDevice &line_;
    MonitorProtocol &protocol_;
    PacketStream &stream_;
    RadioDongle *radio_;
    QElapsedTimer radioClock_;
    QTimer exchangeTimeout_;
    bool reportedStreaming_ = false;
    bool heldForExchange_ = false;   // the stream ran when an exchange opened and paused it
    qint64 restartAfter_ = 0;
    qint64 packetsSent_ = 0;
};
