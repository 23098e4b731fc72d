#include "mqtt_settings_tab.h"

#include "mqtt_publisher.h"
#include "settings_store.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>

namespace {

template <class W>
W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

MqttSettingsTab::MqttSettingsTab(QWidget *parent)
    : QWidget(parent),
      enabled_(named(new QCheckBox(tr("Publish the readings to an MQTT broker")), "mqttEnabled")),
      host_(named(new QLineEdit, "mqttHost")),
      port_(named(new QSpinBox, "mqttPort")),
      username_(named(new QLineEdit, "mqttUsername")),
      password_(named(new QLineEdit, "mqttPassword")),
      caFile_(named(new QLineEdit, "mqttCaFile")),
      browse_(named(new QPushButton(tr("Browse...")), "mqttBrowseCaFile")),
      topic_(named(new QLineEdit, "mqttTopic")),
      discoveryPrefix_(named(new QLineEdit, "mqttDiscoveryPrefix")),
      interval_(named(new QSpinBox, "mqttInterval")),
      loads_(named(new QLineEdit, "mqttLoads")),
      status_(named(new QLabel, "mqttStatus"))
{
    port_->setRange(1, 65535);
    interval_->setRange(0, 86400);
    interval_->setSuffix(tr(" s"));
    interval_->setSpecialValueText(tr("every packet"));
    password_->setEchoMode(QLineEdit::Password);
    caFile_->setPlaceholderText(tr("none: no TLS"));
    discoveryPrefix_->setPlaceholderText(tr("empty: no Home Assistant discovery"));
    status_->setText(tr("Publishing is off"));
    // Each number 1 to 16; a text such as "1," is only a step on the way, not taken.
    static const QRegularExpression loadList(
        QStringLiteral("^\\s*((1[0-6]|[1-9])\\s*(,\\s*(1[0-6]|[1-9])\\s*)*)?$"));
    loads_->setValidator(new QRegularExpressionValidator(loadList, loads_));
    loads_->setPlaceholderText(tr("none; for example 1,2,5"));

    auto *caRow = new QHBoxLayout;
    caRow->addWidget(caFile_);
    caRow->addWidget(browse_);
    auto *form = new QFormLayout(this);
    form->addRow(enabled_);
    form->addRow(tr("Broker host"), host_);
    form->addRow(tr("Port"), port_);
    form->addRow(tr("User name"), username_);
    form->addRow(tr("Password"), password_);
    form->addRow(tr("CA certificate"), caRow);
    form->addRow(tr("Base topic"), topic_);
    form->addRow(tr("Discovery prefix"), discoveryPrefix_);
    form->addRow(tr("State every"), interval_);
    form->addRow(tr("Loads as switches"), loads_);
    form->addRow(tr("Status"), status_);

    chooseCaFile = [this](const QString &current) {
        return QFileDialog::getOpenFileName(this, tr("CA certificate"), current,
                                            tr("Certificates (*.crt *.pem);;All files (*)"));
    };
    connect(browse_, &QPushButton::clicked, this, [this] {
        const QString chosen = chooseCaFile(caFile_->text());
        if (!chosen.isEmpty())
            caFile_->setText(chosen);
    });
    setSettings(MqttSettings());
}

void MqttSettingsTab::setSettings(const MqttSettings &s)
{
    enabled_->setChecked(s.enabled);
    host_->setText(s.host);
    port_->setValue(s.port);
    username_->setText(s.username);
    password_->setText(s.password);
    caFile_->setText(s.caFile);
    topic_->setText(s.topic);
    discoveryPrefix_->setText(s.discoveryPrefix);
    interval_->setValue(s.interval);
    loads_->setText(mqttLoadsText(s.loads));
}

MqttSettings MqttSettingsTab::settings() const
{
    MqttSettings s;
    s.enabled = enabled_->isChecked();
    s.host = host_->text().trimmed();
    s.port = port_->value();
    s.username = username_->text();
    s.password = password_->text();
    s.caFile = caFile_->text().trimmed();
    s.topic = topic_->text().trimmed();
    s.discoveryPrefix = discoveryPrefix_->text().trimmed();
    s.interval = interval_->value();
    s.loads = parseMqttLoads(loads_->text()).value_or(QList<int>());
    return s;
}

void MqttSettingsTab::load(const SettingsStore &store)
{
    setSettings(readMqttSettings(
        [&store](const QString &key) { return store.groupValue(mqttSettingsGroup(), key); }));
}

bool MqttSettingsTab::save(SettingsStore &store) const
{
    const MqttSettings s = settings();
    writeMqttSettings(s, [&store](const QString &key, const QString &text) {
        store.setGroupValue(mqttSettingsGroup(), key, text);
    });
    if (!store.sync())
        return false;
    return s.password.isEmpty() || store.restrictToOwner();
}

void MqttSettingsTab::followPublisher(MqttPublisher &publisher)
{
    const auto show = [this, p = &publisher] { status_->setText(p->statusText()); };
    connect(&publisher, &MqttPublisher::stateChanged, this, show);
    show();
}

QString MqttSettingsTab::statusText() const
{
    return status_->text();
}
