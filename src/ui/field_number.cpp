#include "field_number.h"

#include <QByteArray>

#include <charconv>
#include <cmath>

namespace FieldNumber {

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Appends the digits from position i on; returns the position after them.
qsizetype takeDigits(QStringView text, qsizetype i, QByteArray &out)
{
    while (i < text.size() && isDigit(text[i]))
        out += char(text[i++].unicode());
    return i;
}

} // namespace

double leadingValue(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    QByteArray number;
    if (i < text.size() && text[i] == u'-')
        number += '-';
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    QByteArray whole;
    QByteArray fraction;
    i = takeDigits(text, i, whole);
    if (i < text.size() && text[i] == u'.')
        i = takeDigits(text, i + 1, fraction);
    if (whole.isEmpty() && fraction.isEmpty())
        return 0;
    // Written out in full ("0.5" for ".5", "5.0" for "5.") for the parser below.
    number += (whole.isEmpty() ? QByteArray("0") : whole) + '.'
              + (fraction.isEmpty() ? QByteArray("0") : fraction);
    // An exponent counts only when digits follow it: "5e" is 5, "5e2" is 500.
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        QByteArray exponent("e");
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            exponent += char(text[j++].unicode());
        if (j < text.size() && isDigit(text[j])) {
            takeDigits(text, j, exponent);
            number += exponent;
        }
    }
    // Read without the desktop's locale: the point is always ".". A number too large for a
    // double is infinite, which fits nothing; one too close to zero is 0.
    double value = 0;
    const char *end = number.constData() + number.size();
    if (std::from_chars(number.constData(), end, value).ec != std::errc::result_out_of_range)
        return value;
    if (number.contains("e-"))
        return 0;
    return number.startsWith('-') ? -HUGE_VAL : HUGE_VAL;
}

std::optional<int> wholeIn(QStringView text, int min, int max)
{
    const double rounded = std::nearbyint(leadingValue(text)); // halves to even
    if (!std::isfinite(rounded) || rounded < min || rounded > max)
        return std::nullopt;
    return int(rounded);
}

} // namespace FieldNumber
