#include "data_server_settings.h"

#include "settings_text.h"

DataServerSettings readDataServerSettings(const DataServerSettingReader &read)
{
    DataServerSettings s;
    if (const auto v = read(QStringLiteral("ListenAddress")))
        s.listenAddress = v->trimmed();
    if (const auto v = read(QStringLiteral("ServerReadOnly")))
        s.readOnly = SettingsText::toBool(*v).value_or(s.readOnly);
    return s;
}

void writeDataServerSettings(const DataServerSettings &s, const DataServerSettingWriter &write)
{
    write(QStringLiteral("ListenAddress"), s.listenAddress);
    write(QStringLiteral("ServerReadOnly"), SettingsText::fromBool(s.readOnly));
}

QHostAddress dataServerAddress(const QString &listenAddress, QString *problem)
{
    if (listenAddress.isEmpty())
        return QHostAddress(QHostAddress::Any);
    QHostAddress address;
    if (address.setAddress(listenAddress))
        return address;
    if (problem)
        *problem = QStringLiteral("The stored ListenAddress \"%1\" is not an address such as "
                                  "127.0.0.1; the TCP server listens on 127.0.0.1 only.")
                       .arg(listenAddress);
    return QHostAddress(QHostAddress::LocalHost);
}
