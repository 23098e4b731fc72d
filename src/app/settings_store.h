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
};
