#include "history_csv.h"

#include <QDateTime>
#include <QStringList>

#include <cstdlib>

namespace {
QString kwh(qint64 ws)
{
    return QString::number(double(ws) / Tariff::kWsPerKwh, 'f', 6);
}
} // namespace

namespace HistoryCsv {

QString header()
{
    return QStringLiteral(
        "start,end,ch1_ws,ch2_ws,ch1_generated_ws,ch2_generated_ws,gap,incomplete,"
        "ch1_kwh,ch2_kwh,ch1_generated_kwh,ch2_generated_kwh,energy_cost,standing_charge,cost,"
        "packets,ch1_min_w,ch1_max_w,ch2_min_w,ch2_max_w,min_volts,max_volts");
}

QString localTime(qint64 utcSeconds)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(utcSeconds);
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
           + QStringLiteral("%1%2:%3")
                 .arg(QChar(offset < 0 ? u'-' : u'+'))
                 .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                 .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString line(const ReportRow &r)
{
    QStringList f{localTime(r.start), localTime(r.end)};
    for (const qint64 ws : r.energy)
        f << QString::number(ws);
    f << QString::number(r.gap ? 1 : 0) << QString::number(r.incomplete ? 1 : 0);
    for (const qint64 ws : r.energy)
        f << kwh(ws);
    f << QString::number(r.energyCost, 'f', 4) << QString::number(r.standing, 'f', 4)
      << QString::number(r.cost(), 'f', 4) << QString::number(r.packets);
    if (r.packets > 0) {
        f << QString::number(r.minWatts[0]) << QString::number(r.maxWatts[0])
          << QString::number(r.minWatts[1]) << QString::number(r.maxWatts[1])
          << QString::number(r.minVolts, 'f', 1) << QString::number(r.maxVolts, 'f', 1);
    } else {
        f << QString() << QString() << QString() << QString() << QString() << QString();
    }
    return f.join(u',');
}

QString text(const PeriodReport &report)
{
    QString out = header() + u'\n';
    for (const ReportRow &row : report.rows)
        out += line(row) + u'\n';
    return out;
}

} // namespace HistoryCsv
