#include "history_command.h"

namespace {

// The options that take a value, and the lone ones.
const QStringList kValued{QStringLiteral("--settings"), QStringLiteral("--day"),
                          QStringLiteral("--month"), QStringLiteral("--year"),
                          QStringLiteral("--from"), QStringLiteral("--to"),
                          QStringLiteral("--step")};

struct Options {
    QString verb;
    QMap<QString, QString> values;
};

std::optional<Options> split(const QStringList &arguments, QString *error)
{
    Options o;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (kValued.contains(a)) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(a);
                return std::nullopt;
            }
            o.values.insert(a, arguments[++i]);
        } else if (o.verb.isEmpty() && !a.startsWith(u'-')) {
            o.verb = a;
        } else {
            *error = QStringLiteral("unknown argument \"%1\" (see --help)").arg(a);
            return std::nullopt;
        }
    }
    return o;
}

QString badDate(const QString &option, const QString &text)
{
    return QStringLiteral("%1 \"%2\" is not a date YYYY-MM-DD, YYYY-MM or YYYY").arg(option, text);
}

ParsedCommand summary(const Options &o, HistoryCommand c)
{
    c.summary = true;
    const QStringList kinds{QStringLiteral("--day"), QStringLiteral("--month"), QStringLiteral("--year")};
    const PeriodStep steps[] = {PeriodStep::Hour, PeriodStep::Day, PeriodStep::Month};
    int given = 0;
    for (int k = 0; k < kinds.size(); ++k) {
        if (!o.values.contains(kinds[k]))
            continue;
        ++given;
        const QString text = o.values.value(kinds[k]);
        const std::optional<NamedPeriod> named = parsePeriodDate(text);
        // A day needs its day; a month or a year is found around any date in it.
        if (!named || (k == 0 && named->step != PeriodStep::Hour)
            || (k == 1 && named->step == PeriodStep::Month))
            return ParsedCommand{std::nullopt, badDate(kinds[k], text)};
        const NamedPeriod period = periodAround(named->first, steps[k]);
        c.first = period.first;
        c.end = period.end;
        c.step = steps[k];
    }
    if (given != 1)
        return ParsedCommand{std::nullopt, QStringLiteral("summary takes one of --day, --month or --year")};
    return ParsedCommand{c, QString()};
}

ParsedCommand exportRows(const Options &o, HistoryCommand c)
{
    for (const char *name : {"--from", "--to", "--step"})
        if (!o.values.contains(QLatin1String(name)))
            return ParsedCommand{std::nullopt, QStringLiteral("export needs --from, --to and --step")};
    QString error;
    const std::optional<PeriodRange> range = parsePeriodRange(
        o.values.value(QStringLiteral("--from")), o.values.value(QStringLiteral("--to")),
        o.values.value(QStringLiteral("--step")),
        {QStringLiteral("--from"), QStringLiteral("--to"), QStringLiteral("--step")}, &error);
    if (!range)
        return ParsedCommand{std::nullopt, error};
    c.first = range->first;
    c.end = range->end;
    c.step = range->step;
    return ParsedCommand{c, QString()};
}

} // namespace

ParsedCommand parseHistoryCommand(const QStringList &arguments)
{
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h")))
        return ParsedCommand{std::nullopt, QString(), true};
    QString error;
    const std::optional<Options> o = split(arguments, &error);
    if (!o)
        return ParsedCommand{std::nullopt, error};
    HistoryCommand c;
    c.settingsFile = o->values.value(QStringLiteral("--settings"));
    if (o->verb == QLatin1String("summary"))
        return summary(*o, c);
    if (o->verb == QLatin1String("export"))
        return exportRows(*o, c);
    return ParsedCommand{std::nullopt, o->verb.isEmpty()
                                           ? QStringLiteral("say summary or export (see --help)")
                                           : QStringLiteral("unknown command \"%1\" (see --help)").arg(o->verb)};
}

QString historyUsage(const QString &recordFile)
{
    return QStringLiteral(
               "Usage: orvo-history [--settings FILE] summary --day|--month|--year DATE\n"
               "       orvo-history [--settings FILE] export --from DATE --to DATE --step minute|hour|day|month\n"
               "\n"
               "Prints the energy record as CSV: a header and one row for the period (summary), or a\n"
               "row per step from --from up to --to, which is exclusive (export). DATE is YYYY-MM-DD,\n"
               "YYYY-MM or YYYY in local time. Energies are integer watt-seconds; gap is 1 where the\n"
               "program saw no packet for over 120 s and the energy of that time is one gap row.\n"
               "The record is only read, beside a running program.\n"
               "\n"
               "The record: $XDG_DATA_HOME/Orvotove/<settings base name>.history.sqlite\n"
               "(~/.local/share by default), or the file [history] Database names; here\n"
               "%1\n"
               "Settings: $XDG_CONFIG_HOME/Orvotove/Orvotove.ini unless --settings; prices from\n"
               "[tariff] Rates, StandingCharge, ExportCredit and [startup] Rate.\n")
        .arg(recordFile);
}
