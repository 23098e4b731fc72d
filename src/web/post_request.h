#pragma once

#include "live_reading.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <optional>

// What a post needs from the settings, passed in plainly so that building a request does not
// depend on the settings store.
struct WebPostSettings {
    QString webHost = QStringLiteral("localhost"); // "name" or "name:port", written as given
    QString account;                               // the account name ("VexUser")
};

// Where the post connects to: WebHost split into a host name and a port (80 when absent).
struct WebHostAddress {
    QString name;
    quint16 port = 80;
};

namespace PostRequest {

// Splits WebHost ("name", "name:port", "[v6]:port"). Gives nothing for a text that is empty, has
// a bad port, or holds characters that have no place in a host name (blanks, controls, "/",
// "?", "#", "@", non-ASCII): such a host is never connected to, so it never reaches a request.
std::optional<WebHostAddress> parseWebHost(const QString &webHost);

// The account name as it goes into the query: its UTF-8 bytes, with every byte that could end
// the value, add a key, start a fragment or break the request line (blank, "&", "+", "#", "%",
// controls, CR, LF, non-ASCII, ...) written as %XX. Letters, digits and "-._~!$'()*,;=:@/?" are
// kept, so a plain name goes out byte for byte as stored.
QByteArray encodeAccount(const QString &account);

// The query that follows "sendData.php?", starting with "&ch1_power=". postTime gives the date
// ("yyyy/mm/dd") and time ("hh:nn:ss", 24 hours); loadData is the remote-load mask.
QByteArray query(const LiveReading &reading, const WebPostSettings &settings,
                 quint16 loadData, const QDateTime &postTime);

// The complete request text: request line in absolute form, the Host, Content-Type,
// Content-Length and Connection headers, each line ended by CR LF, then an empty line.
QByteArray build(const LiveReading &reading, const WebPostSettings &settings,
                 quint16 loadData, const QDateTime &postTime);

} // namespace PostRequest
