#include "history_period.h"

#include <QDateTime>
#include <QRegularExpression>

std::optional<NamedPeriod> parsePeriodDate(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4})(?:-(\\d{2})(?:-(\\d{2}))?)?$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int year = m.captured(1).toInt();
    if (m.captured(2).isEmpty()) {
        const QDate first(year, 1, 1);
        return first.isValid() ? std::optional(NamedPeriod{first, first.addYears(1), PeriodStep::Month})
                               : std::nullopt;
    }
    const int month = m.captured(2).toInt();
    if (m.captured(3).isEmpty()) {
        const QDate first(year, month, 1);
        return first.isValid() ? std::optional(NamedPeriod{first, first.addMonths(1), PeriodStep::Day})
                               : std::nullopt;
    }
    const QDate day(year, month, m.captured(3).toInt());
    return day.isValid() ? std::optional(NamedPeriod{day, day.addDays(1), PeriodStep::Hour})
                         : std::nullopt;
}

std::optional<PeriodRange> parsePeriodRange(const QString &fromText, const QString &toText,
                                            const QString &stepText, const PeriodRangeNames &names,
                                            QString *error)
{
    const auto badDate = [](const QString &name, const QString &text) {
        return QStringLiteral("%1 \"%2\" is not a date YYYY-MM-DD, YYYY-MM or YYYY").arg(name, text);
    };
    const std::optional<NamedPeriod> from = parsePeriodDate(fromText);
    const std::optional<NamedPeriod> to = parsePeriodDate(toText);
    const std::optional<PeriodStep> step = parsePeriodStep(stepText);
    if (!from)
        *error = badDate(names.from, fromText);
    else if (!to)
        *error = badDate(names.to, toText);
    else if (!step)
        *error = QStringLiteral("%1 \"%2\" is not minute, hour, day or month").arg(names.step, stepText);
    else if (to->first <= from->first)
        *error = QStringLiteral("%1 must come after %2 (it is exclusive)").arg(names.to, names.from);
    else
        return PeriodRange{from->first, to->first, *step};
    return std::nullopt;
}

std::optional<PeriodStep> parsePeriodStep(const QString &text)
{
    for (const PeriodStep step : {PeriodStep::Minute, PeriodStep::Hour, PeriodStep::Day, PeriodStep::Month})
        if (text == periodStepName(step))
            return step;
    return std::nullopt;
}

QString periodStepName(PeriodStep step)
{
    switch (step) {
    case PeriodStep::Minute:
        return QStringLiteral("minute");
    case PeriodStep::Hour:
        return QStringLiteral("hour");
    case PeriodStep::Day:
        return QStringLiteral("day");
    case PeriodStep::Month:
        return QStringLiteral("month");
    }
    return {};
}

qint64 localDayStart(const QDate &day)
{
    return day.startOfDay().toSecsSinceEpoch();
}

NamedPeriod periodAround(const QDate &day, PeriodStep step)
{
    switch (step) {
    case PeriodStep::Month: {
        const QDate first(day.year(), 1, 1);
        return NamedPeriod{first, first.addYears(1), step};
    }
    case PeriodStep::Day: {
        const QDate first(day.year(), day.month(), 1);
        return NamedPeriod{first, first.addMonths(1), step};
    }
    case PeriodStep::Minute:
    case PeriodStep::Hour:
        break;
    }
    return NamedPeriod{day, day.addDays(1), step};
}

NamedPeriod shiftPeriod(const NamedPeriod &period, int direction)
{
    switch (period.step) {
    case PeriodStep::Month:
        return periodAround(period.first.addYears(direction), period.step);
    case PeriodStep::Day:
        return periodAround(period.first.addMonths(direction), period.step);
    case PeriodStep::Minute:
    case PeriodStep::Hour:
        break;
    }
    return periodAround(period.first.addDays(direction), period.step);
}

QList<Bucket> periodBuckets(const QDate &first, const QDate &end, PeriodStep step)
{
    QList<Bucket> buckets;
    const qint64 periodEnd = localDayStart(end);
    switch (step) {
    case PeriodStep::Minute:
        buckets.append(Bucket{localDayStart(first), periodEnd});
        break;
    case PeriodStep::Hour:
        // An hour of elapsed time each: the day of the change to summer time has 23 of them.
        for (qint64 t = localDayStart(first); t < periodEnd; t += 3600)
            buckets.append(Bucket{t, std::min(t + 3600, periodEnd)});
        break;
    case PeriodStep::Day:
        for (QDate d = first; d < end; d = d.addDays(1))
            buckets.append(Bucket{localDayStart(d), localDayStart(d.addDays(1))});
        break;
    case PeriodStep::Month:
        for (QDate d = first; d < end;) {
            const QDate next = std::min(QDate(d.year(), d.month(), 1).addMonths(1), end);
            buckets.append(Bucket{localDayStart(d), localDayStart(next)});
            d = next;
        }
        break;
    }
    return buckets;
}
