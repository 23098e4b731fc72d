#pragma once

#include "reporters.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class MonitorLink;

// A port number whose device exists but may not be opened by this user.
struct DeniedPort {
    int number = 0;
    QString device;
};

// The search for serial ports: every port number from 1 to 64 is tried in turn, opening and
// closing its device on the session's serial port. The numbers found go to a table of 35
// entries that outlives the search and is kept until the next one.
//
// Events are processed between the probes, so the program stays responsive; the session's own
// port is closed (and shown closed) when the probe of port 1 finds it open.
class PortSearch : public QObject {
    Q_OBJECT
public:
    static constexpr int kTableSize = 35;

    enum class Outcome {
        Complete,
        TableFull, // a 36th port was found: the search ended there, the table holds 35
        Gone,      // this object was destroyed by an event handled during the search
    };

    PortSearch(MonitorLink &link, Reporter<BusyIndicator> busy, QObject *parent = nullptr);

    // Which device a port number names; PortNames::deviceForPort unless replaced (tests).
    std::function<QString(int)> deviceForPort;

    // Fills the table with the port numbers that open, in rising order, and notes the devices
    // that exist but refuse this user.
    Outcome searchPorts();
    // True when port n opens. Leaves the port closed and the session's port number alone.
    bool probePort(int n);

    const QList<int> &foundPorts() const { return found_; }
    const QList<DeniedPort> &deniedPorts() const { return denied_; }

    // What tells a user which device port n is: its device path, where it leads, and for a USB
    // adapter its description, maker and serial number.
    QString describePort(int n) const;
    // The hint for a device this user may not open.
    static QString permissionHint(const QString &device);

private:
    bool deniedToUser(const QString &device) const;

    MonitorLink &link_;
    Reporter<BusyIndicator> busy_;
    QList<int> found_;
    QList<DeniedPort> denied_;
};
