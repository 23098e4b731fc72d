#include "options_window.h"
#include "polarity_test_tab.h"

#include "acquisition_core.h"
#include "field_number.h"
#include "mqtt_publisher.h"
#include "mqtt_settings_tab.h"
#include "options_window_listeners.h"
#include "post_request.h"
#include "settings_text.h"
#include "user_prompts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <optional>

namespace {

// Interval and thresholds are 16-bit settings: a larger value is refused like text.
constexpr double kLargest16Bit = 32767;

// A whole entry that reads as a decimal number (blanks around it allowed); nothing otherwise.
std::optional<double> numericValue(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A numeric entry rounded to a whole number (halves to the even neighbour) that fits 16 bits
// upward; nothing for text or a larger value.
std::optional<double> whole16(const QString &text)
{
    const std::optional<double> value = numericValue(text);
    if (!value || std::nearbyint(*value) > kLargest16Bit)
        return std::nullopt;
    return std::nearbyint(*value);
}

} // namespace

OptionsWindow::OptionsWindow(OptionsWindowDeps deps, QWidget *parent)
    : QWidget(parent, Qt::Window), d_(std::move(deps))
{
    setObjectName(QStringLiteral("Options"));
    setWindowTitle(QStringLiteral("Options"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildWindow();
    fillFromSettings();
    connectChecks();
    watchLeaving(interval_, [this] { return leaveInterval(); });
    watchLeaving(thres1_, [this] { return leaveThreshold(thres1_, d_.core.settings().vexThres1); });
    watchLeaving(thres2_, [this] { return leaveThreshold(thres2_, d_.core.settings().vexThres2); });
    watchLeaving(rate_, [this] { return leaveRate(); });
    watchLeaving(account_, [this] { return leaveAccount(); });
    watchLeaving(webHost_, [this] { return leaveWebHost(); });
    // A client's TRIGON/TRIGOFF: the core has stored the setting, the box shows it.
    connect(&d_.core.server(), &DataServer::autoWriteLocalChanged, check_[4],
            [box = check_[4]](bool on) { box->setChecked(on); });
    mqtt_->load(d_.store);
    mqtt_->followPublisher(d_.core.mqtt());
    listeners_->setSettings(d_.core.httpSettings(), d_.core.dataServerSettings());
    listeners_->followApi(d_.core.http());
}

OptionsWindow::~OptionsWindow()
{
    // The fields go after this object: their focus leaving then checks nothing.
    for (QObject *field : leaveChecks_.keys())
        field->removeEventFilter(this);
}

void OptionsWindow::fillFromSettings()
{
    const AppSettings &s = d_.core.settings();
    check_[0]->setChecked(s.startupListen);
    check_[1]->setChecked(s.startupComIsOn);
    check_[2]->setChecked(s.startupRtlIsOn);
    check_[3]->setChecked(s.startupServerIsOn);
    check_[4]->setChecked(s.autoWriteLocal != 0);
    account_->setText(s.vexUser);
    webHost_->setText(s.webHost);
    interval_->setText(QString::number(s.vexThresT));
    thres1_->setText(QString::number(s.vexThres1));
    thres2_->setText(QString::number(s.vexThres2));
    rate_->setText(QString::number(s.rate, 'f', 4));
    showAccountAddress();
}

void OptionsWindow::connectChecks()
{
    using Option = AcquisitionCore::StartupOption;
    const Option options[] = {Option::Listen, Option::ComPort, Option::RealTime, Option::WebServer};
    for (int i = 0; i < 4; ++i) {
        connect(check_[i], &QCheckBox::clicked, this,
                [this, option = options[i]](bool on) { d_.core.setStartupOption(option, on); });
    }
    connect(check_[4], &QCheckBox::clicked, this,
            [this](bool on) { d_.core.setAutoWriteLocalByUser(on); });
}

void OptionsWindow::watchLeaving(QLineEdit *field, std::function<bool()> accept)
{
    leaveChecks_.insert(field, std::move(accept));
    field->installEventFilter(this);
}

bool OptionsWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::FocusOut || checking_)
        return QWidget::eventFilter(watched, event);
    // Another window becoming active (a message box among them) or a menu opening does not
    // leave the field: the user comes back to it.
    const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
    const auto check = leaveChecks_.constFind(watched);
    if (check != leaveChecks_.constEnd() && reason != Qt::ActiveWindowFocusReason
        && reason != Qt::PopupFocusReason) {
        checking_ = true;
        (*check)();
        checking_ = false;
    }
    return QWidget::eventFilter(watched, event);
}

void OptionsWindow::closeEvent(QCloseEvent *event)
{
    // Minimizing the main window can ask this window to close from inside a field's message box;
    // the check that shows it still works on the window's fields when the box returns.
    if (checking_) {
        event->ignore();
        return;
    }
    polarity_->stopTest();
    QWidget::closeEvent(event);
}

void OptionsWindow::refuse(QLineEdit *field, const QString &message)
{
    d_.prompts.message(message);
    field->setFocus(Qt::OtherFocusReason);
}

bool OptionsWindow::leaveInterval()
{
    const std::optional<double> value = whole16(interval_->text());
    if (!value) {
        refuse(interval_, QStringLiteral("Interval must be a numeric value"));
        return false;
    }
    if (*value < 10) {
        interval_->setText(QStringLiteral("10"));
        d_.prompts.message(QStringLiteral("Must be set above 10 seconds."));
    }
    d_.core.settings().vexThresT = qint16(std::max(*value, 10.0));
    return true;
}

bool OptionsWindow::leaveThreshold(QLineEdit *field, qint16 &setting)
{
    const std::optional<double> value = whole16(field->text());
    if (!value) {
        refuse(field, QStringLiteral("This must be a numeric value"));
        return false;
    }
    if (*value < 40) {
        field->setText(QStringLiteral("40"));
        d_.prompts.message(QStringLiteral("Must be set above 40 watt."));
    }
    setting = qint16(std::max(*value, 40.0));
    return true;
}

bool OptionsWindow::leaveRate()
{
    const std::optional<double> value = numericValue(rate_->text());
    if (!value) {
        refuse(rate_, QStringLiteral("This is not a numeric value. Re-enter the value for \"Rate\". "));
        return false;
    }
    if (*value > 1.0
        && !d_.prompts.askYesNo(
            QStringLiteral("You have entered a value greater than one Dollar. Are you sure your "
                           "rate is this high? You can find this value on your electric bill. "
                           "Would you like to keep the value of %1?")
                .arg(QString::number(*value, 'g', 15)))) {
        rate_->setFocus(Qt::OtherFocusReason);
        return false;
    }
    d_.core.settings().rate = *value;
    d_.core.storeSetting(QStringLiteral("Rate"), SettingsText::fromDouble(*value));
    return true;
}

bool OptionsWindow::leaveAccount()
{
    if (account_->text().isEmpty()) {
        refuse(account_, QStringLiteral("User error"));
        return false;
    }
    d_.core.settings().vexUser = account_->text();
    d_.core.storeSetting(QStringLiteral("VexUser"), account_->text());
    showAccountAddress();
    return true;
}

bool OptionsWindow::isAcceptableWebHost(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9.-]+(:[0-9]{1,5})?$"));
    return form.match(text).hasMatch() && PostRequest::parseWebHost(text).has_value();
}

