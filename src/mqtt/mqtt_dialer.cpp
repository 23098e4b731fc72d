#include "mqtt_dialer.h"

#include "clock.h"
#include "mqtt_logging.h"

#include <QHostInfo>

MqttResolver systemMqttResolver()
{
    return [](const QString &name, QObject *context, MqttLookupDone done) {
        QHostInfo::lookupHost(name, context, [done = std::move(done)](const QHostInfo &info) {
            if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
                done({}, info.errorString());
            else
                done(info.addresses(), {});
        });
    };
}

MqttDialer::MqttDialer(Clock &clock, MqttConnection &connection, QObject *parent)
    : QObject(parent), connection_(connection), timer_(clock.createTimer(this))
{
    timer_->setSingleShot(true);
    connect(timer_.get(), &ClockTimer::timeout, this, &MqttDialer::timedOut);
    connect(&connection_, &MqttConnection::connectFailed, this, [this](const QString &reason) {
        if (dialing_)
            addressFailed(reason);
    });
    connect(&connection_, &MqttConnection::socketConnected, this, [this] {
        if (!dialing_)
            return;
        const QString address = options_.address;
        finish();
        emit reached(address);
    });
}

MqttDialer::~MqttDialer() = default;

void MqttDialer::dial(const MqttConnectOptions &options)
{
    cancel();
    options_ = options;
    dialing_ = true;
    lookingUp_ = true;
    timer_->start(kLookupTimeoutMs);
    qCDebug(lcMqtt) << "looking up" << options.brokerName;
    const quint64 lookup = ++lookups_;
    resolver_(options.brokerName, this,
              [this, lookup](const QList<QHostAddress> &addresses, const QString &error) {
                  if (lookup == lookups_ && lookingUp_)
                      lookedUp(addresses, error);
              });
}

void MqttDialer::cancel()
{
    if (dialing_)
        connection_.close(false);
    finish();
}

void MqttDialer::finish()
{
    dialing_ = false;
    lookingUp_ = false;
    timer_->stop();
    addresses_.clear();
    tried_.clear();
    reasons_.clear();
}

void MqttDialer::timedOut()
{
    if (!lookingUp_) {
        connection_.close(false);
        addressFailed(QStringLiteral("no answer in %1 s").arg(kAddressTimeoutMs / 1000));
        return;
    }
    finish();
    emit failed(QStringLiteral("cannot find the host %1 (no answer in %2 s)")
                    .arg(options_.brokerName)
                    .arg(kLookupTimeoutMs / 1000));
}

void MqttDialer::lookedUp(const QList<QHostAddress> &addresses, const QString &error)
{
    lookingUp_ = false;
    timer_->stop();
    if (addresses.isEmpty()) {
        finish();
        emit failed(QStringLiteral("cannot find the host %1 (%2)").arg(options_.brokerName, error));
        return;
    }
    addresses_ = addresses;
    tryNext();
}

void MqttDialer::tryNext()
{
    if (addresses_.isEmpty()) {
        const QString reason = failure();
        finish();
        emit failed(reason);
        return;
    }
    options_.address = addresses_.takeFirst().toString();
    qCDebug(lcMqtt) << "connecting to" << options_.address << options_.port;
    QString error;
    if (!connection_.open(options_, &error)) {
        addressFailed(error);
        return;
    }
    timer_->start(kAddressTimeoutMs);
}

void MqttDialer::addressFailed(const QString &reason)
{
    qCDebug(lcMqtt) << options_.address << "failed:" << reason;
    timer_->stop();
    tried_.append(options_.address);
    reasons_.append(reason);
    tryNext();
}

// One reason when every address failed alike, else each address with its own.
QString MqttDialer::failure() const
{
    QStringList distinct = reasons_;
    distinct.removeDuplicates();
    if (distinct.size() == 1)
        return distinct.constFirst();
    QStringList each;
    for (qsizetype i = 0; i < tried_.size(); ++i)
        each.append(tried_.at(i) + QStringLiteral(": ") + reasons_.at(i));
    return each.join(QStringLiteral("; "));
}
