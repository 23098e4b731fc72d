#include "power_history.h"

qint64 PowerHistory::spanMs(HistorySpan span)
{
    switch (span) {
    case HistorySpan::Minutes15:
        return 15 * 60 * 1000LL;
    case HistorySpan::Hour1:
        return 60 * 60 * 1000LL;
    case HistorySpan::Hours24:
        break;
    }
    return 24 * 60 * 60 * 1000LL;
}

qint64 PowerHistory::bucketWidthMs(int span)
{
    return spanMs(HistorySpan(span)) / kBuckets;
}

void PowerHistory::add(qint64 atMs, double watts1, double watts2)
{
    const std::array<float, kChannels> w{float(watts1), float(watts2)};
    for (int span = 0; span < int(rings_.size()); ++span)
        addTo(rings_[span], atMs / bucketWidthMs(span), atMs, w);
}

void PowerHistory::addTo(Ring &ring, qint64 number, qint64 atMs,
                         const std::array<float, kChannels> &w)
{
    Bucket &b = ring[std::size_t(number % kBuckets)];
    if (number < b.number)
        return;
    if (number > b.number) {
        b.number = number;
        for (int c = 0; c < kChannels; ++c)
            b.channel[c] = Extremes{w[c], w[c], atMs, atMs};
        return;
    }
    for (int c = 0; c < kChannels; ++c) {
        Extremes &e = b.channel[c];
        if (w[c] < e.min)
            e = Extremes{w[c], e.max, atMs, e.maxAt};
        if (w[c] > e.max)
            e = Extremes{e.min, w[c], e.minAt, atMs};
    }
}

void PowerHistory::clear()
{
    rings_ = {};
}

QList<QPointF> PowerHistory::points(HistorySpan span, int channel, qint64 nowMs) const
{
    const int s = int(span);
    const Ring &ring = rings_[std::size_t(s)];
    const qint64 last = nowMs / bucketWidthMs(s);
    QList<QPointF> out;
    out.reserve(2 * kBuckets);
    for (qint64 number = last - kBuckets + 1; number <= last; ++number) {
        if (number < 0)
            continue;
        const Bucket &b = ring[std::size_t(number % kBuckets)];
        if (b.number != number)
            continue;
        const Extremes &e = b.channel[std::size_t(channel)];
        const bool minFirst = e.minAt <= e.maxAt;
        out.append(minFirst ? QPointF(e.minAt, e.min) : QPointF(e.maxAt, e.max));
        if (e.minAt != e.maxAt)
            out.append(minFirst ? QPointF(e.maxAt, e.max) : QPointF(e.minAt, e.min));
    }
    return out;
}

int PowerHistory::storedBucketCount() const
{
    int n = 0;
    for (const Ring &ring : rings_)
        for (const Bucket &b : ring)
            n += b.number >= 0 ? 1 : 0;
    return n;
}
