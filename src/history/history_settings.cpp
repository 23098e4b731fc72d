#include "history_settings.h"

#include "settings_text.h"

#include <QDir>
#include <QFileInfo>

QString settingsBaseName(const QString &settingsFile)
{
    const QString base = QFileInfo(settingsFile).completeBaseName();
    return base.isEmpty() ? QStringLiteral("Orvotove") : base;
}

QString defaultRecordFile(const QString &settingsFile)
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return QStringLiteral("%1/Orvotove/%2.history.sqlite").arg(dataHome, settingsBaseName(settingsFile));
}

HistorySettings readHistorySettings(const GroupSettingReader &read, const QString &settingsFile)
{
    const QString group = historySettingsGroup();
    const auto text = [&](const char *key) {
        return read(group, QString::fromLatin1(key)).value_or(QString()).trimmed();
    };
    HistorySettings s;
    if (const std::optional<QString> enabled = read(group, QStringLiteral("Enabled")))
        s.enabled = SettingsText::toBool(*enabled).value_or(true);
    s.database = text("Database");
    if (s.database.isEmpty())
        s.database = defaultRecordFile(settingsFile);
    s.node = text("Node");
    if (s.node.isEmpty())
        s.node = settingsBaseName(settingsFile);
    return s;
}

TariffTexts readTariffTexts(const GroupSettingReader &read)
{
    const QString group = tariffSettingsGroup();
    const auto text = [&](const char *key) {
        return read(group, QString::fromLatin1(key)).value_or(QString()).trimmed();
    };
    return TariffTexts{text("Rates"), text("StandingCharge"), text("ExportCredit")};
}
