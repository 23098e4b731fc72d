#include "ini_settings_store.h"

namespace {
const QString kSection = QStringLiteral("startup/");
}

IniSettingsStore::IniSettingsStore()
    : settings_(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Orvotove"),
                QStringLiteral("Orvotove"))
{
}

IniSettingsStore::IniSettingsStore(const QString &fileName)
    : settings_(fileName, QSettings::IniFormat)
{
}

std::optional<QString> IniSettingsStore::value(const QString &key) const
{
    const QVariant v = settings_.value(kSection + key);
    if (!v.isValid())
        return std::nullopt;
    // A hand-edited value with a comma reads back as a list; keep the text the user wrote.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

void IniSettingsStore::setValue(const QString &key, const QString &text)
{
    settings_.setValue(kSection + key, text);
}

void IniSettingsStore::sync()
{
    settings_.sync();
}
