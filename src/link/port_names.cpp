#include "port_names.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

namespace PortNames {

QString portsDirectory()
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/Orvotove/ports");
}

QString deviceForPort(int n)
{
    if (n < kFirstPort || n > kLastPort)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    const QString link = portsDirectory() + QStringLiteral("/COM%1").arg(n);
    const QFileInfo info(link);
    if (info.exists() || info.isSymLink())
        return link;
    if (n <= 16)
        return QStringLiteral("/dev/ttyUSB%1").arg(n - 1);
    if (n <= 32)
        return QStringLiteral("/dev/ttyACM%1").arg(n - 17);
    return QStringLiteral("/dev/ttyS%1").arg(n - 33);
#endif
}

} // namespace PortNames
