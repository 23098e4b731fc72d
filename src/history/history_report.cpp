#include "history_report.h"

#include <QDateTime>

#include <algorithm>

namespace {

void combineExtremes(ReportRow &a, int packets, const std::array<qint32, 2> &minW,
                     const std::array<qint32, 2> &maxW, double minV, double maxV)
{
    if (packets == 0)
        return;
    const bool first = a.packets == 0;
    for (std::size_t c = 0; c < 2; ++c) {
        a.minWatts[c] = first ? minW[c] : std::min(a.minWatts[c], minW[c]);
        a.maxWatts[c] = first ? maxW[c] : std::max(a.maxWatts[c], maxW[c]);
    }
    a.minVolts = first ? minV : std::min(a.minVolts, minV);
    a.maxVolts = first ? maxV : std::max(a.maxVolts, maxV);
}

} // namespace

void addInto(ReportRow &a, const ReportRow &b)
{
    combineExtremes(a, b.packets, b.minWatts, b.maxWatts, b.minVolts, b.maxVolts);
    a.energy += b.energy;
    a.packets += b.packets;
    a.gap = a.gap || b.gap;
    a.incomplete = a.incomplete || b.incomplete;
    a.energyCost += b.energyCost;
    a.standing += b.standing;
}

ReportPlan::ReportPlan(const QList<Bucket> &buckets, PeriodStep step, const Tariff &tariff,
                       qint64 nowUtc)
    : buckets_(buckets), step_(step), tariff_(tariff), now_(nowUtc)
{
    if (step_ != PeriodStep::Minute)
        planSpans();
}

void ReportPlan::planSpans()
{
    for (int b = 0; b < buckets_.size(); ++b) {
        for (qint64 t = buckets_[b].start; t < buckets_[b].end;) {
            const Tariff::RateSpan rate = tariff_.rateSpanAt(t);
            const qint64 end = std::min(buckets_[b].end, rate.until);
            spanTimes_.append({t, end});
            spans_.append(Span{b, rate.rate});
            t = end;
        }
    }
}

HistoryQuery ReportPlan::query(const QString &node, quint64 id) const
{
    HistoryQuery q;
    q.id = id;
    q.node = node;
    q.spans = spanTimes_;
    q.from = buckets_.isEmpty() ? 0 : buckets_.first().start;
    q.to = buckets_.isEmpty() ? 0 : buckets_.last().end;
    q.listRows = step_ == PeriodStep::Minute;
    return q;
}

double ReportPlan::standingOf(qint64 start, qint64 end) const
{
    if (tariff_.standingCharge() == 0 || step_ == PeriodStep::Minute || step_ == PeriodStep::Hour)
        return 0;
    int days = 0;
    for (qint64 t = start; t < end && t <= now_; t = local_.nextMidnight(t))
        ++days;
    return days * tariff_.standingCharge();
}

PeriodReport ReportPlan::assemble(const HistoryAnswer &answer) const
{
    PeriodReport report = step_ == PeriodStep::Minute ? assembleMinutes(answer) : assembleBuckets(answer);
    report.id = answer.id;
    report.ok = answer.ok;
    report.error = answer.error;
    report.total.start = buckets_.isEmpty() ? 0 : buckets_.first().start;
    report.total.end = buckets_.isEmpty() ? 0 : buckets_.last().end;
    if (step_ == PeriodStep::Minute || step_ == PeriodStep::Hour) {
        // The rows leave the standing charge out; the period carries it.
        const ReportPlan days(buckets_, PeriodStep::Day, tariff_, now_);
        report.total.standing = days.standingOf(report.total.start, report.total.end);
    }
    return report;
}

PeriodReport ReportPlan::assembleBuckets(const HistoryAnswer &answer) const
{
    PeriodReport report;
    for (const Bucket &b : buckets_) {
        ReportRow row;
        row.start = b.start;
        row.end = b.end;
        row.standing = standingOf(b.start, b.end);
        report.rows.append(row);
    }
    for (int i = 0; i < answer.spans.size() && i < spans_.size(); ++i) {
        const SpanTotals &s = answer.spans[i];
        ReportRow &row = report.rows[spans_[i].bucket];
        combineExtremes(row, s.packets, s.minWatts, s.maxWatts, s.minVolts, s.maxVolts);
        row.energy += s.energy;
        row.packets += s.packets;
        for (std::size_t c = 0; c < 2; ++c)
            row.energyCost += tariff_.energyCost(s.energy[c], s.energy[c + 2], spans_[i].rate);
    }
    for (const HistoryRow &g : answer.gaps) {
        for (ReportRow &row : report.rows) {
            row.gap = row.gap || (g.start < row.end && g.end > row.start);
            if (g.start < row.start || g.start >= row.end)
                continue;
            CachedRate rate;
            const ReportRow priced = rowOf(g, rate);
            row.energy += g.energy;
            row.packets += g.packets;
            row.incomplete = row.incomplete || priced.incomplete;
            row.energyCost += priced.energyCost;
        }
    }
    for (const ReportRow &row : report.rows)
        addInto(report.total, row);
    return report;
}

PeriodReport ReportPlan::assembleMinutes(const HistoryAnswer &answer) const
{
    PeriodReport report;
    CachedRate rate;
    for (const HistoryRow &r : answer.rows) {
        report.rows.append(rowOf(r, rate));
        addInto(report.total, report.rows.last());
    }
    return report;
}

// rate caches the span of the rows before, so that a day's minutes cost a few look-ups.
ReportRow ReportPlan::rowOf(const HistoryRow &r, CachedRate &rate) const
{
    ReportRow row;
    row.start = r.start;
    row.end = r.end;
    row.energy = r.energy;
    row.packets = r.packets;
    row.gap = r.isGap();
    row.incomplete = r.kind == RowKind::IncompleteGap;
    combineExtremes(row, r.packets, r.minWatts, r.maxWatts, r.minVolts, r.maxVolts);
    double price = 0;
    if (r.isGap()) {
        price = tariff_.meanRate(r.start, r.end);
    } else {
        if (r.start < rate.from || r.start >= rate.until) {
            const Tariff::RateSpan span = tariff_.rateSpanAt(r.start);
            rate = CachedRate{r.start, span.until, span.rate};
        }
        price = rate.rate;
    }
    for (std::size_t c = 0; c < 2; ++c)
        row.energyCost += tariff_.energyCost(r.energy[c], r.energy[c + 2], price);
    return row;
}
