#pragma once

#include "history_rows.h"

#include <QList>

#include <optional>

// What the record takes of one accepted packet.
struct PacketFacts {
    qint64 ms = 0;                   // arrival by the program's clock, UTC ms since the epoch
    Counters statics{};              // the static counters after it
    std::array<qint32, 2> watts{};
    double volts = 0;
};

// Turns the stream of accepted packets into rows, without clock, timer or database: a row per
// minute of arrival time holding the static counters' advance from the last packet before the
// minute to the last one in it, and a gap row where no packet came for over 120 s. Every
// watt-second the counters advance lands in exactly one row, so the rows since the record's
// origin add up to the counters' advance.
//
// At the start of a run the first packet is measured against what the record ended with (the
// last counted packet of the previous run); the counters the program restored at start only
// step in when the record cannot serve, for a new record or one that the counters have fallen
// below. Rows are held back until the record's end is known.
class MinuteAccountant {
public:
    static constexpr qint64 kGapMs = 120000;

    // The counters the program restored at start; incomplete: the monitor was reset since
    // they were saved, so energy it counted before that reset is unknown.
    void setRestored(const Counters &restored) { restored_ = restored; }
    // What the record ended with; nothing for a new record.
    void setRecordEnd(const std::optional<ResumePoint> &end);
    bool recordEndKnown() const { return recordEndKnown_; }

    // monitorReset is looked at for the run's first packet only.
    void take(const PacketFacts &p, bool monitorReset = false);
    // Closes the minute in progress once nowMs has passed its end.
    void closeBefore(qint64 nowMs);
    // Closes the minute in progress now (the orderly end).
    void closeCurrent();
    // The pre-reset offsets were cleared at nowMs: the record goes on from these counters,
    // without a negative row.
    void restartFrom(const Counters &counters, qint64 nowMs);

    // The rows closed since the last call, oldest first (none while the record's end is unknown).
    QList<HistoryRow> takeRows();
    // The starting point once every row handed out so far is written.
    const ResumePoint &resume() const { return resume_; }
    bool hasPacket() const { return lastMs_.has_value(); }
    // Rows closed and not taken yet.
    int heldRows() const { return int(rows_.size()); }

private:
    struct OpenMinute {
        HistoryRow row;
        Counters base{};
    };
    void openMinute(const PacketFacts &p, const Counters &base);
    void addToMinute(const PacketFacts &p);
    void addGap(qint64 fromMs, const PacketFacts &p, const Counters &energy, RowKind kind);
    void resolveJoin();
    void restartOrigin(const Counters &origin, qint64 start);

    std::optional<Counters> restored_;
    std::optional<ResumePoint> recordEnd_;
    bool recordEndKnown_ = false;
    std::optional<PacketFacts> first_; // the run's first packet, until the join is resolved
    bool firstReset_ = false;
    bool joined_ = false;

    std::optional<OpenMinute> open_;
    std::optional<qint64> lastMs_;
    Counters last_{};
    QList<HistoryRow> rows_;
    ResumePoint resume_;
};
