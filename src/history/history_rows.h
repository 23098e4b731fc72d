#pragma once

#include <QDebug>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QtGlobal>

#include <array>

// The four static counters of both channels, in whole watt-seconds, in this order: channel 1
// absolute, channel 2 absolute, channel 1 polarized (generated), channel 2 polarized.
using Counters = std::array<qint64, 4>;
enum CounterIndex { kAbs1 = 0, kAbs2 = 1, kGen1 = 2, kGen2 = 3 };

inline Counters operator-(const Counters &a, const Counters &b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2], a[3] - b[3]};
}
inline Counters &operator+=(Counters &a, const Counters &b)
{
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] += b[i];
    return a;
}
// Every counter of a is at least the one of b.
inline bool notBelow(const Counters &a, const Counters &b)
{
    return a[0] >= b[0] && a[1] >= b[1] && a[2] >= b[2] && a[3] >= b[3];
}

inline QDebug operator<<(QDebug d, const Counters &c)
{
    QDebugStateSaver saver(d);
    d.nospace() << '[' << c[0] << ", " << c[1] << ", " << c[2] << ", " << c[3] << ']';
    return d;
}

// What a row is. The numbers are stored in the database's gap column.
enum class RowKind : int {
    Minute = 0,        // the packets of one minute
    Gap = 1,           // no packet for over 120 s: the energy between the packets around it
    IncompleteGap = 2, // a gap across which the monitor was reset: what it counted before is unknown
};

// One row of the record. Times are Unix seconds (UTC) on whole minutes, end exclusive; a row
// belongs to the period its start falls in.
struct HistoryRow {
    qint64 start = 0;
    qint64 end = 0;
    RowKind kind = RowKind::Minute;
    int packets = 0;
    Counters energy{}; // the counters' advance over the row
    // Over the row's packets; meaningless when packets is 0.
    std::array<qint32, 2> minWatts{};
    std::array<qint32, 2> maxWatts{};
    double minVolts = 0;
    double maxVolts = 0;

    bool isGap() const { return kind != RowKind::Minute; }
    bool operator==(const HistoryRow &) const = default;
};

// Adds b, a later row, into a: energy and packets add up, the span covers both, the extremes
// take both. A merge of several rows is no single minute any more, and counts as a gap.
void mergeRow(HistoryRow &a, const HistoryRow &b);

// Where the record of a node stands after its latest write: the next run's starting point.
struct ResumePoint {
    qint64 lastPacketMs = 0; // arrival of the last packet counted (UTC, ms since the epoch)
    Counters counters{};     // the static counters at that packet
    qint64 originStart = 0;  // start of the first row since the record began or was restarted
    Counters origin{};       // the counters it began from: the rows since add up to counters - origin
    bool operator==(const ResumePoint &) const = default;
};

// Rows handed to a store in one go, with the starting point that holds once they are written.
struct HistoryBatch {
    QString node;
    QList<HistoryRow> rows;
    ResumePoint resume;
};

struct WriteOutcome {
    int rows = 0;  // how many rows of the batch this is about
    bool ok = false;
    QString error; // the database's words when not ok
    // The store took the rows into a queue of its own and sees them to the database; whether
    // that works troubleChanged() tells.
    bool kept = false;
};

Q_DECLARE_METATYPE(HistoryRow)
Q_DECLARE_METATYPE(WriteOutcome)
