#include "ini_settings_store.h"

#include <QFile>

namespace {
const QString kSection = QStringLiteral("startup/");
}

IniSettingsStore::IniSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Orvotove"), QStringLiteral("Orvotove")))
{
}

IniSettingsStore::IniSettingsStore(const QString &fileName)
    : settings_(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
}

std::optional<QString> IniSettingsStore::value(const QString &key) const
{
    return groupValue(kSection.chopped(1), key);
}

std::optional<QString> IniSettingsStore::groupValue(const QString &group, const QString &key) const
{
    const QVariant v = settings_->value(group + QLatin1Char('/') + key);
    if (!v.isValid())
        return std::nullopt;
    // A hand-edited value with a comma reads back as a list; keep the text the user wrote.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

void IniSettingsStore::setValue(const QString &key, const QString &text)
{
    settings_->setValue(kSection + key, text);
}

void IniSettingsStore::setGroupValue(const QString &group, const QString &key, const QString &text)
{
    settings_->setValue(group + QLatin1Char('/') + key, text);
}

bool IniSettingsStore::restrictToOwner()
{
    // The file must exist to have permissions; later saves replace it with these kept.
    if (!QFile::exists(fileName()) && !sync())
        return false;
    return QFile::setPermissions(fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool IniSettingsStore::sync()
{
    // QSettings keeps reporting its first error for good. After a failed save, a fresh object
    // that holds every key of the old one lets a later save succeed once the file is writable.
    if (settings_->status() != QSettings::NoError) {
        auto fresh = std::make_unique<QSettings>(settings_->fileName(), QSettings::IniFormat);
        const QStringList keys = settings_->allKeys();
        for (const QString &key : keys)
            fresh->setValue(key, settings_->value(key));
        settings_ = std::move(fresh);
    }
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}
