#pragma once

#include "mqtt_settings.h"

#include <QWidget>

#include <functional>

class MqttPublisher;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class SettingsStore;

// The "MQTT" tab of the options window: the keys of the settings group "mqtt", the password
// masked, a file chooser for the CA certificate, and a status line from the publisher
// ("Connected to broker ..." or why not). The loads field takes only load numbers 1 to 16
// separated by commas.
class MqttSettingsTab : public QWidget {
    Q_OBJECT
public:
    explicit MqttSettingsTab(QWidget *parent = nullptr);

    void setSettings(const MqttSettings &settings);
    MqttSettings settings() const;

    // Reads the group from the store, and writes it back; a stored password makes the file
    // readable by its owner only. False when the store could not be written.
    void load(const SettingsStore &store);
    bool save(SettingsStore &store) const;

    // The status line follows this publisher from now on.
    void followPublisher(MqttPublisher &publisher);
    QString statusText() const;

    // Chooses the CA file, given the current one; a file dialog unless replaced (tests).
    std::function<QString(const QString &current)> chooseCaFile;

private:
    QCheckBox *enabled_;
    QLineEdit *host_;
    QSpinBox *port_;
    QLineEdit *username_;
    QLineEdit *password_;
    QLineEdit *caFile_;
    QPushButton *browse_;
    QLineEdit *topic_;
    QLineEdit *discoveryPrefix_;
    QSpinBox *interval_;
    QLineEdit *loads_;
    QLabel *status_;
};
