#pragma once

#include <QString>

#include <optional>

// Conversions between stored setting texts and values. A text that cannot be converted, or
// whose number does not fit the value's width, gives nothing, and the caller uses the key's
// default.
namespace SettingsText {

// "True"/"False" in any case, and "1"/"0".
std::optional<bool> toBool(const QString &text);
// A decimal number with an optional point, rounded to the nearest whole number, in [min, max].
std::optional<qint64> toInteger(const QString &text, qint64 min, qint64 max);
// A finite decimal number.
std::optional<double> toDouble(const QString &text);

QString fromBool(bool value);                 // "True" or "False"
QString fromDouble(double value);             // plain decimal with a point, never an exponent
QString fromInteger(qint64 value);

} // namespace SettingsText
