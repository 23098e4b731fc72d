#pragma once

#include "history_period.h"
#include "history_store.h"
#include "tariff.h"

// One row of a report: a bucket of time (or one of the record's rows) with its energy and cost.
struct ReportRow {
    qint64 start = 0;
    qint64 end = 0;
    Counters energy{};
    int packets = 0;
    bool gap = false;        // a gap row lies in (or across) the bucket
    bool incomplete = false; // a gap row of it misses energy counted before a monitor reset
    std::array<qint32, 2> minWatts{};
    std::array<qint32, 2> maxWatts{};
    double minVolts = 0;
    double maxVolts = 0;
    double energyCost = 0; // the energy at its rates, less the export credit
    double standing = 0;   // the standing charge of the days it holds (days and months only)

    double cost() const { return energyCost + standing; }
};

struct PeriodReport {
    quint64 id = 0;
    bool ok = true;
    QString error;
    QList<ReportRow> rows;
    ReportRow total; // the whole period, standing charge included
};

// Adds b into a: energy, packets and costs add up, flags and extremes combine.
void addInto(ReportRow &a, const ReportRow &b);

// What a report asks of the store and how the answer becomes its rows. Each bucket is split at
// the tariff's rate changes, so that every span is priced at its own rate. A gap row belongs to
// the bucket its start falls in, priced at the mean rate of the time it spans, and marks every
// bucket it covers.
class ReportPlan {
public:
    // nowUtc: days that have begun by then carry the standing charge.
    ReportPlan(const QList<Bucket> &buckets, PeriodStep step, const Tariff &tariff, qint64 nowUtc);

    HistoryQuery query(const QString &node, quint64 id) const;
    PeriodReport assemble(const HistoryAnswer &answer) const;
    const QList<Bucket> &buckets() const { return buckets_; }

private:
    struct Span {
        int bucket = 0;
        double rate = 0;
    };
    // The rate from `from` up to `until`; empty at first.
    struct CachedRate {
        qint64 from = 1;
        qint64 until = 0;
        double rate = 0;
    };
    void planSpans();
    ReportRow rowOf(const HistoryRow &row, CachedRate &rate) const;
    double standingOf(qint64 start, qint64 end) const;
    PeriodReport assembleBuckets(const HistoryAnswer &answer) const;
    PeriodReport assembleMinutes(const HistoryAnswer &answer) const;

    QList<Bucket> buckets_;
    PeriodStep step_;
    Tariff tariff_;
    qint64 now_;
    mutable LocalOffsets local_;
    QList<std::pair<qint64, qint64>> spanTimes_;
    QList<Span> spans_;
};

Q_DECLARE_METATYPE(PeriodReport)
