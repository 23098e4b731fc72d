// The settings file's texts and the program's number patterns, for arbitrary texts, values
// (any bit pattern) and patterns.
//
// Invariants: a stored text converts to a value in the asked range or to nothing; what is
// written reads back as the same value; a formatted number holds only what its pattern allows
// and reads back within the pattern's rounding.

#include "fuzz_check.h"

#include "number_format.h"
#include "settings_text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

double anyDouble(FuzzedDataProvider &in)
{
    const auto bits = in.ConsumeIntegral<quint64>();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// The value of a formatted text, in a wider type so that a value rounded up past the largest
// double still reads back.
long double readBack(const QString &written)
{
    const QByteArray latin = QString(written).remove(u',').toLatin1();
    char *end = nullptr;
    const long double v = std::strtold(latin.constData(), &end);
    FUZZ_CHECK(!latin.isEmpty() && end == latin.constData() + latin.size(),
               "\"%s\" does not read back as a number", text(written).c_str());
    return v;
}

struct Range {
    qint64 min;
    qint64 max;
};

// The widths the settings use, and the widest.
Range anyRange(FuzzedDataProvider &in)
{
    static const Range ranges[] = {
        {std::numeric_limits<qint8>::min(), std::numeric_limits<qint8>::max()},
        {0, std::numeric_limits<quint8>::max()},
        {std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()},
        {0, std::numeric_limits<quint16>::max()},
        {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()},
        {0, std::numeric_limits<quint32>::max()},
        {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()},
    };
    return ranges[in.ConsumeIntegralInRange<size_t>(0, std::size(ranges) - 1)];
}

void checkStoredText(FuzzedDataProvider &in)
{
    const Range range = anyRange(in);
    const QString stored = QString::fromUtf8(in.ConsumeRandomLengthString(64));
    if (const auto b = SettingsText::toBool(stored))
        FUZZ_CHECK(SettingsText::toBool(SettingsText::fromBool(*b)) == b, "bool round trip");
    const auto d = SettingsText::toDouble(stored);
    if (d) {
        FUZZ_CHECK(std::isfinite(*d), "\"%s\" gave %g", text(stored).c_str(), *d);
        FUZZ_CHECK(SettingsText::toDouble(SettingsText::fromDouble(*d)) == *d,
                   "%.17g does not round-trip", *d);
    }
    const auto i = SettingsText::toInteger(stored, range.min, range.max);
    if (i) {
        FUZZ_CHECK(*i >= range.min && *i <= range.max, "%lld outside [%lld, %lld]", *i,
                   range.min, range.max);
        FUZZ_CHECK(d && std::fabs(double(*i) - *d) <= 0.5 + std::fabs(*d) * 1e-15,
                   "\"%s\" gave %lld", text(stored).c_str(), *i);
    }
}

void checkWrittenValues(FuzzedDataProvider &in)
{
    const Range range = anyRange(in);
    const qint64 v = in.ConsumeIntegralInRange<qint64>(range.min, range.max);
    const auto back = SettingsText::toInteger(SettingsText::fromInteger(v), range.min, range.max);
    // Beyond 2^53 the text goes through a double and may come back as a neighbour.
    if (std::llabs(v) <= (qint64(1) << 53))
        FUZZ_CHECK(back == v, "%lld does not round-trip", v);
    const double d = anyDouble(in);
    if (!std::isfinite(d))
        return;
    const QString written = SettingsText::fromDouble(d);
    FUZZ_CHECK(!written.contains(u'e') && !written.contains(u'E'), "\"%s\" has an exponent",
               text(written).c_str());
    FUZZ_CHECK(SettingsText::toDouble(written) == d, "%.17g written as \"%s\"", d,
               text(written).c_str());
}

void checkDefaultText(double v)
{
    const QString t = NumberFormat::defaultText(v);
    const QString s = NumberFormat::signPositioned(v);
    FUZZ_CHECK(s == (t.startsWith(u'-') ? t : u' ' + t), "\"%s\" / \"%s\"", text(t).c_str(),
               text(s).c_str());
    if (!std::isfinite(v))
        return;
    FUZZ_CHECK(!t.contains(u'e') && !t.contains(u','), "\"%s\"", text(t).c_str());
    const long double back = readBack(t);
    FUZZ_CHECK(std::fabs(back - v) <= std::fabs(v) * 1e-14L + 1e-300L, "%.17g written as \"%s\"",
               v, text(t).c_str());
}

void checkPattern(double v, const QString &pattern)
{
    const QString t = NumberFormat::pattern(v, pattern);
    if (!std::isfinite(v))
        return;
    const qsizetype point = pattern.indexOf(u'.');
    int decimals = 0;
    int required = 0;
    for (qsizetype i = point + 1; point >= 0 && i < pattern.size(); ++i) {
        if (pattern[i] == u'#' || pattern[i] == u'0')
            ++decimals;
        if (pattern[i] == u'0')
            required = decimals;
    }
    const qsizetype at = t.indexOf(u'.');
    FUZZ_CHECK((at >= 0) == (point >= 0), "\"%s\" by \"%s\"", text(t).c_str(), text(pattern).c_str());
    const qsizetype shown = at < 0 ? 0 : t.size() - at - 1;
    FUZZ_CHECK(shown >= required && shown <= decimals, "\"%s\" by \"%s\": %lld decimals",
               text(t).c_str(), text(pattern).c_str(), qint64(shown));
    for (const QChar c : t)
        FUZZ_CHECK(c.isDigit() || c == u'.' || c == u',' || c == u'-', "\"%s\"", text(t).c_str());
    // "#.###" shows 0 as "."
    const long double back = t == u"." || t.isEmpty() ? 0 : readBack(t);
    FUZZ_CHECK(std::fabs(back - v) <= 0.5L * std::pow(10.0L, -decimals) * (1 + 1e-9L)
                                          + std::fabs(v) * 1e-14L,
               "%.17g as \"%s\" by \"%s\"", v, text(t).c_str(), text(pattern).c_str());
    FUZZ_CHECK(!t.startsWith(u'-') || back != 0, "\"%s\" is a negative zero", text(t).c_str());
}

QString anyPattern(FuzzedDataProvider &in)
{
    static const char alphabet[] = "#0,.";
    QString pattern;
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, 20);
    bool point = false;
    for (size_t i = 0; i < length; ++i) {
        char c = alphabet[in.ConsumeIntegralInRange<int>(0, 3)];
        if (c == '.' && std::exchange(point, true))
            c = '#'; // one point at most, as every pattern of the program has
        pattern += QLatin1Char(c);
    }
    return pattern;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        checkStoredText(in);
        break;
    case 1:
        checkWrittenValues(in);
        break;
    case 2:
        checkDefaultText(anyDouble(in));
        break;
    default: {
        static const QString used[] = {QStringLiteral("######.000"), QStringLiteral("###.0"),
                                       QStringLiteral("#.###")};
        const QString pattern = in.ConsumeBool() ? used[in.ConsumeIntegralInRange<int>(0, 2)]
                                                 : anyPattern(in);
        checkPattern(in.ConsumeBool() ? anyDouble(in) : in.ConsumeFloatingPoint<double>(),
                     pattern);
    }
    }
    return 0;
}
