#include "settings_file_check.h"

#include <QDir>
#include <QFileInfo>

std::optional<QString> settingsFileProblem(const QString &file)
{
    const QFileInfo info(file);
    if (info.isDir())
        return QStringLiteral("it is a folder");
    if (info.exists()) {
        if (!info.isFile())
            return QStringLiteral("it is not a plain file");
        if (!info.isReadable())
            return QStringLiteral("it cannot be read");
        if (!info.isWritable())
            return QStringLiteral("it cannot be written");
    }
    // The settings are replaced through a new file beside them, and the lock lives there too.
    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("its folder %1 cannot be made").arg(folder);
    if (!QFileInfo(folder).isWritable())
        return QStringLiteral("its folder %1 cannot be written").arg(folder);
    return std::nullopt;
}
