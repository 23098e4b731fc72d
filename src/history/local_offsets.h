#pragma once

#include <QtGlobal>

// Unix seconds and the local wall clock, converted by arithmetic between two changes of the
// local zone's offset (daylight-saving time), which are looked up once each. A year's view has
// a thousand such conversions; through the C library each would cost microseconds.
class LocalOffsets {
public:
    // Seconds east of UTC at the moment.
    int offsetAt(qint64 utc);
    // The wall clock's seconds since 1970-01-01T00:00 local.
    qint64 wallAt(qint64 utc) { return utc + offsetAt(utc); }
    // The moment the wall clock shows wall: the first of two when it shows it twice, the end of
    // the gap when it skips it.
    qint64 utcAt(qint64 wall);
    // The next local midnight after the moment.
    qint64 nextMidnight(qint64 utc);

private:
    qint64 from_ = 1; // the cached offset holds over [from_, until_)
    qint64 until_ = 0;
    int offset_ = 0;
};
