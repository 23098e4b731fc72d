#include "port_link.h"

#include "port_names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool isStaleLink(const QFileInfo &existing, const QString &devicePath)
{
    return existing.isSymLink() && (!existing.exists() || existing.symLinkTarget() == devicePath);
}

} // namespace

PortLink::~PortLink()
{
    if (path_.isEmpty())
        return;
    const QFileInfo info(path_);
    if (info.isSymLink() && info.symLinkTarget() == target_)
        QFile::remove(path_);
}

bool PortLink::create(int portNumber, const QString &devicePath, QString *error)
{
    const QString directory = PortNames::portsDirectory();
    if (!QDir().mkpath(directory)) {
        *error = QStringLiteral("cannot create the ports directory %1").arg(directory);
        return false;
    }
    const QString link = directory + QStringLiteral("/COM%1").arg(portNumber);
    const QFileInfo existing(link);
    if (existing.exists() || existing.isSymLink()) {
        if (!isStaleLink(existing, devicePath)) {
            *error = QStringLiteral("%1 already exists (-> %2); remove it to let the simulator use port %3")
                         .arg(link, existing.symLinkTarget(), QString::number(portNumber));
            return false;
        }
        QFile::remove(link);
    }
    if (!QFile::link(devicePath, link)) {
        *error = QStringLiteral("cannot create the link %1").arg(link);
        return false;
    }
    path_ = link;
    target_ = devicePath;
    return true;
}
