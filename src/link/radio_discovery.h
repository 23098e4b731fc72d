#pragma once

#include <QObject>

class BusyIndicator;
class MonitorLink;
class StatusLines;

// Tells the radio dongle which node to talk to: "+++" puts it in command mode, then
// "ATDNE<n>" and a carriage return discovers the monitor's node "E<n>". Only the last two
// characters received are looked at: "OK" is success, "ER" the radio's error. Each reply is
// awaited up to the second-of-minute deadline now + 7, processing events.
class RadioDiscovery : public QObject {
    Q_OBJECT
public:
    RadioDiscovery(MonitorLink &link, StatusLines &statusLog, BusyIndicator *busy = nullptr,
                   QObject *parent = nullptr);

    // [DiscoverRadioNode]
    void discoverRadioNode(int version);

    // RadioNodeFound: the node has been discovered, or the link is the USB cable. Never
    // cleared while the program runs.
    bool radioNodeFound() const { return radioNodeFound_; }
    void setRadioNodeFound() { radioNodeFound_ = true; }

private:
    enum class Reply { Ok, Error, Silence };
    Reply awaitReply();
    void exchange(int version);

    MonitorLink &link_;
    StatusLines &statusLog_;
    BusyIndicator *busy_;
    bool radioNodeFound_ = false;
    int previousByte_ = -1;
};
