#pragma once

#include "counter_state_file.h"

#include <QObject>

#include <functional>
#include <memory>

class Clock;
class ClockTimer;
class StatusLines;

// Keeps the decoder's counters in the state file beside the settings, so that a crash loses
// seconds of energy instead of the minutes since the last periodic save: the static counters
// then never fall when the monitor is reset before the program runs again. The settings file
// keeps its own keys and its save every 303 s; this file only goes ahead of it.
//
// Every 5 s the counters, when they changed, replace the file without a sync (the kernel keeps
// it through a crash of the process); once a minute the write is synced, for a power cut. Both
// copies carry a sequence number, and start-up takes the one written last.
class CounterKeeper : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 5000;
    static constexpr int kTicksPerSync = 12; // a synced write at most once a minute

    // take gives the counters as they are now; failures are reported to log.
    CounterKeeper(Clock &clock, StatusLines &log, std::function<DecoderState()> take,
                  QObject *parent = nullptr);
    ~CounterKeeper() override;

    // The file to keep the counters in; without one (the default) nothing is kept.
    void setFile(const QString &path) { file_ = CounterStateFile(path); }
    const CounterStateFile &file() const { return file_; }

    // Start-up: the counters to start from, the settings file's or the state file's, whichever
    // was written last (the settings file on a tie). Later sequence numbers follow the higher.
    DecoderState chooseAtStart(const DecoderState &fromSettings, qint64 settingsSequence);
    // The number for the next write of the counters to either file.
    qint64 nextSequence() { return ++sequence_; }

    void start();
    void stop();
    // The orderly end: the counters as they are, synced, whether they changed or not.
    bool keepNow();
    // One tick; public so that tests can drive it.
    void tick();

signals:
    // The file was replaced, synced or not.
    void kept(CounterStateFile::Durability durability);

private:
    bool write(const DecoderState &counters, CounterStateFile::Durability durability);

    CounterStateFile file_;
    StatusLines &log_;
    std::function<DecoderState()> take_;
    std::unique_ptr<ClockTimer> timer_;
    DecoderState kept_;     // what the file holds (or the counters start-up began from)
    qint64 sequence_ = 0;
    int ticksSinceSync_ = 0;
    bool unsynced_ = false; // the file was replaced since its last sync
    bool failing_ = false;
};
