#pragma once

// Records that a test writes through the real SQLite store, for the readers of the record to
// show: minute rows of a steady load and gap rows.

#include "history_rows.h"

#include <QDate>
#include <QList>
#include <QString>

// Unix seconds of a local time.
qint64 localSeconds(const QDate &day, int hour, int minute);
// A minute of 60 packets from start, ws1 watt-seconds on channel 1 (generated1 of them generated).
HistoryRow recordMinute(qint64 start, qint64 ws1, qint64 generated1 = 0);
HistoryRow recordGap(qint64 start, qint64 end, qint64 ws1);
// Writes the rows into the record file (created when missing) for the node; false when the
// store refused them.
bool writeRecord(const QString &file, const QString &node, const QList<HistoryRow> &rows);
