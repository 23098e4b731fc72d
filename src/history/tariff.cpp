#include "tariff.h"

#include "settings_text.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kMinutesPerDay = 1440;

// "7:00", "07:00", "24:00": the minute of the day, or -1.
int minuteOf(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2}):(\\d{2})$"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch())
        return -1;
    const int hour = m.captured(1).toInt();
    const int minute = m.captured(2).toInt();
    if (minute > 59 || hour > 24 || (hour == 24 && minute != 0))
        return -1;
    return hour * 60 + minute;
}

std::optional<double> number(const QString &text, const QString &key, QStringList *problems)
{
    if (text.isEmpty())
        return std::nullopt;
    const std::optional<double> value = SettingsText::toDouble(text);
    if (!value && problems)
        problems->append(QStringLiteral("[tariff] %1 \"%2\" is not a number").arg(key, text));
    return value;
}
} // namespace

Tariff Tariff::fromTexts(const TariffTexts &texts, double flatRate, QStringList *problems)
{
    Tariff t;
    t.flatRate_ = flatRate;
    t.pricesGeneration_ = !texts.rates.isEmpty() || !texts.standingCharge.isEmpty()
                          || !texts.exportCredit.isEmpty();
    t.standingCharge_ = number(texts.standingCharge, QStringLiteral("StandingCharge"), problems).value_or(0);
    t.exportCredit_ = number(texts.exportCredit, QStringLiteral("ExportCredit"), problems).value_or(0);
    QString problem;
    if (!texts.rates.isEmpty() && !t.parseRates(texts.rates, &problem)) {
        t.minuteRate_.clear();
        if (problems)
            problems->append(QStringLiteral("[tariff] Rates \"%1\": %2; Rate prices every hour")
                                 .arg(texts.rates, problem));
    }
    return t;
}

// "07:00-23:00=0.30;23:00-07:00=0.12": each period from its start up to its end, across
// midnight when the end comes first; a period whose ends are equal covers the day. Where two
// periods overlap the first one named counts; minutes that none covers cost the flat rate.
// Commas separate periods too: in an INI file an unquoted ";" begins a comment.
bool Tariff::parseRates(const QString &text, QString *problem)
{
    std::vector<double> table(kMinutesPerDay, std::nan(""));
    static const QRegularExpression separators(QStringLiteral("[;,]"));
    for (const QString &entry : text.split(separators, Qt::SkipEmptyParts)) {
        const qsizetype eq = entry.indexOf(u'=');
        const QStringList ends = entry.left(eq).split(u'-');
        const std::optional<double> price =
            eq < 0 ? std::nullopt : SettingsText::toDouble(entry.mid(eq + 1).trimmed());
        const int from = ends.size() == 2 ? minuteOf(ends[0]) : -1;
        const int to = ends.size() == 2 ? minuteOf(ends[1]) : -1;
        if (!price || from < 0 || to < 0 || from == kMinutesPerDay) {
            *problem = QStringLiteral("\"%1\" is not HH:MM-HH:MM=price").arg(entry.trimmed());
            return false;
        }
        const int length = to > from ? to - from : to + kMinutesPerDay - from;
        for (int i = 0; i < length; ++i) {
            double &slot = table[std::size_t((from + i) % kMinutesPerDay)];
            if (std::isnan(slot))
                slot = *price;
        }
    }
    for (double &slot : table)
        if (std::isnan(slot))
            slot = flatRate_;
    minuteRate_ = std::move(table);
    return true;
}

double Tariff::rateAtMinute(int minute) const
{
    return minuteRate_.empty() ? flatRate_ : minuteRate_[std::size_t(minute % kMinutesPerDay)];
}

Tariff::RateSpan Tariff::rateSpanAt(qint64 utcSeconds) const
{
    if (minuteRate_.empty())
        return RateSpan{flatRate_, std::numeric_limits<qint64>::max()};
    constexpr qint64 kDay = 86400;
    const qint64 wall = local_.wallAt(utcSeconds);
    const qint64 ofDay = ((wall % kDay) + kDay) % kDay;
    const int minute = int(ofDay / 60);
    const double rate = minuteRate_[std::size_t(minute)];
    int next = minute + 1;
    while (next < minute + kMinutesPerDay && minuteRate_[std::size_t(next % kMinutesPerDay)] == rate)
        ++next;
    if (next == minute + kMinutesPerDay)
        return RateSpan{rate, std::numeric_limits<qint64>::max()};
    // By the wall clock, so that a change of daylight-saving time moves the boundary with it.
    const qint64 until = local_.utcAt(wall - ofDay + qint64(next) * 60);
    const qint64 nextMinute = utcSeconds - (ofDay % 60) + 60;
    return RateSpan{rate, std::max(until, nextMinute)};
}

double Tariff::meanRate(qint64 from, qint64 to) const
{
    if (minuteRate_.empty() || to <= from)
        return rateSpanAt(from).rate;
    double weighted = 0;
    for (qint64 t = from; t < to;) {
        const RateSpan span = rateSpanAt(t);
        const qint64 end = std::min(span.until, to);
        weighted += span.rate * double(end - t);
        t = end;
    }
    return weighted / double(to - from);
}

double Tariff::energyCost(qint64 absoluteWs, qint64 generatedWs, double rate) const
{
    if (!pricesGeneration_)
        return double(absoluteWs) / kWsPerKwh * rate;
    const qint64 consumed = std::max<qint64>(absoluteWs - generatedWs, 0);
    return double(consumed) / kWsPerKwh * rate - double(generatedWs) / kWsPerKwh * exportCredit_;
}
