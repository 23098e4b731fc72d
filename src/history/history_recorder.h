#pragma once

#include "decoder_state.h"
#include "history_settings.h"
#include "minute_accountant.h"
#include "reporters.h"
#include "tariff.h"

#include <QList>
#include <QObject>

#include <memory>

class Clock;
class ClockTimer;
class HistoryStore;
class PacketDecoder;

// The energy record of a running program: takes every accepted packet from the decoder, keeps
// the minute in progress in memory and hands the closed rows to the store once a minute, in one
// transaction. While the store fails the rows wait in memory, at most a day of them (older ones
// merge, keeping their energy), and the status log hears once when writing fails and once when
// it works again.
class HistoryRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxWaitingRows = 1440;

    HistoryRecorder(Clock &clock, const PacketDecoder &decoder, Reporter<StatusLines> log,
                    QObject *parent = nullptr);
    ~HistoryRecorder() override;

    // Start-up, after the decoder got its restored counters: reads the groups "history" and
    // "tariff" (flatRate is the Rate setting) and opens the record unless it is disabled.
    void start(const GroupSettingReader &read, const QString &settingsFile, double flatRate);
    // The same with a store given, for tests and other databases.
    void start(std::unique_ptr<HistoryStore> store, const QString &node);
    // A packet was accepted: the decoder's reading holds it.
    void packetDecoded();
    // The pre-reset values were cleared; the decoder already holds the new offsets.
    void preResetValuesCleared();
    // The orderly end: the minute in progress and every waiting row are written, the store closed.
    void flush();

    bool running() const { return store_ != nullptr; }
    // The open record, or null when it is disabled or not started.
    HistoryStore *store() const { return store_.get(); }
    const QString &node() const { return node_; }
    const Tariff &tariff() const { return tariff_; }
    // Rows closed and not written yet.
    int waitingRows() const { return int(waiting_.size()) + accountant_.heldRows(); }
    bool failing() const { return failing_; }
    // Writes the store refused since the start; the rows of each were offered again later.
    quint64 writeFailures() const { return writeFailures_; }
    // The settings give the record's database a password: the file is for its owner only.
    bool holdsPassword() const { return holdsPassword_; }

private:
    void armTimer();
    void minuteTick();
    void writeWaiting();
    void boundWaiting();
    void onWritten(const WriteOutcome &outcome);
    void onResumeRead(const QString &node, const std::optional<ResumePoint> &point,
                      const QString &error);
    void reportFailure(const QString &error);
    void reportRecovery();

    Clock &clock_;
    const PacketDecoder &decoder_;
    Reporter<StatusLines> log_;
    std::unique_ptr<HistoryStore> store_;
    std::unique_ptr<ClockTimer> timer_;
    QString node_;
    Tariff tariff_;
    MinuteAccountant accountant_;
    std::optional<DecoderState> restored_;
    QList<HistoryRow> waiting_;
    bool writing_ = false;      // the store has a batch in hand
    int writingRows_ = 0;       // the waiting rows it holds
    bool ended_ = false;
    int resumeTries_ = 0;
    bool failing_ = false;
    quint64 writeFailures_ = 0;
    bool stateDirty_ = false;   // the starting point moved without a new row
    bool holdsPassword_ = false;
};
