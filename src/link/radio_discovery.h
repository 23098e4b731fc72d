#pragma once

#include "reporters.h"

#include <QObject>

class MonitorLink;

// Tells the radio dongle which node to talk to: "+++" puts it in command mode, then
// "ATDNE<n>" and a carriage return discovers the monitor's node "E<n>". Only the last two
// characters received are looked at: "OK" is success, "ER" the radio's error. Each reply is
// awaited up to the second-of-minute deadline now + 7, processing events.
class RadioDiscovery : public QObject {
    Q_OBJECT
public:
    RadioDiscovery(MonitorLink &link, StatusLines &statusLog, Reporter<BusyIndicator> busy = {},
                   QObject *parent = nullptr);

    // [DiscoverRadioNode]
    void discoverRadioNode(int version);

    // RadioNodeFound: the node has been discovered, or the link is the USB cable. Never
    // cleared while the program runs.
    bool radioNodeFound() const { return radioNodeFound_; }
    void setRadioNodeFound() { radioNodeFound_ = true; }

private:
    enum class Reply {
        Ok,
        Error,
        Silence,
        Gone, // this object was destroyed during the wait
    };
    Reply awaitReply();
    // False when this object was destroyed meanwhile.
    bool exchange(int version);

    MonitorLink &link_;
    StatusLines &statusLog_;
    Reporter<BusyIndicator> busy_;
    bool radioNodeFound_ = false;
    int previousByte_ = -1;
};
