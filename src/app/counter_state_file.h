#pragma once

#include "decoder_state.h"

#include <QByteArray>
#include <QString>

#include <optional>

class SettingsStore;

// The decoder's counters with the number that orders them against the other copy: every write
// of the counters, to the settings file or to the state file, takes the next number, so the copy
// with the higher one was written last. A number is used rather than the files' times: a clock
// set at boot (a box without a battery-backed clock) or a file copied by hand would mislead.
struct StampedCounters {
    DecoderState counters;
    qint64 sequence = 0;
};

// A small file beside the settings file, <folder>/<base name>.state, that keeps the counters
// where a crash of the program cannot lose them. It is replaced whole: written under a
// temporary name, then renamed over the old one, so that a reader finds the old or the new file
// and never a part of one. A file whose text does not pass its check reads as missing.
class CounterStateFile {
public:
    enum class Durability {
        CacheOnly, // left in the kernel's cache: it outlives the process, not a power cut
        Synced,    // on the disk before the call returns
    };

    explicit CounterStateFile(QString path = {}) : path_(std::move(path)) {}
    // The state file that belongs to a settings file.
    static QString pathBeside(const QString &settingsFile);

    const QString &path() const { return path_; }
    bool exists() const;
    // Nothing for a missing or unreadable file, or one that fails its check.
    std::optional<StampedCounters> read() const;
    [[nodiscard]] bool write(const StampedCounters &state, Durability durability) const;

    // The file's text: the group [counters] with the sequence, the settings file's counter keys
    // and a check of everything before it.
    static QByteArray format(const StampedCounters &state);
    static std::optional<StampedCounters> parse(const QByteArray &text);

private:
    QString path_;
};

// The sequence number of the counters in the settings file (group [counters], key Sequence);
// 0 when there is none (a file from before, or a first run).
qint64 storedCounterSequence(const SettingsStore &store);
// Set before the settings are saved with their counters; written by the store's next sync.
void stampStoredCounters(SettingsStore &store, qint64 sequence);
