#include "local_offsets.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <limits>

namespace {
constexpr qint64 kDay = 86400;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
} // namespace

int LocalOffsets::offsetAt(qint64 utc)
{
    if (utc >= from_ && utc < until_)
        return offset_;
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime at = QDateTime::fromSecsSinceEpoch(utc, Qt::UTC);
    offset_ = zone.isValid() ? zone.offsetFromUtc(at) : QDateTime::fromSecsSinceEpoch(utc).offsetFromUtc();
    const QTimeZone::OffsetData next = zone.isValid() ? zone.nextTransition(at) : QTimeZone::OffsetData{};
    const QTimeZone::OffsetData previous =
        zone.isValid() ? zone.previousTransition(at.addSecs(1)) : QTimeZone::OffsetData{};
    until_ = next.atUtc.isValid() ? next.atUtc.toSecsSinceEpoch() : std::numeric_limits<qint64>::max();
    from_ = previous.atUtc.isValid() ? previous.atUtc.toSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    if (!zone.isValid()) {
        // Without zone data the offset is taken to hold for this day only.
        from_ = utc;
        until_ = utc + 1;
    }
    return offset_;
}

qint64 LocalOffsets::utcAt(qint64 wall)
{
    // Whatever the answer, its offset is one of those around that time.
    constexpr qint64 kReach = 18 * 3600;
    qint64 best = std::numeric_limits<qint64>::max();
    qint64 latest = std::numeric_limits<qint64>::min();
    for (const qint64 probe : {wall - kReach, wall, wall + kReach}) {
        const qint64 candidate = wall - offsetAt(probe);
        latest = std::max(latest, candidate);
        if (wallAt(candidate) == wall)
            best = std::min(best, candidate);
    }
    if (best != std::numeric_limits<qint64>::max())
        return best;
    // Skipped by the clock: the moment of the skip, where the later offset begins.
    offsetAt(latest);
    return from_;
}

qint64 LocalOffsets::nextMidnight(qint64 utc)
{
    return utcAt((floorDiv(wallAt(utc), kDay) + 1) * kDay);
}
