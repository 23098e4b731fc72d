#pragma once

#include "power_history.h"
#include "tariff.h"

#include <QDate>
#include <QString>

#include <array>
#include <optional>

class Clock;
class SettingsStore;
struct LiveReading;

// What the live readings window shows of one channel.
struct ChannelFigures {
    double watts = 0;
    double amps = 0;
    double powerFactor = 0;
    double kwhStatic = 0;     // the static counter: kept across monitor resets
    double costPerHour = 0;   // at the present power and the rate
    double kwhToday = 0;      // since local midnight, from the static counter
    double costToday = 0;
    bool generating = false;  // the polarized counter advanced with the latest packet
};

// The figures of the live readings window, worked out from each decoded packet without any
// widget, and the power history behind its chart.
//
// Today's energy is the static counter minus its value at the first packet of the local day.
// That start is kept in the settings (DayStart1, DayStart2, DayStartDate), so a restart of the
// program on the same day continues the figure, and a monitor reset does not disturb it. It
// starts again from the next packet's counters on a new day, after restartDay (the pre-reset
// values were cleared), and when a static counter is found below its start.
class LiveFigures {
public:
    static constexpr int kStaleAfterSeconds = 3; // the data-flow watchdog's three ticks

    LiveFigures(const Clock &clock, SettingsStore &store);

    // The Rate setting: the price of every hour without a tariff, of hours outside its periods
    // with one.
    void setRate(double rate);
    double rate() const { return tariff_.flatRate(); }
    // The tariff prices the cost per hour at the present time's rate and today's cost minute by
    // minute; without [tariff] keys both are Rate times the energy, as always.
    void setTariff(const Tariff &tariff);

    // One decoded packet, arrived now.
    void take(const LiveReading &r);
    // The pre-reset values were cleared: today's figure starts from the next packet.
    void restartDay();

    const std::array<ChannelFigures, 2> &channels() const { return channels_; }
    double volts() const { return volts_; }
    const PowerHistory &history() const { return history_; }
    bool hasPacket() const { return lastPacketMs_.has_value(); }
    // Whole seconds since the latest packet; -1 before the first.
    qint64 ageSeconds() const;
    // No packet for longer than the watchdog waits before it calls the stream stopped.
    bool stale() const { return ageSeconds() > kStaleAfterSeconds; }
    // "updated 2 s ago", with a warning in front once stale.
    QString ageText() const;

private:
    void startDay(const QDate &day, const std::array<double, 2> &counters);
    void loadDayStart();
    // The local date at epoch time nowMs, converted only when nowMs leaves the day last found.
    QDate localDate(qint64 nowMs);

    const Clock &clock_;
    SettingsStore &store_;
    double rateNow(qint64 utcSeconds);

    Tariff tariff_;
    Tariff::RateSpan rateSpan_{0, 0};          // the rate from rateSpanFrom_ until its end
    qint64 rateSpanFrom_ = 0;
    std::array<double, 2> dayCost_{};           // today's cost so far, by the tariff
    std::optional<std::array<double, 4>> costedCounters_; // the counters priced so far
    std::array<ChannelFigures, 2> channels_{};
    double volts_ = 0;
    std::optional<qint64> lastPacketMs_; // on the monotonic clock
    QDate today_;                        // the local date from todayFromMs_ to todayUntilMs_
    qint64 todayFromMs_ = 0;
    qint64 todayUntilMs_ = 0;
    std::optional<std::array<double, 2>> lastPolar_;
    std::optional<std::array<double, 2>> dayStart_;
    QDate dayStartDate_;
    PowerHistory history_;
};
