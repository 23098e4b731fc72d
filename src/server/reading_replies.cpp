#include "reading_replies.h"

#include "number_format.h"

#include <QStringList>

namespace ReadingReplies {
namespace {

const QString kEnergyPattern = QStringLiteral("######.000");
const QString kTenthsPattern = QStringLiteral("###.0");

QString whole(double value) { return NumberFormat::defaultText(value); }
QString energy(double kwh) { return NumberFormat::pattern(kwh, kEnergyPattern); }
QString tenths(double value) { return NumberFormat::pattern(value, kTenthsPattern); }

// P1 to WS2STATIC of the ALL line; the voltage is written in full there, unlike the single key.
QStringList allFieldsWithoutSeconds(const LiveReading &r)
{
    return {whole(r.watts1),    whole(r.watts2),   energy(r.kwh1), energy(r.kwh2),
            whole(r.volts),     tenths(r.amps1),   tenths(r.amps2), whole(r.ws1),
            whole(r.ws2),       whole(r.ws1Static), whole(r.ws2Static)};
}

QString secondsText(const LiveReading &r) { return QString::number(r.seconds); }

} // namespace

std::optional<QString> valueText(const LiveReading &r, QStringView key)
{
    struct Entry {
        QStringView key;
        QString (*text)(const LiveReading &);
    };
    static const Entry table[] = {
        {u"P1", [](const LiveReading &x) { return whole(x.watts1); }},
        {u"P2", [](const LiveReading &x) { return whole(x.watts2); }},
        {u"KWH1", [](const LiveReading &x) { return energy(x.kwh1); }},
        {u"KWH2", [](const LiveReading &x) { return energy(x.kwh2); }},
        {u"AMP1", [](const LiveReading &x) { return tenths(x.amps1); }},
        {u"AMP2", [](const LiveReading &x) { return tenths(x.amps2); }},
        {u"VOLT", [](const LiveReading &x) { return tenths(x.volts); }},
        {u"WS1", [](const LiveReading &x) { return whole(x.ws1); }},
        {u"WS1P", [](const LiveReading &x) { return whole(x.ws1Polar); }},
        {u"WS1STATIC", [](const LiveReading &x) { return whole(x.ws1Static); }},
        {u"WS1PSTATIC", [](const LiveReading &x) { return whole(x.ws1PolarStatic); }},
        {u"WS2", [](const LiveReading &x) { return whole(x.ws2); }},
        {u"WS2P", [](const LiveReading &x) { return whole(x.ws2Polar); }},
        {u"WS2STATIC", [](const LiveReading &x) { return whole(x.ws2Static); }},
        {u"WS2PSTATIC", [](const LiveReading &x) { return whole(x.ws2PolarStatic); }},
        {u"SEC", secondsText},
    };
    for (const Entry &e : table) {
        if (e.key == key)
            return e.text(r);
    }
    return std::nullopt;
}

QString allLine(const LiveReading &r)
{
    QStringList fields = allFieldsWithoutSeconds(r);
    fields << secondsText(r);
    return fields.join(QLatin1Char('\t'));
}

QString allpLine(const LiveReading &r)
{
    QStringList fields = allFieldsWithoutSeconds(r);
    fields << whole(r.ws1Polar) << whole(r.ws2Polar) << whole(r.ws1PolarStatic)
           << whole(r.ws2PolarStatic) << secondsText(r);
    return fields.join(QLatin1Char('\t'));
}

} // namespace ReadingReplies
