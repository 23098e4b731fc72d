#pragma once

#include "live_reading.h"

#include <QString>
#include <QStringView>

#include <optional>

// The texts that answer the read keys of the client protocol, built from the LiveReading.
namespace ReadingReplies {

// One value by its key ("P1", "KWH2", "WS1PSTATIC", "SEC", ...); nothing for an unknown key.
std::optional<QString> valueText(const LiveReading &reading, QStringView key);

// The twelve TAB-separated fields of "ALL"; also the line pushed to the client unasked.
QString allLine(const LiveReading &reading);
// The sixteen fields of "ALLP": ALL's first eleven, the polarized counters, then SEC.
QString allpLine(const LiveReading &reading);

} // namespace ReadingReplies
