#pragma once

#include <QHash>
#include <QWidget>

#include <functional>

class AcquisitionCore;
class Clock;
class ListenersTab;
class PolarityTestTab;
class MqttSettingsTab;
class QCheckBox;
class QLineEdit;
class QTabWidget;
class SettingsStore;
class UserPrompts;

// What the options window works on.
struct OptionsWindowDeps {
    AcquisitionCore &core;
    SettingsStore &store;  // the MQTT group is written here on "Done"
    UserPrompts &prompts;
    Clock &clock;          // the polarity test's tick
    // "Done": the web posting window shows the settings edited here.
    std::function<void()> refreshWebPostWindow;
};

// The options window, "Options": what starts with the program, the cost of electricity, the web
// posting thresholds and interval, the web account and host, whether triggers push data to the
// TCP client, the remote loads, the MQTT settings, and who may reach the program over the network. It is filled from the settings when
// created and destroyed when closed, so each opening shows the settings afresh.
//
// Check boxes store their setting at each click. Each text field is checked when the user leaves
// it; a refused value is reported, the focus goes back to the field and the setting stays.
class OptionsWindow final : public QWidget {
    Q_OBJECT
public:
    explicit OptionsWindow(OptionsWindowDeps deps, QWidget *parent = nullptr);
    ~OptionsWindow() override;

    // The "Solar/Wind Systems" tab: the polarity test.
    PolarityTestTab &polarityTest() { return *polarity_; }
    MqttSettingsTab &mqttTab() { return *mqtt_; }
    ListenersTab &listenersTab() { return *listeners_; }

    // "Done": the web posting window is refreshed, the MQTT and listener settings are stored
    // and applied, and the window closes.
    void done();

    // The accepted form of WebHost: a name of letters, digits, dots and hyphens, with an
    // optional ":port" of 1 to 65535.
    static bool isAcceptableWebHost(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Refused while a field is being checked: its message box is still up.
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *buildGeneralTab();
    QWidget *buildWebServerTab();
    void buildWindow();
    void fillFromSettings();
    void connectChecks();
    void watchLeaving(QLineEdit *field, std::function<bool()> accept);
    void refuse(QLineEdit *field, const QString &message);

    // Each returns false when the value was refused (the focus is back on the field).
    bool leaveInterval();
    bool leaveThreshold(QLineEdit *field, qint16 &setting);
    bool leaveRate();
    bool leaveAccount();
    bool leaveWebHost();
    void showAccountAddress();
    void switchLoad(bool on);
    void applyListeners();

    OptionsWindowDeps d_;
    QTabWidget *tabs_ = nullptr;
    QCheckBox *check_[5] = {};
    QLineEdit *interval_ = nullptr;   // Text3
    QLineEdit *thres1_ = nullptr;     // Text4
    QLineEdit *thres2_ = nullptr;     // Text5
    QLineEdit *rate_ = nullptr;       // Text7
    QLineEdit *account_ = nullptr;    // Text1
    QLineEdit *webHost_ = nullptr;
    QLineEdit *address_ = nullptr;    // Text6
    QLineEdit *loadNumber_ = nullptr; // Text10
    PolarityTestTab *polarity_ = nullptr;
    MqttSettingsTab *mqtt_ = nullptr;
    ListenersTab *listeners_ = nullptr;
    QHash<QObject *, std::function<bool()>> leaveChecks_;
    // Set while a field is checked: the message box it shows takes the focus, which must not
    // check a field again.
    bool checking_ = false;
};
