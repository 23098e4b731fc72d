#pragma once

#include "settings_store.h"

#include <QSettings>

// The settings as an INI file: the user's Orvotove/Orvotove.ini under the configuration folder
// ($XDG_CONFIG_HOME, ~/.config by default), or a given file.
class IniSettingsStore final : public SettingsStore {
public:
    IniSettingsStore();
    explicit IniSettingsStore(const QString &fileName);

    std::optional<QString> value(const QString &key) const override;
    void setValue(const QString &key, const QString &text) override;
    void sync() override;

    QString fileName() const { return settings_.fileName(); }

private:
    mutable QSettings settings_;
};
