#include "minute_accountant.h"

#include "history_logging.h"

#include <algorithm>

namespace {
// The start of the minute that holds ms, in Unix seconds.
qint64 minuteStart(qint64 ms)
{
    const qint64 minute = ms >= 0 ? ms / 60000 : (ms - 59999) / 60000;
    return minute * 60;
}
} // namespace

void MinuteAccountant::setRecordEnd(const std::optional<ResumePoint> &end)
{
    recordEnd_ = end;
    recordEndKnown_ = true;
    if (end) {
        resume_.origin = end->origin;
        resume_.originStart = end->originStart;
        if (!lastMs_) {
            resume_.counters = end->counters;
            resume_.lastPacketMs = end->lastPacketMs;
        }
    }
    if (first_ && !joined_)
        resolveJoin();
}

void MinuteAccountant::take(const PacketFacts &p, bool monitorReset)
{
    if (!lastMs_) {
        first_ = p;
        firstReset_ = monitorReset;
        lastMs_ = p.ms;
        last_ = p.statics;
        openMinute(p, p.statics); // what came before the run joins once the record's end is known
        addToMinute(p);
        if (recordEndKnown_)
            resolveJoin();
        return;
    }
    if (!notBelow(p.statics, last_)) {
        // Only a clearing makes the static counters fall, and it comes through restartFrom.
        qCWarning(lcHistory) << "static counters fell from" << last_ << "to" << p.statics
                             << ": the record goes on from the new values";
        closeCurrent();
        restartOrigin(p.statics, minuteStart(p.ms));
        openMinute(p, p.statics);
    } else if (p.ms - *lastMs_ > kGapMs) {
        closeCurrent();
        addGap(*lastMs_, p, p.statics - last_, RowKind::Gap);
        openMinute(p, p.statics);
    } else if (!open_ || minuteStart(p.ms) != open_->row.start) {
        closeCurrent();
        openMinute(p, last_);
    }
    addToMinute(p);
    lastMs_ = p.ms;
    last_ = p.statics;
}

void MinuteAccountant::openMinute(const PacketFacts &p, const Counters &base)
{
    OpenMinute m;
    m.row.start = minuteStart(p.ms);
    m.row.end = m.row.start + 60;
    m.base = base;
    open_ = m;
}

void MinuteAccountant::addToMinute(const PacketFacts &p)
{
    HistoryRow &r = open_->row;
    for (std::size_t c = 0; c < 2; ++c) {
        r.minWatts[c] = r.packets > 0 ? std::min(r.minWatts[c], p.watts[c]) : p.watts[c];
        r.maxWatts[c] = r.packets > 0 ? std::max(r.maxWatts[c], p.watts[c]) : p.watts[c];
    }
    r.minVolts = r.packets > 0 ? std::min(r.minVolts, p.volts) : p.volts;
    r.maxVolts = r.packets > 0 ? std::max(r.maxVolts, p.volts) : p.volts;
    ++r.packets;
}

void MinuteAccountant::addGap(qint64 fromMs, const PacketFacts &p, const Counters &energy,
                              RowKind kind)
{
    HistoryRow gap;
    gap.start = minuteStart(fromMs) + 60;
    gap.end = minuteStart(p.ms);
    gap.kind = kind;
    gap.energy = energy;
    qCInfo(lcHistory) << "gap from" << gap.start << "to" << gap.end << "energy" << energy
                      << (kind == RowKind::IncompleteGap ? "incomplete" : "");
    rows_.append(gap);
    resume_.lastPacketMs = p.ms;
    resume_.counters = p.statics;
}

void MinuteAccountant::closeBefore(qint64 nowMs)
{
    if (open_ && nowMs >= open_->row.end * 1000)
        closeCurrent();
}

void MinuteAccountant::closeCurrent()
{
    if (!open_)
        return;
    open_->row.energy += last_ - open_->base;
    rows_.append(open_->row);
    open_.reset();
    resume_.lastPacketMs = *lastMs_;
    resume_.counters = last_;
}

void MinuteAccountant::restartFrom(const Counters &counters, qint64 nowMs)
{
    qCInfo(lcHistory) << "pre-reset values cleared: the record goes on from" << counters;
    if (!lastMs_) {
        // Before the run's first packet: the record's end and the restored counters both
        // belong to the values before the clearing.
        if (recordEnd_)
            recordEnd_->counters = counters;
        restored_ = counters;
        restartOrigin(counters, minuteStart(nowMs));
        resume_.counters = counters;
        return;
    }
    if (open_) {
        // The minute keeps what it counted before the clearing, so its row stays whole.
        open_->row.energy += last_ - open_->base;
        open_->base = counters;
        restartOrigin(counters - open_->row.energy, open_->row.start);
    } else {
        restartOrigin(counters, minuteStart(nowMs));
        resume_.counters = counters;
    }
    last_ = counters;
}

void MinuteAccountant::restartOrigin(const Counters &origin, qint64 start)
{
    resume_.origin = origin;
    resume_.originStart = start;
}

void MinuteAccountant::resolveJoin()
{
    joined_ = true;
    const PacketFacts first = *first_;
    first_.reset();
    if (!recordEnd_) {
        restartOrigin(first.statics, minuteStart(first.ms));
        return;
    }
    const ResumePoint &end = *recordEnd_;
    Counters base = end.counters;
    bool incomplete = firstReset_;
    bool continuous = true;
    if (!notBelow(first.statics, end.counters)) {
        // The counters are below where the record ended: the record cannot be continued.
        continuous = false;
        incomplete = true;
        base = restored_ && notBelow(first.statics, *restored_) ? *restored_ : first.statics;
    }
    const Counters joined = first.statics - base;
    const qint64 gapStart = minuteStart(end.lastPacketMs) + 60;
    const qint64 gapEnd = minuteStart(first.ms);
    qCInfo(lcHistory) << "run joins the record after" << (first.ms - end.lastPacketMs) << "ms with"
                      << joined << (incomplete ? "(incomplete)" : "");
    if (first.ms - end.lastPacketMs > kGapMs && gapEnd > gapStart) {
        HistoryRow gap;
        gap.start = gapStart;
        gap.end = gapEnd;
        gap.kind = incomplete ? RowKind::IncompleteGap : RowKind::Gap;
        gap.energy = joined;
        rows_.prepend(gap);
        if (!continuous)
            restartOrigin(base, gapStart);
        return;
    }
    // A short break: what was counted meanwhile belongs to the run's first minute.
    HistoryRow &firstMinute = rows_.isEmpty() ? open_->row : rows_.first();
    firstMinute.energy += joined;
    if (!continuous)
        restartOrigin(base, firstMinute.start);
}

QList<HistoryRow> MinuteAccountant::takeRows()
{
    if (lastMs_ && !joined_)
        return {};
    return std::exchange(rows_, {});
}
