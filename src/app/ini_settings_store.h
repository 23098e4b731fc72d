#pragma once

#include "settings_store.h"

#include <QSettings>

#include <memory>

// The settings as an INI file: the user's Orvotove/Orvotove.ini under the configuration folder
// ($XDG_CONFIG_HOME, ~/.config by default), or a given file.
class IniSettingsStore final : public SettingsStore {
public:
    IniSettingsStore();
    explicit IniSettingsStore(const QString &fileName);

    std::optional<QString> value(const QString &key) const override;
    void setValue(const QString &key, const QString &text) override;
    bool sync() override;
    QString location() const override { return fileName(); }
    std::optional<QString> groupValue(const QString &group, const QString &key) const override;
    void setGroupValue(const QString &group, const QString &key, const QString &text) override;
    bool restrictToOwner() override;

    QString fileName() const { return settings_->fileName(); }

private:
    std::unique_ptr<QSettings> settings_;
};
