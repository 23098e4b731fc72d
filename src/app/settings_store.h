#pragma once

#include <QString>

#include <optional>

// The per-user settings store, section "startup": text values by key. The program keeps an INI
// file; tests use a recording double.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or nothing when the key is missing.
    virtual std::optional<QString> value(const QString &key) const = 0;
    virtual void setValue(const QString &key, const QString &text) = 0;
    // Writes what was set to permanent storage. False when that failed (a read-only file, a full
    // disk): the caller tells the user, since the energy counters live here.
    virtual bool sync() = 0;
    // Where the settings live, for messages.
    virtual QString location() const { return {}; }

    // Another group of the same store (such as "mqtt"), apart from the section above. A store
    // without groups has none of their keys and forgets what is written to them.
    virtual std::optional<QString> groupValue(const QString &group, const QString &key) const
    {
        Q_UNUSED(group);
        Q_UNUSED(key);
        return std::nullopt;
    }
    virtual void setGroupValue(const QString &group, const QString &key, const QString &text)
    {
        Q_UNUSED(group);
        Q_UNUSED(key);
        Q_UNUSED(text);
    }
    // Makes the stored settings readable by their owner only, once they hold a password. False
    // when that failed.
    virtual bool restrictToOwner() { return true; }
};
