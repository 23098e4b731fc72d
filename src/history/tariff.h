#pragma once

#include "history_settings.h"
#include "local_offsets.h"

#include <QStringList>
#include <QtGlobal>

#include <limits>
#include <vector>

// What energy costs: a rate per kWh by local time of day, a standing charge per day and a
// credit per generated kWh. Without any tariff key one rate (the Rate setting) prices all the
// energy through a channel, as the program always has; once a tariff key is set, the energy
// priced is the consumed energy (absolute minus generated) and generated energy earns the
// export credit.
class Tariff {
public:
    static constexpr double kWsPerKwh = 3.6e6;

    // The rate in force from a moment on, and the UTC second (Unix time) at which the next local
    // time's rate may differ.
    struct RateSpan {
        double rate = 0;
        qint64 until = std::numeric_limits<qint64>::max();
    };

    Tariff() = default;
    // The group's texts and the Rate setting. A text that cannot be read is left out and
    // described in problems: a Rates text with any fault prices everything at flatRate.
    static Tariff fromTexts(const TariffTexts &texts, double flatRate, QStringList *problems);

    // The Rate setting: what minutes outside every rate period cost.
    void setFlatRate(double rate) { flatRate_ = rate; }
    double flatRate() const { return flatRate_; }
    bool hasPeriods() const { return !minuteRate_.empty(); }
    bool pricesGeneration() const { return pricesGeneration_; }
    double standingCharge() const { return standingCharge_; }
    double exportCredit() const { return exportCredit_; }

    // minute: 0 to 1439 of the local day.
    double rateAtMinute(int minute) const;
    RateSpan rateSpanAt(qint64 utcSeconds) const;
    // The rate over [from, to), weighted by time: what energy of unknown timing there costs.
    double meanRate(qint64 from, qint64 to) const;
    // The energy's cost at the rate, less the credit for its generated part.
    double energyCost(qint64 absoluteWs, qint64 generatedWs, double rate) const;

private:
    bool parseRates(const QString &text, QString *problem);

    double flatRate_ = 0.126;
    std::vector<double> minuteRate_; // by minute of the local day; empty: flatRate_ all day
    double standingCharge_ = 0;
    double exportCredit_ = 0;
    bool pricesGeneration_ = false;
    mutable LocalOffsets local_;
};
