#include "live_figures.h"

#include "app_logging.h"
#include "clock.h"
#include "live_reading.h"
#include "settings_store.h"
#include "settings_text.h"

#include <QDateTime>

#include <cmath>

namespace {
constexpr double kWsPerKwh = 3.6e6;
// A change of the computer's time zone shows in today's date within this time.
constexpr qint64 kZoneRecheckMs = 3600 * 1000;
const QString kDayStart1 = QStringLiteral("DayStart1");
const QString kDayStart2 = QStringLiteral("DayStart2");
const QString kDayStartDate = QStringLiteral("DayStartDate");

std::optional<double> storedNumber(const SettingsStore &store, const QString &key)
{
    const std::optional<QString> text = store.value(key);
    return text ? SettingsText::toDouble(*text) : std::nullopt;
}
} // namespace

LiveFigures::LiveFigures(const Clock &clock, SettingsStore &store) : clock_(clock), store_(store)
{
    loadDayStart();
}

void LiveFigures::loadDayStart()
{
    const std::optional<QString> date = store_.value(kDayStartDate);
    const std::optional<double> start1 = storedNumber(store_, kDayStart1);
    const std::optional<double> start2 = storedNumber(store_, kDayStart2);
    const QDate day = date ? QDate::fromString(*date, Qt::ISODate) : QDate();
    if (day.isValid() && start1 && start2) {
        dayStart_ = std::array<double, 2>{*start1, *start2};
        dayStartDate_ = day;
    }
}

void LiveFigures::take(const LiveReading &r)
{
    const qint64 nowMs = clock_.epochMs();
    const QDate today = localDate(nowMs);
    const std::array<double, 2> statics{r.ws1Static, r.ws2Static};
    const std::array<double, 2> polar{r.ws1PolarStatic, r.ws2PolarStatic};
    const bool counterBelowStart =
        dayStart_ && (statics[0] < (*dayStart_)[0] || statics[1] < (*dayStart_)[1]);
    if (!dayStart_ || dayStartDate_ != today || counterBelowStart)
        startDay(today, statics);

    const double rate = rateNow(nowMs / 1000);
    const std::array<double, 4> counters{r.ws1Static, r.ws2Static, r.ws1PolarStatic, r.ws2PolarStatic};
    // Priced as it comes: the energy since the last packet at the rate of this one's time. A
    // restart on the same day prices what came before it at the present rate.
    const std::array<double, 4> costed = costedCounters_.value_or(
        std::array<double, 4>{(*dayStart_)[0], (*dayStart_)[1], counters[2], counters[3]});
    for (std::size_t c = 0; c < 2; ++c)
        dayCost_[c] += tariff_.energyCost(std::llround(counters[c] - costed[c]),
                                          std::llround(counters[c + 2] - costed[c + 2]), rate);
    costedCounters_ = counters;

    const std::array<double, 2> watts{r.watts1, r.watts2};
    const std::array<double, 2> amps{r.amps1, r.amps2};
    const std::array<double, 2> pf{r.pf1, r.pf2};
    for (std::size_t c = 0; c < channels_.size(); ++c) {
        ChannelFigures &f = channels_[c];
        f.watts = watts[c];
        f.amps = amps[c];
        f.powerFactor = pf[c];
        f.kwhStatic = statics[c] / kWsPerKwh;
        f.costPerHour = watts[c] / 1000 * rate;
        f.kwhToday = (statics[c] - (*dayStart_)[c]) / kWsPerKwh;
        const bool oneRate = !tariff_.hasPeriods() && !tariff_.pricesGeneration();
        f.costToday = oneRate ? f.kwhToday * rate : dayCost_[c];
        f.generating = lastPolar_ && polar[c] > (*lastPolar_)[c];
    }
    lastPolar_ = polar;
    volts_ = r.volts;
    lastPacketMs_ = clock_.monotonicMs();
    history_.add(nowMs, r.watts1, r.watts2);
}

QDate LiveFigures::localDate(qint64 nowMs)
{
    // Local time is looked up in the time zone files (a system call each time), so the date
    // is worked out again only at midnight, once an hour, and when the wall clock went back.
    if (nowMs >= todayFromMs_ && nowMs < todayUntilMs_)
        return today_;
    today_ = QDateTime::fromMSecsSinceEpoch(nowMs).date();
    todayFromMs_ = today_.startOfDay().toMSecsSinceEpoch();
    todayUntilMs_ = qMin(today_.addDays(1).startOfDay().toMSecsSinceEpoch(),
                         nowMs + kZoneRecheckMs);
    return today_;
}

void LiveFigures::startDay(const QDate &day, const std::array<double, 2> &counters)
{
    qCInfo(lcApp) << "today's energy counts from" << counters[0] << counters[1] << "on" << day;
    dayStart_ = counters;
    dayStartDate_ = day;
    dayCost_ = {};
    costedCounters_.reset();
    // Written with the next save of the settings, like the counters it belongs to.
    store_.setValue(kDayStart1, SettingsText::fromDouble(counters[0]));
    store_.setValue(kDayStart2, SettingsText::fromDouble(counters[1]));
    store_.setValue(kDayStartDate, day.toString(Qt::ISODate));
}

void LiveFigures::restartDay()
{
    dayStart_.reset();
}

void LiveFigures::setRate(double rate)
{
    if (rate == tariff_.flatRate())
        return;
    tariff_.setFlatRate(rate);
    rateSpan_ = Tariff::RateSpan{0, 0};
}

void LiveFigures::setTariff(const Tariff &tariff)
{
    tariff_ = tariff;
    rateSpan_ = Tariff::RateSpan{0, 0};
}

// The rate is looked up again only when its period ends: no local time for every packet.
double LiveFigures::rateNow(qint64 utcSeconds)
{
    if (utcSeconds >= rateSpan_.until || utcSeconds < rateSpanFrom_) {
        rateSpan_ = tariff_.rateSpanAt(utcSeconds);
        rateSpanFrom_ = utcSeconds;
    }
    return rateSpan_.rate;
}

qint64 LiveFigures::ageSeconds() const
{
    return hasPacket() ? (clock_.monotonicMs() - *lastPacketMs_) / 1000 : -1;
}

QString LiveFigures::ageText() const
{
    if (!hasPacket())
        return QStringLiteral("no readings yet");
    const QString text = QStringLiteral("updated %1 s ago").arg(ageSeconds());
    return stale() ? QStringLiteral("Warning: no new readings, ") + text : text;
}
