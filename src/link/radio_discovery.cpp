#include "radio_discovery.h"

#include "link_logging.h"
#include "monitor_link.h"
#include "nested_wait.h"
#include "second_deadline.h"

#include <QPointer>

namespace {
constexpr int kReplySeconds = 7;
}

RadioDiscovery::RadioDiscovery(MonitorLink &link, StatusLines &statusLog,
                               Reporter<BusyIndicator> busy, QObject *parent)
    : QObject(parent), link_(link), statusLog_(statusLog), busy_(busy)
{
}

RadioDiscovery::Reply RadioDiscovery::awaitReply()
{
    SerialPort &port = link_.port();
    const SecondDeadline deadline(link_.clock(), kReplySeconds);
    NestedWait wait(link_.clock(), this);
    wait.alsoGuard(&port).wakeOn(&port, &SerialPort::readyRead);
    wait.wakeOn(&port, &SerialPort::deviceLost);
    for (;;) {
        const WaitEnd end = wait.until(deadline, [&port] {
            return !port.isOpen() || port.bytesAvailable() > 0;
        });
        if (end == WaitEnd::GuardDestroyed)
            return Reply::Gone;
        if (end != WaitEnd::Condition || !port.isOpen()) {
            qCInfo(lcLink) << "radio: no answer within" << kReplySeconds << "s";
            return Reply::Silence;
        }
        while (port.bytesAvailable() > 0) {
            const int byte = port.readByte();
            const bool ok = previousByte_ == 'O' && byte == 'K';
            const bool error = previousByte_ == 'E' && byte == 'R';
            previousByte_ = byte;
            if (ok || error)
                qCInfo(lcLink) << "radio answered" << (ok ? "OK" : "ER");
            if (ok)
                return Reply::Ok;
            if (error)
                return Reply::Error;
        }
    }
}

bool RadioDiscovery::exchange(int version)
{
    const QString node = QStringLiteral("E%1").arg(version);
    qCInfo(lcLink).noquote() << "radio discovery of node" << node;
    statusLog_.clear();
    statusLog_.addLine(QStringLiteral("Sending +++ string"));
    link_.port().write(QByteArrayLiteral("+++"));
    Reply reply = awaitReply();
    if (reply == Reply::Gone)
        return false;
    if (reply == Reply::Silence) {
        statusLog_.addLine(QStringLiteral("No response from +++ command"));
        return true;
    }
    if (reply == Reply::Ok) {
        statusLog_.clear();
        // "Recieved" is kept as users know it: see docs/compatibility.md
        statusLog_.addLine(QStringLiteral("Recieved OK response from +++ command"));
        link_.port().write("ATDNE" + QByteArray::number(version) + '\r');
        reply = awaitReply();
        if (reply == Reply::Gone)
            return false;
    }
    if (reply == Reply::Silence) {
        statusLog_.addLine(QStringLiteral("No response from ATDNE%1 command").arg(version));
    } else if (reply == Reply::Ok) {
        statusLog_.clear();
        statusLog_.addLine(QStringLiteral("Node %1 has been discovered successfully.").arg(node));
        radioNodeFound_ = true;
    } else {
        statusLog_.clear();
        statusLog_.addLine(QStringLiteral("Received ERROR from Wireless Radio. Node %1 has not "
                                          "been detected.").arg(node));
    }
    return true;
}

void RadioDiscovery::discoverRadioNode(int version)
{
    // Opening the port waits on the link's guard: this object may go meanwhile.
    const QPointer<RadioDiscovery> self(this);
    if (!link_.openPort() || !self)
        return;
    link_.flags().commandInProgress = true;
    previousByte_ = -1;
    busy_->setBusy(true);
    if (!exchange(version))
        return;
    busy_->setBusy(false);
    link_.flags().commandInProgress = false;
}
