#include "mqtt_birth.h"

#include "clock.h"
#include "mqtt_logging.h"

#include <QRandomGenerator>

MqttBirthWatch::MqttBirthWatch(Clock &clock, QObject *parent)
    : QObject(parent),
      timer_(clock.createTimer(this)),
      draw_([] { return int(QRandomGenerator::global()->bounded(kShortestDelayMs, kLongestDelayMs + 1)); })
{
    timer_->setSingleShot(true);
    connect(timer_.get(), &ClockTimer::timeout, this, &MqttBirthWatch::due);
}

MqttBirthWatch::~MqttBirthWatch() = default;

void MqttBirthWatch::heard(const QByteArray &payload, bool retained)
{
    if (retained || payload != "online" || timer_->isActive())
        return;
    const int delayMs = qBound(0, draw_(), kLongestDelayMs);
    qCDebug(lcMqtt) << "Home Assistant is online: discovery again in" << delayMs << "ms";
    timer_->start(delayMs);
}

void MqttBirthWatch::cancel()
{
    timer_->stop();
}

bool MqttBirthWatch::isPending() const
{
    return timer_->isActive();
}
