#include "post_request.h"

#include "number_format.h"

#include <cmath>

namespace {

// A channel power this high or higher is sent empty: the service takes it for a bad reading.
constexpr double kPowerLimit = 35000;

bool isHostNameChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
        || c == u'-' || c == u'.' || c == u'_';
}

bool isBracketedHostChar(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')
        || c == u':' || c == u'.';
}

std::optional<quint16> parsePort(QStringView text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

QString powerText(double watts)
{
    return watts < kPowerLimit ? NumberFormat::defaultText(watts) : QString();
}

QString wattHoursText(double wattSeconds)
{
    return NumberFormat::pattern(wattSeconds / 3600, u"##########");
}

QString ampsText(float amps)
{
    // Halves go to the even whole number (the default rounding mode), then "###" leaves 0 empty.
    return NumberFormat::pattern(std::nearbyint(double(amps)), u"###");
}

// Watts over the power factor, rounded down. Before the monitor has reported a power factor it
// is 0 and the value has no meaning: it is sent empty, like any value that is not a number.
QString voltAmpsText(double watts, float powerFactor)
{
    if (powerFactor == 0)
        return QString();
    const double voltAmps = std::floor(watts / double(powerFactor));
    if (!std::isfinite(voltAmps))
        return QString();
    return NumberFormat::pattern(voltAmps, u"######");
}

} // namespace

namespace PostRequest {

std::optional<WebHostAddress> parseWebHost(const QString &webHost)
{
    WebHostAddress address;
    QStringView rest = webHost;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 2)
            return std::nullopt;
        for (QChar c : rest.mid(1, close - 1)) {
            if (!isBracketedHostChar(c))
                return std::nullopt;
        }
        address.name = rest.mid(1, close - 1).toString();
        rest = rest.mid(close + 1);
    } else {
        const qsizetype colon = rest.indexOf(u':');
        const QStringView name = colon < 0 ? rest : rest.left(colon);
        if (name.isEmpty())
            return std::nullopt;
        for (QChar c : name) {
            if (!isHostNameChar(c))
                return std::nullopt;
        }
        address.name = name.toString();
        rest = colon < 0 ? QStringView() : rest.mid(colon);
    }
    if (rest.isEmpty())
        return address;
    if (!rest.startsWith(u':'))
        return std::nullopt;
    const std::optional<quint16> port = parsePort(rest.mid(1));
    if (!port)
        return std::nullopt;
    address.port = *port;
    return address;
}

QByteArray encodeAccount(const QString &account)
{
    return account.toUtf8().toPercentEncoding("!$'()*,;=:@/?");
}

QByteArray query(const LiveReading &reading, const WebPostSettings &settings,
                 quint16 loadData, const QDateTime &postTime)
{
    QByteArray text;
    text += "&ch1_power=" + powerText(reading.watts1).toLatin1();
    text += "&ch2_power=" + powerText(reading.watts2).toLatin1();
    text += "&ch1_kwh=" + wattHoursText(reading.ws1Static).toLatin1();
    text += "&ch2_kwh=" + wattHoursText(reading.ws2Static).toLatin1();
    text += "&ch1_amps=" + ampsText(reading.amps1).toLatin1();
    text += "&ch2_amps=" + ampsText(reading.amps2).toLatin1();
    text += "&ch1_extra=" + voltAmpsText(reading.watts1, reading.pf1).toLatin1();
    text += "&ch2_extra=" + voltAmpsText(reading.watts2, reading.pf2).toLatin1();
    // Written with "/" and ":" whatever the locale: the service parses these fields.
    const QDate date = postTime.date();
    const QTime time = postTime.time();
    text += "&date=" + QString::asprintf("%04d/%02d/%02d", date.year(), date.month(), date.day()).toLatin1();
    text += "&time=" + QString::asprintf("%02d:%02d:%02d", time.hour(), time.minute(), time.second()).toLatin1();
    text += "&voltage=" + NumberFormat::defaultText(reading.volts).toLatin1();
    text += "&username=" + encodeAccount(settings.account);
    text += "&load=" + QByteArray::number(loadData);
    return text;
}

QByteArray build(const LiveReading &reading, const WebPostSettings &settings,
                 quint16 loadData, const QDateTime &postTime)
{
    const QByteArray host = settings.webHost.toUtf8();
    QByteArray request;
    request += "GET http://" + host + "/Monitor/sendData.php?"
        + query(reading, settings, loadData, postTime) + " HTTP/1.1\r\n";
    request += "Host: " + host + "\r\n";
    request += "Content-Type: application/x-www-form-urlencoded\r\n";
    request += "Content-Length: 0\r\n";
    request += "Connection: Keep-Alive\r\n";
    request += "\r\n";
    return request;
}

} // namespace PostRequest
