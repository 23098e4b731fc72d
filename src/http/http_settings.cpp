#include "http_settings.h"

#include "settings_text.h"

#include <QHostInfo>

HttpSettings readHttpSettings(const HttpSettingReader &read)
{
    HttpSettings s;
    if (const auto v = read(QStringLiteral("Enabled")))
        s.enabled = SettingsText::toBool(*v).value_or(s.enabled);
    if (const auto v = read(QStringLiteral("Listen")))
        s.listen = v->trimmed();
    if (const auto v = read(QStringLiteral("Token")))
        s.token = v->trimmed();
    return s;
}

void writeHttpSettings(const HttpSettings &s, const HttpSettingWriter &write)
{
    write(QStringLiteral("Enabled"), SettingsText::fromBool(s.enabled));
    write(QStringLiteral("Listen"), s.listen);
    write(QStringLiteral("Token"), s.token);
}

std::optional<HttpEndpoint> parseHttpListen(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    QString host = text.left(colon);
    const QString portText = text.mid(colon + 1);
    // A port is digits only: no sign, no blanks, no point.
    bool digitsOnly = !portText.isEmpty() && portText.size() <= 5;
    for (const QChar c : portText)
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    const int port = digitsOnly ? portText.toInt() : 0;
    if (port < 1 || port > 65535)
        return std::nullopt;
    const bool bracketed = host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'));
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    QHostAddress address;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host))
        return std::nullopt;
    // An IPv6 address needs its brackets, so that its own colons are not read as the port's.
    const bool ipv6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    if (ipv6 != bracketed)
        return std::nullopt;
    // "[::]" takes IPv4 too, as users of the LAN expect of it.
    if (address == QHostAddress(QHostAddress::AnyIPv6))
        address = QHostAddress(QHostAddress::Any);
    return HttpEndpoint{address, quint16(port)};
}

QString httpAddressText(const HttpEndpoint &endpoint)
{
    // Every interface: the name of this computer is what another one on the LAN uses.
    if (endpoint.address == QHostAddress(QHostAddress::Any)
        || endpoint.address == QHostAddress(QHostAddress::AnyIPv4))
        return QStringLiteral("http://%1:%2/").arg(QHostInfo::localHostName()).arg(endpoint.port);
    const QString host = endpoint.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(endpoint.address.toString())
                             : endpoint.address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(endpoint.port);
}

QString httpDashboardUrlForOthers(const HttpSettings &settings)
{
    const auto endpoint = settings.enabled ? parseHttpListen(settings.listen) : std::nullopt;
    if (!endpoint || endpoint->address.isLoopback() || endpoint->address.isNull()
        || endpoint->address == QHostAddress(QHostAddress::Any)
        || endpoint->address == QHostAddress(QHostAddress::AnyIPv4)
        || endpoint->address == QHostAddress(QHostAddress::AnyIPv6))
        return {};
    return httpAddressText(*endpoint);
}