bool OptionsWindow::leaveWebHost()
{
    const QString text = webHost_->text().trimmed();
    if (!isAcceptableWebHost(text)) {
        refuse(webHost_, QStringLiteral("The web host must be a name or name:port, made of letters, "
                                        "digits, dots and hyphens, with a port from 1 to 65535."));
        return false;
    }
    webHost_->setText(text);
    d_.core.settings().webHost = text;
    d_.core.storeSetting(QStringLiteral("WebHost"), text);
    showAccountAddress();
    return true;
}

void OptionsWindow::showAccountAddress()
{
    const AppSettings &s = d_.core.settings();
    address_->setText(s.webHost + QStringLiteral("/Monitor/monitor.php?user=") + s.vexUser);
}

void OptionsWindow::switchLoad(bool on)
{
    // Text that is not a number counts as 0; the table holds loads 0 to 16 only.
    const double value = std::nearbyint(FieldNumber::leadingValue(loadNumber_->text()));
    const int load = value >= 0 && value <= 16 ? int(value) : -1;
    if (load < 0 || !d_.core.switchLoadByUser(load, on))
        d_.prompts.message(QStringLiteral("The load number must be from 0 to 16."));
}

void OptionsWindow::done()
{
    if (d_.refreshWebPostWindow)
        d_.refreshWebPostWindow();
    // The MQTT settings are taken here, as a whole: a changed broker is connected to once, not
    // at each field. Unchanged settings leave a running connection alone.
    const MqttSettings mqtt = mqtt_->settings();
    if (mqtt != d_.core.mqttSettings()) {
        mqtt_->save(d_.store);
        d_.core.applyMqttSettings(mqtt);
    }
    applyListeners();
    close();
}

void OptionsWindow::applyListeners()
{
    // As for MQTT: a changed listener listens anew once, unchanged ones keep their clients.
    const HttpSettings http = listeners_->httpSettings();
    if (http != d_.core.httpSettings()) {
        listeners_->saveHttp(d_.store);
        d_.core.applyHttpSettings(http);
    }
    const DataServerSettings server = listeners_->dataServerSettings();
    if (server != d_.core.dataServerSettings())
        d_.core.storeDataServerSettings(server);
}
