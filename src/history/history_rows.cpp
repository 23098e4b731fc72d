#include "history_rows.h"

#include <algorithm>

void mergeRow(HistoryRow &a, const HistoryRow &b)
{
    if (b.packets > 0) {
        for (std::size_t c = 0; c < 2; ++c) {
            a.minWatts[c] = a.packets > 0 ? std::min(a.minWatts[c], b.minWatts[c]) : b.minWatts[c];
            a.maxWatts[c] = a.packets > 0 ? std::max(a.maxWatts[c], b.maxWatts[c]) : b.maxWatts[c];
        }
        a.minVolts = a.packets > 0 ? std::min(a.minVolts, b.minVolts) : b.minVolts;
        a.maxVolts = a.packets > 0 ? std::max(a.maxVolts, b.maxVolts) : b.maxVolts;
    }
    a.start = std::min(a.start, b.start);
    a.end = std::max(a.end, b.end);
    a.packets += b.packets;
    a.energy += b.energy;
    a.kind = std::max(a.kind, std::max(b.kind, RowKind::Gap));
}
