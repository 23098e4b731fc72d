#include "clock.h"

#include <QTimer>

#include <chrono>

namespace {

constexpr qint64 kQuarterHourMs = 15 * 60 * 1000;

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

qint64 SystemClock::epochMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

qint64 SystemClock::monotonicMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QDateTime SystemClock::nowWithOffset() const
{
    const qint64 ms = epochMs();
    if (ms < offsetFromMs_ || ms >= offsetUntilMs_) {
        offsetSeconds_ = QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
        offsetFromMs_ = ms - ms % kQuarterHourMs;
        offsetUntilMs_ = offsetFromMs_ + kQuarterHourMs;
    }
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offsetSeconds_);
}
