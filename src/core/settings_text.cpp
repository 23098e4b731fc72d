#include "settings_text.h"

#include <QLocale>

#include <cmath>

namespace SettingsText {

std::optional<bool> toBool(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || t == QLatin1String("1"))
        return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || t == QLatin1String("0"))
        return false;
    return std::nullopt;
}

std::optional<double> toDouble(const QString &text)
{
    // The C locale without group separators: "1,5" is not a number, whatever the desktop's
    // language, so a file written on one machine reads the same on another.
    static const QLocale locale = [] {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::RejectGroupSeparator);
        return c;
    }();
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint64> toInteger(const QString &text, qint64 min, qint64 max)
{
    const std::optional<double> value = toDouble(text);
    if (!value)
        return std::nullopt;
    const double rounded = std::nearbyint(*value); // halves go to the even neighbour
    // The widest maximum, 2^63 - 1, becomes 2^63 as a double: a value there passes the range
    // check but has no qint64, and converting it would be undefined.
    constexpr double kBeyondQint64 = 9223372036854775808.0;
    if (rounded < double(min) || rounded > double(max) || rounded >= kBeyondQint64)
        return std::nullopt;
    return qint64(rounded);
}

QString fromBool(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString fromDouble(double value)
{
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

QString fromInteger(qint64 value)
{
    return QString::number(value);
}

} // namespace SettingsText
