#include "periodic_save.h"

#include "clock.h"

PeriodicSave::PeriodicSave(Clock &clock, std::function<void()> save, QObject *parent)
    : QObject(parent), save_(std::move(save)), timer4_(clock.createTimer(this))
{
    connect(timer4_.get(), &ClockTimer::timeout, this, &PeriodicSave::tick);
}

PeriodicSave::~PeriodicSave() = default;

void PeriodicSave::start()
{
    timer4_->start(kIntervalMs);
}

void PeriodicSave::tick()
{
    if (++ticks_ < kTicksPerSave)
        return;
    ticks_ = 0;
    if (save_)
        save_();
}
