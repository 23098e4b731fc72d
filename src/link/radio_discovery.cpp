#include "radio_discovery.h"

#include "busy_indicator.h"
#include "byte_waits.h"
#include "link_logging.h"
#include "monitor_link.h"
#include "status_lines.h"

#include <QPointer>

namespace {
constexpr int kReplySeconds = 7;
}

RadioDiscovery::RadioDiscovery(MonitorLink &link, StatusLines &statusLog, BusyIndicator *busy,
                               QObject *parent)
    : QObject(parent), link_(link), statusLog_(statusLog), busy_(busy)
{
}

RadioDiscovery::Reply RadioDiscovery::awaitReply()
{
    const QPointer<RadioDiscovery> self(this);
    SerialPort &port = link_.port();
    const SecondDeadline deadline(link_.clock(), kReplySeconds);
    while (waitForByteProcessingEvents(port, link_.clock(), deadline)) {
        if (!self)
            return Reply::Silence;
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
    qCInfo(lcLink) << "radio: no answer within" << kReplySeconds << "s";
    return Reply::Silence;
}

void RadioDiscovery::exchange(int version)
{
    const QPointer<RadioDiscovery> self(this);
    const QString node = QStringLiteral("E%1").arg(version);
    qCInfo(lcLink).noquote() << "radio discovery of node" << node;
    statusLog_.clear();
    statusLog_.addLine(QStringLiteral("Sending +++ string"));
    link_.port().write(QByteArrayLiteral("+++"));
    Reply reply = awaitReply();
    if (!self)
        return;
    if (reply == Reply::Silence) {
        statusLog_.addLine(QStringLiteral("No response from +++ command"));
        return;
    }
    if (reply == Reply::Ok) {
        statusLog_.clear();
        // "Recieved" is kept as users know it: see docs/compatibility.md
        statusLog_.addLine(QStringLiteral("Recieved OK response from +++ command"));
        link_.port().write("ATDNE" + QByteArray::number(version) + '\r');
        reply = awaitReply();
        if (!self)
            return;
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
}

void RadioDiscovery::discoverRadioNode(int version)
{
    const QPointer<RadioDiscovery> self(this);
    if (!link_.openPort() || !self)
        return;
    link_.flags().commandInProgress = true;
    previousByte_ = -1;
    if (busy_)
        busy_->setBusy(true);
    exchange(version);
    if (!self)
        return;
    if (busy_)
        busy_->setBusy(false);
    link_.flags().commandInProgress = false;
}
