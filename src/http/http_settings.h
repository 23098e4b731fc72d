#pragma once

#include <QHostAddress>
#include <QString>

#include <functional>
#include <optional>

// The settings group "http": the JSON API and the metrics.
struct HttpSettings {
    bool enabled = false;                             // Enabled
    QString listen = QStringLiteral("127.0.0.1:8088"); // Listen: address:port, [v6]:port
    QString token;                                    // Token: empty means none

    bool operator==(const HttpSettings &) const = default;
};

inline QString httpSettingsGroup() { return QStringLiteral("http"); }

using HttpSettingReader = std::function<std::optional<QString>(const QString &key)>;
using HttpSettingWriter = std::function<void(const QString &key, const QString &text)>;

// Every key of the group; a missing or unreadable value gives the key's default. The token is
// taken without blanks around it.
HttpSettings readHttpSettings(const HttpSettingReader &read);
void writeHttpSettings(const HttpSettings &settings, const HttpSettingWriter &write);

// Where to listen: a numeric address (or "localhost") and a port from 1 to 65535.
struct HttpEndpoint {
    QHostAddress address;
    quint16 port = 0;
};

// "127.0.0.1:8088", "0.0.0.0:8088", "[::]:8088", "[::1]:8088", "localhost:8088"; nothing for
// anything else.
std::optional<HttpEndpoint> parseHttpListen(const QString &text);
// The address of the API as a browser takes it: http://127.0.0.1:8088/, http://[::1]:8088/, and
// for every interface http://<this computer's name>:8088/.
QString httpAddressText(const HttpEndpoint &endpoint);
// The dashboard's address for others, as the MQTT device block links it: only while the API is
// enabled on an address that another computer can reach (not loopback, not every interface),
// and never with the token. Empty otherwise.
QString httpDashboardUrlForOthers(const HttpSettings &settings);
