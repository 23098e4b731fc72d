#pragma once

#include "history_report.h"

// The CSV of reports, which orvo-history prints and the history window exports. The header is
// an interface scripts rely on: its first seven columns stay as they are, new ones go at the end.
namespace HistoryCsv {

QString header();
QString line(const ReportRow &row);
// The whole report: the header and a line per row.
QString text(const PeriodReport &report);
// ISO 8601 local time with its offset from UTC, "2026-03-29T03:00:00+02:00".
QString localTime(qint64 utcSeconds);

} // namespace HistoryCsv
