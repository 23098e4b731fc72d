#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

// The resolution of a report: a row per minute (the record's own rows), hour, day or month.
enum class PeriodStep { Minute, Hour, Day, Month };

// [start, end) in Unix seconds (UTC), on edges of local time.
struct Bucket {
    qint64 start = 0;
    qint64 end = 0;
    bool operator==(const Bucket &) const = default;
};

// The local days [first, end) that a DATE names: "YYYY-MM-DD" a day, "YYYY-MM" a month,
// "YYYY" a year. step is the next finer step, the one its chart shows.
struct NamedPeriod {
    QDate first;
    QDate end;
    PeriodStep step = PeriodStep::Hour;
};

std::optional<NamedPeriod> parsePeriodDate(const QString &text);

// The local days [first, end) at a step, as an export asks for them: from and to are DATEs, to
// exclusive (its first day is the end), step a step's name.
struct PeriodRange {
    QDate first;
    QDate end;
    PeriodStep step = PeriodStep::Hour;
};
// The names that the one-line reasons call the three texts by ("--from" on a command line).
struct PeriodRangeNames {
    QString from;
    QString to;
    QString step;
};
// The range, or nothing and *error the one line that says what is wrong with it.
std::optional<PeriodRange> parsePeriodRange(const QString &from, const QString &to,
                                            const QString &step, const PeriodRangeNames &names,
                                            QString *error);
// "minute", "hour", "day" or "month".
std::optional<PeriodStep> parsePeriodStep(const QString &text);
QString periodStepName(PeriodStep step);

// The first moment of a local day, in Unix seconds: its midnight, or the moment after the
// daylight-saving gap where midnight does not exist.
qint64 localDayStart(const QDate &day);
// The local day, month or year around the day, by the step its chart shows.
NamedPeriod periodAround(const QDate &day, PeriodStep step);
// The same kind of period before (-1) or after (+1).
NamedPeriod shiftPeriod(const NamedPeriod &period, int direction);

// The buckets of [first, end) at the step: a local day has 23, 24 or 25 hours. A Minute step
// gives the whole period as one bucket, whose rows the record lists.
QList<Bucket> periodBuckets(const QDate &first, const QDate &end, PeriodStep step);
