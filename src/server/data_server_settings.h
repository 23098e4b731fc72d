#pragma once

#include <QHostAddress>
#include <QString>

#include <functional>
#include <optional>

// Who may reach the TCP data server, from the section "startup".
struct DataServerSettings {
    QString listenAddress; // ListenAddress: empty means every interface, as clients expect
    bool readOnly = false; // ServerReadOnly: clients may read but not change the monitor or loads

    bool operator==(const DataServerSettings &) const = default;
};

using DataServerSettingReader = std::function<std::optional<QString>(const QString &key)>;
using DataServerSettingWriter = std::function<void(const QString &key, const QString &text)>;

DataServerSettings readDataServerSettings(const DataServerSettingReader &read);
void writeDataServerSettings(const DataServerSettings &settings, const DataServerSettingWriter &write);

// Where the server listens: every interface for an empty ListenAddress, else the address it
// names. A text that names no address listens on loopback only, the safe side of what the user
// meant, and *problem gets the status log line that says so.
QHostAddress dataServerAddress(const QString &listenAddress, QString *problem = nullptr);
