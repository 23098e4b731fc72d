#pragma once

#include <QStringView>

#include <optional>

// Numbers typed into entry fields, read the way users of the monitor's tools expect: leading
// blanks are skipped, reading stops at the first character that cannot continue the number
// ("12abc" is 12, "1.5.3" is 1.5), and a text without a number reads as 0.
namespace FieldNumber {

// The number at the start of the text (sign, digits, one decimal point, an exponent).
double leadingValue(QStringView text);

// The leading value rounded to the nearest whole number, halves to the even neighbour, when
// that lies in [min, max]; nothing when it does not fit.
std::optional<int> wholeIn(QStringView text, int min, int max);

} // namespace FieldNumber
