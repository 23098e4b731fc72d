#pragma once

#include <QByteArray>
#include <QPointer>

class MonitorLink;

// The setup window's own copies of the handshake and the sender, on the main window's
// MonitorLink. They differ from the main window's:
// - setupHandshake opens the port if it is closed without looking at the outcome and goes on;
//   with the port still closed no acknowledge can come and the result is false. No status line.
// - sendWord always waits for the acknowledge; true only if 0xFC came; no 140 ms pause.
class SetupLink {
public:
    explicit SetupLink(MonitorLink &link);

    // [Send_Receive_Ack]
    bool setupHandshake();
    bool sendWord(const QByteArray &word);

    // Null once the MonitorLink has been destroyed.
    MonitorLink *link() const { return link_; }

private:
    QPointer<MonitorLink> link_;
};
