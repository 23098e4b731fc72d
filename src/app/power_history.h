#pragma once

#include <QList>
#include <QPointF>
#include <QtGlobal>

#include <array>

// The spans the power chart can show.
enum class HistorySpan { Minutes15, Hour1, Hours24 };

// Both channels' power by arrival time, kept for each chart span at about the chart's width:
// every span is cut into kBuckets equal buckets, and each bucket keeps the minimum and the
// maximum of each channel with the moments they arrived, so a peak of one packet survives the
// reduction. The buckets of a span form a ring whose slots are reused as time moves on, so the
// memory stays the same however long the program runs.
class PowerHistory {
public:
    static constexpr int kBuckets = 450; // at most two points each: 900 per series
    static constexpr int kChannels = 2;

    static qint64 spanMs(HistorySpan span);

    // A packet's figures, at its arrival time in milliseconds since the epoch. A packet older
    // than a bucket's present contents (the wall clock went back) is left out of that span.
    void add(qint64 atMs, double watts1, double watts2);
    void clear();

    // The points of channel 0 or 1 within the span that ends at nowMs, oldest first: x in
    // milliseconds since the epoch, y in watts.
    QList<QPointF> points(HistorySpan span, int channel, qint64 nowMs) const;
    // The buckets holding data, over every span; never more than 3 * kBuckets.
    int storedBucketCount() const;

private:
    struct Extremes {
        float min = 0;
        float max = 0;
        qint64 minAt = 0;
        qint64 maxAt = 0;
    };
    struct Bucket {
        qint64 number = -1; // the bucket's start divided by its width; -1 while empty
        std::array<Extremes, kChannels> channel{};
    };
    using Ring = std::array<Bucket, kBuckets>;

    static qint64 bucketWidthMs(int span);
    static void addTo(Ring &ring, qint64 number, qint64 atMs, const std::array<float, kChannels> &w);

    std::array<Ring, 3> rings_{};
};
