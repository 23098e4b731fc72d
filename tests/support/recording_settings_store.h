#pragma once

#include "settings_store.h"

#include <QMap>
#include <QStringList>

// A settings store in memory that records the order of writes.
class RecordingSettingsStore final : public SettingsStore {
public:
    std::optional<QString> value(const QString &key) const override
    {
        const auto it = values.constFind(key);
        if (it == values.constEnd())
            return std::nullopt;
        return *it;
    }
    void setValue(const QString &key, const QString &text) override
    {
        values.insert(key, text);
        writtenKeys.append(key);
    }
    bool sync() override
    {
        ++syncs;
        return !failSyncs;
    }

    QMap<QString, QString> values;
    QStringList writtenKeys;
    int syncs = 0;
    bool failSyncs = false; // a store whose file cannot be written
};
