#include "clock.h"

#include <QTimer>

namespace {

class QtClockTimer final : public ClockTimer {
public:
    explicit QtClockTimer(QObject *parent) : ClockTimer(parent)
    {
        connect(&timer_, &QTimer::timeout, this, &ClockTimer::timeout);
    }
    void setSingleShot(bool singleShot) override { timer_.setSingleShot(singleShot); }
    void start(int msec) override { timer_.start(msec); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }
    int interval() const override { return timer_.interval(); }

private:
    QTimer timer_;
};

} // namespace

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

std::unique_ptr<ClockTimer> SystemClock::createTimer(QObject *parent)
{
    return std::make_unique<QtClockTimer>(parent);
}
