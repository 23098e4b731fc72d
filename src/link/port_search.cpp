#include "port_search.h"

#include "link_logging.h"
#include "monitor_link.h"
#include "port_names.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QSerialPortInfo>

#include <optional>

namespace {

// Qt's view of the device behind a path (links followed), when it knows the device.
std::optional<QSerialPortInfo> serialPortInfo(const QString &device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        if (info.systemLocation() == target || info.systemLocation() == device)
            return info;
    }
    return std::nullopt;
}

} // namespace

PortSearch::PortSearch(MonitorLink &link, Reporter<BusyIndicator> busy, QObject *parent)
    : QObject(parent), deviceForPort(&PortNames::deviceForPort), link_(link), busy_(busy)
{
}

bool PortSearch::probePort(int n)
{
    SerialPort &port = link_.port();
    // Port 1 takes the port away from an open session; the fields then show it closed.
    if (n == 1 && port.isOpen())
        link_.closePort();
    // An open port cannot take another number: nothing else is found while it is open.
    if (port.isOpen())
        return false;
    const QString device = deviceForPort(n);
    const bool opened = port.open(device);
    if (opened)
        port.close();
    qCDebug(lcLink).noquote() << "probe of port" << n << device
                              << (opened ? "opens" : "does not open");
    return opened;
}

PortSearch::Outcome PortSearch::searchPorts()
{
    const QPointer<PortSearch> self(this);
    found_.clear();
    denied_.clear();
    Outcome outcome = Outcome::Complete;
    for (int n = PortNames::kFirstPort; n <= PortNames::kLastPort; ++n) {
        busy_->setBusy(true);
        QCoreApplication::processEvents();
        if (!self)
            return Outcome::Gone;
        if (!probePort(n)) {
            const QString device = deviceForPort(n);
            if (deniedToUser(device))
                denied_.append({n, device});
            continue;
        }
        if (found_.size() == kTableSize) {
            // The table holds 35 ports: the search ends at a 36th with what it has.
            outcome = Outcome::TableFull;
            break;
        }
        found_.append(n);
        QCoreApplication::processEvents();
        if (!self)
            return Outcome::Gone;
    }
    // Also after a full table: the pointer must not stay busy over the whole screen.
    busy_->setBusy(false);
    qCInfo(lcLink) << "port search found" << found_ << "denied" << denied_.size();
    return outcome;
}

bool PortSearch::deniedToUser(const QString &device) const
{
    const QFileInfo info(device);
    if (!info.exists() || (info.isReadable() && info.isWritable()))
        return false;
    // Every built-in serial device node exists whether or not a port is behind it: only those
    // that Qt knows to be real count.
    if (device.startsWith(QLatin1String("/dev/ttyS")))
        return serialPortInfo(device).has_value();
    return true;
}

QString PortSearch::describePort(int n) const
{
    const QString device = deviceForPort(n);
    QString text = device;
    const QString target = QFileInfo(device).canonicalFilePath();
    if (!target.isEmpty() && target != device)
        text += QStringLiteral(" -> ") + target;
    if (const auto info = serialPortInfo(device)) {
        QStringList known;
        const QStringList parts{info->description(), info->manufacturer(), info->serialNumber()};
        for (const QString &part : parts) {
            if (!part.isEmpty())
                known << part;
        }
        if (!known.isEmpty())
            text += QStringLiteral(" (") + known.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    return text;
}

QString PortSearch::permissionHint(const QString &device)
{
    return QStringLiteral("%1 exists but you may not open it: join the dialout group "
                          "(sudo usermod -aG dialout $USER) and log in again")
        .arg(device);
}
