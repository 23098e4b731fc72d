#include "history_recorder.h"

#include "clock.h"
#include "decoder_state.h"
#include "history_logging.h"
#include "history_store.h"
#include "packet_decoder.h"
#include "server_history_store.h"

#include <cmath>

namespace {
constexpr qint64 kMinuteMs = 60000;
// The tick comes a little after the minute's end, once its last packet has surely arrived.
constexpr qint64 kTickDelayMs = 1000;

Counters staticsOf(const DecoderState &s)
{
    return {std::llround(s.preReset1 + s.lastWs1), std::llround(s.preReset2 + s.lastWs2),
            std::llround(s.preResetP1 + s.lastWsP1), std::llround(s.preResetP2 + s.lastWsP2)};
}

// The monitor restarted its counters since the restored state was saved: its reset counter
// moved on, or a counter is below what it was.
bool resetSince(const DecoderState &restored, const DecoderState &now)
{
    return now.lastResetCount != restored.lastResetCount || now.lastWs1 < restored.lastWs1
           || now.lastWs2 < restored.lastWs2 || now.lastWsP1 < restored.lastWsP1
           || now.lastWsP2 < restored.lastWsP2;
}
} // namespace

HistoryRecorder::HistoryRecorder(Clock &clock, const PacketDecoder &decoder,
                                 Reporter<StatusLines> log, QObject *parent)
    : QObject(parent), clock_(clock), decoder_(decoder), log_(log)
{
}

HistoryRecorder::~HistoryRecorder() = default;

void HistoryRecorder::start(const GroupSettingReader &read, const QString &settingsFile,
                            double flatRate)
{
    QStringList problems;
    tariff_ = Tariff::fromTexts(readTariffTexts(read), flatRate, &problems);
    for (const QString &problem : problems)
        log_->addLine(problem);
    const HistorySettings settings = readHistorySettings(read, settingsFile);
    // Settings that live in no file (a store in memory) have no name to give the record.
    if (!settings.enabled || settingsFile.isEmpty()) {
        qCInfo(lcHistory) << "the energy record is off";
        return;
    }
    QString problem;
    std::unique_ptr<HistoryStore> store = openHistoryStore(settings, SqlHistoryStore::Access::ReadWrite, &problem);
    if (!store) {
        log_->addLine(problem);
        return;
    }
    holdsPassword_ = settings.server && !settings.server->password.isEmpty();
    start(std::move(store), settings.node);
}

void HistoryRecorder::start(std::unique_ptr<HistoryStore> store, const QString &node)
{
    store_ = std::move(store);
    node_ = node;
    connect(store_.get(), &HistoryStore::written, this, &HistoryRecorder::onWritten);
    connect(store_.get(), &HistoryStore::resumeRead, this, &HistoryRecorder::onResumeRead);
    connect(store_.get(), &HistoryStore::troubleChanged, this, [this](const QString &error) {
        if (!error.isEmpty())
            reportFailure(error);
        else
            reportRecovery();
    });
    restored_ = decoder_.persistedState();
    accountant_.setRestored(staticsOf(*restored_));
    timer_ = clock_.createTimer(this);
    timer_->setSingleShot(true);
    connect(timer_.get(), &ClockTimer::timeout, this, &HistoryRecorder::minuteTick);
    qCInfo(lcHistory) << "recording node" << node_ << "in" << store_->location();
    armTimer();
    store_->readResume(node_);
}

void HistoryRecorder::packetDecoded()
{
    if (!store_ || ended_)
        return;
    const LiveReading &r = decoder_.reading();
    const PacketFacts p{
        clock_.epochMs(),
        {std::llround(r.ws1Static), std::llround(r.ws2Static), std::llround(r.ws1PolarStatic),
         std::llround(r.ws2PolarStatic)},
        {qint32(r.watts1), qint32(r.watts2)},
        r.volts};
    const bool reset = !accountant_.hasPacket() && resetSince(*restored_, decoder_.persistedState());
    accountant_.take(p, reset);
}

void HistoryRecorder::preResetValuesCleared()
{
    if (!store_ || ended_)
        return;
    accountant_.restartFrom(staticsOf(decoder_.persistedState()),
                            clock_.epochMs());
    stateDirty_ = true;
}

void HistoryRecorder::armTimer()
{
    const qint64 now = clock_.epochMs();
    timer_->start(int(kMinuteMs - now % kMinuteMs + kTickDelayMs));
}

void HistoryRecorder::minuteTick()
{
    accountant_.closeBefore(clock_.epochMs());
    if (!accountant_.recordEndKnown()) {
        // After a day without the record's end the run starts a record of its own, so that
        // the rows waiting stay bounded.
        if (++resumeTries_ >= kMaxWaitingRows)
            accountant_.setRecordEnd(std::nullopt);
        else
            store_->readResume(node_);
    }
    writeWaiting();
    armTimer();
}

void HistoryRecorder::writeWaiting()
{
    waiting_.append(accountant_.takeRows());
    boundWaiting();
    if (writing_ || !accountant_.recordEndKnown() || (waiting_.isEmpty() && !stateDirty_))
        return;
    stateDirty_ = false;
    const HistoryBatch batch{node_, waiting_, accountant_.resume()};
    if (store_->keepsRows()) {
        waiting_.clear();
        store_->write(batch);
        return;
    }
    writing_ = true;
    writingRows_ = int(waiting_.size());
    store_->write(batch);
}

void HistoryRecorder::boundWaiting()
{
    // The oldest rows merge into one, the rows a write has in hand excepted.
    const int first = writing_ ? writingRows_ : 0;
    while (waiting_.size() > kMaxWaitingRows && waiting_.size() - first >= 2) {
        mergeRow(waiting_[first], waiting_[first + 1]);
        waiting_.removeAt(first + 1);
    }
}

void HistoryRecorder::onWritten(const WriteOutcome &outcome)
{
    if (outcome.kept)
        return; // handed over for good when written
    writing_ = false;
    if (!outcome.ok) {
        ++writeFailures_;
        stateDirty_ = true;
        reportFailure(outcome.error);
        return;
    }
    waiting_.remove(0, std::min<qsizetype>(outcome.rows, waiting_.size()));
    reportRecovery();
}

void HistoryRecorder::reportRecovery()
{
    if (failing_)
        log_->addLine(QStringLiteral("The energy record is written to %1 again").arg(store_->location()));
    failing_ = false;
}

void HistoryRecorder::onResumeRead(const QString &node, const std::optional<ResumePoint> &point,
                                   const QString &error)
{
    if (node != node_ || accountant_.recordEndKnown())
        return;
    if (!error.isEmpty()) {
        reportFailure(error);
        return;
    }
    qCInfo(lcHistory) << "record of" << node << (point ? "continues" : "begins");
    accountant_.setRecordEnd(point);
}

void HistoryRecorder::reportFailure(const QString &error)
{
    qCInfo(lcHistory) << "record failing:" << error << waiting_.size() << "rows waiting";
    if (failing_)
        return;
    failing_ = true;
    log_->addLine(QStringLiteral("Error: the energy record could not be written to %1 (%2); "
                                 "its rows wait in memory")
                      .arg(store_->location(), error));
}

void HistoryRecorder::flush()
{
    if (!store_ || ended_)
        return;
    ended_ = true;
    timer_->stop();
    accountant_.closeCurrent();
    if (!accountant_.recordEndKnown())
        store_->readResume(node_);
    writeWaiting();
    store_->close();
    if (!waiting_.isEmpty())
        log_->addLine(QStringLiteral("Error: %1 rows of the energy record were not written; the "
                                     "next start counts their energy again")
                          .arg(waiting_.size()));
}
