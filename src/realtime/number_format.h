#pragma once

#include <QString>
#include <QStringView>

// The number texts of the whole program: status lines, the TCP text protocol, web posting and
// the setup window. The decimal separator is always "." whatever the user's locale: clients of
// the text protocol and the monitoring service parse these texts, and they need a fixed point.
namespace NumberFormat {

// The shortest decimal form with up to 15 significant digits and no trailing zeros ("121.7",
// "0.3" for 0.1 + 0.2, "-5"). Magnitudes from 1e15 up and below 1e-5 take an exponent
// ("1E+15", "1E-06"); everything between is written out in full.
QString defaultText(double value);

// The default text with one leading blank for a value that is not negative (" 100", "-5"): the
// sign position of a number converted to text.
QString signPositioned(double value);

// Formats by a pattern of "#" (an optional digit), "0" (a required digit), "," (thousands
// separators in the integer part) and "." (the decimal point): "######.000" gives ".500" for
// 0.5, "###,##0" gives "1,234,567", "#.###" gives "2." for 2. The value is rounded half away
// from zero to the pattern's last decimal; trailing decimals beyond the required ones are
// dropped; the point stays whenever the pattern has one; the integer part shows every digit
// it needs, however few "#" the pattern has. A negative value that does not round to zero
// gets a leading "-". Other pattern characters are not supported.
QString pattern(double value, QStringView pattern);

} // namespace NumberFormat
