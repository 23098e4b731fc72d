#include "counter_keeper.h"

#include "app_logging.h"
#include "clock.h"
#include "status_lines.h"

namespace {

bool sameCounters(const DecoderState &a, const DecoderState &b)
{
    return a.preReset1 == b.preReset1 && a.preReset2 == b.preReset2
           && a.preResetP1 == b.preResetP1 && a.preResetP2 == b.preResetP2
           && a.lastWs1 == b.lastWs1 && a.lastWs2 == b.lastWs2 && a.lastWsP1 == b.lastWsP1
           && a.lastWsP2 == b.lastWsP2 && a.lastResetCount == b.lastResetCount
           && a.seconds == b.seconds;
}

} // namespace

CounterKeeper::CounterKeeper(Clock &clock, StatusLines &log, std::function<DecoderState()> take,
                             QObject *parent)
    : QObject(parent), log_(log), take_(std::move(take)), timer_(clock.createTimer(this))
{
    connect(timer_.get(), &ClockTimer::timeout, this, &CounterKeeper::tick);
}

CounterKeeper::~CounterKeeper() = default;

DecoderState CounterKeeper::chooseAtStart(const DecoderState &fromSettings, qint64 settingsSequence)
{
    sequence_ = settingsSequence;
    kept_ = fromSettings;
    const std::optional<StampedCounters> stored = file_.read();
    if (!stored) {
        if (file_.exists())
            log_.addLine(QStringLiteral("%1 holds no readable counters; the counters come from "
                                        "the settings.")
                             .arg(file_.path()));
        return kept_;
    }
    qCInfo(lcApp) << "state file sequence" << stored->sequence << "settings sequence"
                  << settingsSequence;
    sequence_ = qMax(sequence_, stored->sequence);
    if (stored->sequence <= settingsSequence)
        return kept_;
    // The program ended without its orderly save: the file is the later copy.
    log_.addLine(QStringLiteral("The counters were restored from %1, which is newer than the "
                                "settings.")
                     .arg(file_.path()));
    kept_ = stored->counters;
    return kept_;
}

void CounterKeeper::start()
{
    if (!file_.path().isEmpty())
        timer_->start(kIntervalMs);
}

void CounterKeeper::stop()
{
    timer_->stop();
}

void CounterKeeper::tick()
{
    ++ticksSinceSync_;
    const DecoderState now = take_();
    const bool syncDue = ticksSinceSync_ >= kTicksPerSync;
    if (!sameCounters(now, kept_))
        write(now, syncDue ? CounterStateFile::Durability::Synced
                           : CounterStateFile::Durability::CacheOnly);
    else if (syncDue && unsynced_)
        write(now, CounterStateFile::Durability::Synced);
}

bool CounterKeeper::keepNow()
{
    return file_.path().isEmpty() || write(take_(), CounterStateFile::Durability::Synced);
}

bool CounterKeeper::write(const DecoderState &counters, CounterStateFile::Durability durability)
{
    const bool written = file_.write({counters, nextSequence()}, durability);
    if (written) {
        kept_ = counters;
        unsynced_ = durability == CounterStateFile::Durability::CacheOnly;
        if (!unsynced_)
            ticksSinceSync_ = 0;
        emit kept(durability);
    }
    // One line when keeping starts to fail and one when it works again, not one every 5 s.
    if (written == failing_)
        log_.addLine(written ? QStringLiteral("The counters are kept in %1 again").arg(file_.path())
                             : QStringLiteral("Error: the counters could not be kept in %1")
                                   .arg(file_.path()));
    failing_ = !written;
    return written;
}
