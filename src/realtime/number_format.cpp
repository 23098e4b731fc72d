#include "number_format.h"

#include <cmath>

namespace {

constexpr int kSignificantDigits = 15;

// What a pattern asks for.
struct PatternShape {
    int requiredIntegerDigits = 0;
    int requiredDecimals = 0;
    int decimals = 0;
    bool grouped = false;
    bool hasPoint = false;
};

PatternShape shapeOf(QStringView pattern)
{
    PatternShape shape;
    for (const QChar c : pattern) {
        if (c == u'.') {
            shape.hasPoint = true;
        } else if (c == u',') {
            shape.grouped = shape.grouped || !shape.hasPoint;
        } else if (c == u'0' || c == u'#') {
            if (!shape.hasPoint) {
                shape.requiredIntegerDigits += c == u'0' ? 1 : 0;
            } else {
                ++shape.decimals;
                if (c == u'0')
                    shape.requiredDecimals = shape.decimals;
            }
        }
    }
    return shape;
}

// The digits of a non-negative value rounded, half away from zero, to the given decimals.
// Rounding works on the value's 15 significant digits so that a value written as 2.675 rounds
// up as its decimal text suggests, not down as its binary neighbour 2.67499... would.
struct RoundedDigits {
    QString integer;  // without leading zeros, empty for zero
    QString fraction; // exactly the asked number of decimals
    bool isZero() const
    {
        if (!integer.isEmpty())
            return false;
        for (const QChar c : fraction) {
            if (c != u'0')
                return false;
        }
        return true;
    }
};

RoundedDigits roundedDigits(double magnitude, int decimals)
{
    // "d.dddddddddddddde+XX": 15 significant digits and the power of ten of the first.
    const QString scientific = QString::number(magnitude, 'e', kSignificantDigits - 1);
    const qsizetype e = scientific.indexOf(u'e');
    QString digits = scientific.left(e).remove(u'.');
    int pointAt = scientific.mid(e + 1).toInt() + 1; // digits before the point
    if (pointAt <= 0) {
        digits.prepend(QString(1 - pointAt, u'0'));
        pointAt = 1;
    }
    const int kept = pointAt + decimals;
    if (digits.size() < kept + 1)
        digits += QString(kept + 1 - digits.size(), u'0');
    const bool roundUp = digits.at(kept) >= u'5';
    digits.truncate(kept);
    for (int i = kept - 1; roundUp && i >= 0; --i) {
        if (digits.at(i) == u'9') {
            digits[i] = u'0';
            if (i == 0) {
                digits.prepend(u'1');
                ++pointAt;
            }
        } else {
            digits[i] = QChar(digits.at(i).unicode() + 1);
            break;
        }
    }
    RoundedDigits result;
    result.integer = digits.left(pointAt);
    while (result.integer.startsWith(u'0'))
        result.integer.remove(0, 1);
    result.fraction = digits.mid(pointAt);
    return result;
}

QString grouped(const QString &integer)
{
    QString text = integer;
    for (qsizetype i = text.size() - 3; i > 0; i -= 3)
        text.insert(i, u',');
    return text;
}

} // namespace

QString NumberFormat::defaultText(double value)
{
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    return QString::number(value, 'g', kSignificantDigits).replace(u'e', u'E');
}

QString NumberFormat::signPositioned(double value)
{
    const QString text = defaultText(value);
    return text.startsWith(u'-') ? text : u' ' + text;
}

QString NumberFormat::pattern(double value, QStringView pattern)
{
    if (!std::isfinite(value))
        return defaultText(value);
    const PatternShape shape = shapeOf(pattern);
    RoundedDigits digits = roundedDigits(std::fabs(value), shape.decimals);

    QString fraction = digits.fraction;
    while (fraction.size() > shape.requiredDecimals && fraction.endsWith(u'0'))
        fraction.chop(1);
    QString integer = digits.integer;
    if (integer.size() < shape.requiredIntegerDigits)
        integer.prepend(QString(shape.requiredIntegerDigits - integer.size(), u'0'));
    if (shape.grouped)
        integer = grouped(integer);

    QString text = (value < 0 && !digits.isZero()) ? QStringLiteral("-") : QString();
    text += integer;
    if (shape.hasPoint)
        text += u'.' + fraction;
    return text;
}
