#pragma once

#include "data_server_settings.h"
#include "http_settings.h"

#include <QWidget>

class HttpApi;
class QCheckBox;
class QLabel;
class QLineEdit;
class SettingsStore;

// The "Listeners" tab of the options window: who may reach the program over the network. The
// HTTP API (the keys of the group "http", the token masked, and where it listens or why not)
// and the TCP data server's address and read-only switch.
class ListenersTab : public QWidget {
    Q_OBJECT
public:
    explicit ListenersTab(QWidget *parent = nullptr);

    void setSettings(const HttpSettings &http, const DataServerSettings &server);
    HttpSettings httpSettings() const;
    DataServerSettings dataServerSettings() const;

    // Writes the group "http"; a stored token makes the file readable by its owner only. False
    // when the store could not be written.
    bool saveHttp(SettingsStore &store) const;

    // The status line follows this API from now on.
    void followApi(HttpApi &api);
    QString statusText() const;

private:
    QCheckBox *httpEnabled_;
    QLineEdit *httpListen_;
    QLineEdit *httpToken_;
    QLabel *httpStatus_;
    QLineEdit *serverAddress_;
    QCheckBox *serverReadOnly_;
};
