#include "post_trigger.h"

#include "clock.h"
#include "link_flags.h"
#include "live_reading.h"

#include <cmath>
#include <cstdlib>

namespace {
constexpr int kTickMs = 1000;
constexpr int kHistoryUsed = 5; // entries 0 to 4 take part; entry 5 is never looked at

qint32 wholeWatts(double watts)
{
    return qint32(std::lround(watts));
}
} // namespace

PostTrigger::PostTrigger(Clock &clock, const LinkFlags &flags, QObject *parent)
    : QObject(parent), clock_(clock), flags_(flags), tick_(clock.createTimer(this))
{
    tick_->setSingleShot(false);
    connect(tick_.get(), &ClockTimer::timeout, this, &PostTrigger::tick);
}

PostTrigger::~PostTrigger() = default;

bool PostTrigger::tickRunning() const
{
    return tick_->isActive();
}

std::optional<PostLogRow> PostTrigger::run(const LiveReading &reading,
                                           const TriggerThresholds &thresholds, bool &loadChanged)
{
    thresholdSeconds_ = thresholds.intervalSeconds;
    bool postNow = false;
    if (!tick_->isActive())
        tick_->start(kTickMs);
    triggerSource_.clear();

    const std::array<qint32, 2> power{wholeWatts(reading.watts1), wholeWatts(reading.watts2)};
    watchForChange(channels_[0], power[0], thresholds.watts1, QStringLiteral("CH1 / "));
    watchForChange(channels_[1], power[1], thresholds.watts2, QStringLiteral("CH2 / "));

    if (intervalExpired_) {
        intervalExpired_ = false;
        if (!channels_[0].pending && !channels_[1].pending) {
            postNow = true;
            triggerSource_ += QStringLiteral(" Time out");
        }
    }

    const std::array<qint32, 2> change = takeFiredChanges(power, postNow);
    shiftHistories(power);

    if (!postNow && !loadChanged)
        return std::nullopt;
    // The load switch is named in the row, so that the user sees why this post happened.
    if (loadChanged) {
        if (!triggerSource_.isEmpty() && !triggerSource_.endsWith(QLatin1Char(' ')))
            triggerSource_ += QStringLiteral(" / ");
        triggerSource_ += QStringLiteral("Load Change");
    }
    loadChanged = false;

    return makeRow(reading, change);
}

std::array<qint32, 2> PostTrigger::takeFiredChanges(const std::array<qint32, 2> &power,
                                                    bool &postNow)
{
    std::array<qint32, 2> change{0, 0};
    for (std::size_t c = 0; c < 2; ++c) {
        Channel &ch = channels_[c];
        if (!ch.fired)
            continue;
        change[c] = changeValue(ch, power[c]);
        ch.fired = false;
        postNow = true;
        for (int i = 1; i < kHistoryUsed; ++i)
            ch.history[std::size_t(i)] = power[c];
    }
    return change;
}

void PostTrigger::shiftHistories(const std::array<qint32, 2> &power)
{
    for (std::size_t c = 0; c < 2; ++c) {
        auto &h = channels_[c].history;
        for (int i = kHistoryUsed - 1; i > 0; --i)
            h[std::size_t(i)] = h[std::size_t(i - 1)];
        h[0] = power[c];
    }
}

PostLogRow PostTrigger::makeRow(const LiveReading &reading,
                                const std::array<qint32, 2> &change) const
{
    PostLogRow row;
    row.triggerSource = triggerSource_;
    row.change1 = change[0];
    row.change2 = change[1];
    row.time = clock_.now();
    row.watts1 = reading.watts1;
    row.watts2 = reading.watts2;
    row.volts = reading.volts;
    row.kwh1 = reading.ws1Static / 1000.0 / 3600.0;
    row.kwh2 = reading.ws2Static / 1000.0 / 3600.0;
    row.amps1 = reading.amps1;
    row.amps2 = reading.amps2;
    return row;
}

void PostTrigger::watchForChange(Channel &channel, qint32 power, int threshold,
                                 const QString &name)
{
    const qint64 d = qint64(channel.history[0]) - power;
    if (std::llabs(d) > threshold) {
        channel.pending = true;
    } else if (channel.pending) {
        channel.fired = true;
        triggerSource_ = name; // a later channel replaces an earlier one's name
        channel.pending = false;
    }
}

qint32 PostTrigger::changeValue(const Channel &channel, qint32 power)
{
    // Largest and smallest of the recent powers that are not 0; on equal values the most
    // recent (lowest index) wins. A drop is the more recent when the smallest is newer.
    qint32 largest = 0;
    int largestAt = 0;
    qint32 smallest = power;
    int smallestAt = 0;
    for (int i = 0; i < kHistoryUsed; ++i) {
        const qint32 v = channel.history[std::size_t(i)];
        if (v == 0)
            continue;
        if (v > largest) {
            largest = v;
            largestAt = i;
        }
        if (v < smallest) {
            smallest = v;
            smallestAt = i;
        }
    }
    const qint32 change = largest - smallest;
    return smallestAt < largestAt ? -change : change;
}

void PostTrigger::tick()
{
    if (!flags_.realTimeOn)
        tick_->stop(); // this tick still counts
    if (++intervalCount_ >= thresholdSeconds_) {
        intervalCount_ = 0;
        intervalExpired_ = true;
    }
}
