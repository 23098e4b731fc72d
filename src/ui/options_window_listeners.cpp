#include "options_window_listeners.h"

#include "http_api.h"
#include "settings_store.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

template <class W>
W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

ListenersTab::ListenersTab(QWidget *parent)
    : QWidget(parent),
      httpEnabled_(named(new QCheckBox(tr("Serve the readings over HTTP (JSON and Prometheus metrics)")),
                         "httpEnabled")),
      httpListen_(named(new QLineEdit, "httpListen")),
      httpToken_(named(new QLineEdit, "httpToken")),
      httpStatus_(named(new QLabel(tr("The HTTP API is off")), "httpStatus")),
      serverAddress_(named(new QLineEdit, "serverListenAddress")),
      serverReadOnly_(named(new QCheckBox(tr("Read only: clients cannot reset the monitor, "
                                             "toggle a polarity or switch loads")),
                            "serverReadOnly"))
{
    httpListen_->setPlaceholderText(tr("127.0.0.1:8088; 0.0.0.0:8088 or [::]:8088 for the LAN"));
    httpToken_->setEchoMode(QLineEdit::Password);
    httpToken_->setPlaceholderText(tr("needed to listen beyond this computer"));
    httpStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    serverAddress_->setPlaceholderText(tr("every interface"));

    auto *http = named(new QGroupBox(tr("HTTP API")), "httpFrame");
    auto *httpForm = new QFormLayout(http);
    httpForm->addRow(httpEnabled_);
    httpForm->addRow(tr("Listen on"), httpListen_);
    httpForm->addRow(tr("Token"), httpToken_);
    httpForm->addRow(tr("Status"), httpStatus_);

    auto *server = named(new QGroupBox(tr("TCP Data Server")), "serverFrame");
    auto *serverForm = new QFormLayout(server);
    serverForm->addRow(tr("Listen on"), serverAddress_);
    serverForm->addRow(serverReadOnly_);

    auto *column = new QVBoxLayout(this);
    column->addWidget(http);
    column->addWidget(server);
    column->addStretch();
    setSettings(HttpSettings(), DataServerSettings());
}

void ListenersTab::setSettings(const HttpSettings &http, const DataServerSettings &server)
{
    httpEnabled_->setChecked(http.enabled);
    httpListen_->setText(http.listen);
    httpToken_->setText(http.token);
    serverAddress_->setText(server.listenAddress);
    serverReadOnly_->setChecked(server.readOnly);
}

HttpSettings ListenersTab::httpSettings() const
{
    return HttpSettings{.enabled = httpEnabled_->isChecked(),
                        .listen = httpListen_->text().trimmed(),
                        .token = httpToken_->text().trimmed()};
}

DataServerSettings ListenersTab::dataServerSettings() const
{
    return DataServerSettings{.listenAddress = serverAddress_->text().trimmed(),
                              .readOnly = serverReadOnly_->isChecked()};
}

bool ListenersTab::saveHttp(SettingsStore &store) const
{
    const HttpSettings s = httpSettings();
    writeHttpSettings(s, [&store](const QString &key, const QString &text) {
        store.setGroupValue(httpSettingsGroup(), key, text);
    });
    if (!store.sync())
        return false;
    return s.token.isEmpty() || store.restrictToOwner();
}

void ListenersTab::followApi(HttpApi &api)
{
    const auto show = [this, a = &api] { httpStatus_->setText(a->statusText()); };
    connect(&api, &HttpApi::statusChanged, this, show);
    show();
}

QString ListenersTab::statusText() const
{
    return httpStatus_->text();
}
