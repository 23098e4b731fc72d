#include "packet_stream.h"

#include <algorithm>

namespace {

// Bounds the work of catching up after a long pause; the counters stay consistent either way.
constexpr qint64 kMaxCatchUpPeriods = 24 * 3600;

} // namespace

PacketStream::PacketStream(MeterSimulation &meter, int periodMs, qint64 packetLimit, QObject *parent)
    : QObject(parent)
    , meter_(meter)
    , periodMs_(periodMs)
    , packetLimit_(packetLimit)
{
    timer_.setInterval(periodMs);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PacketStream::sendPacket);
    pausedFor_.start(); // the meter has been running since the simulator started
}

void PacketStream::start()
{
    if (catchUpAndRun())
        sendPacket();
}

void PacketStream::resume()
{
    catchUpAndRun();
}

bool PacketStream::catchUpAndRun()
{
    if (timer_.isActive() || (packetLimit_ > 0 && packetsSent_ >= packetLimit_))
        return false;
    meter_.idle(std::min(pausedFor_.elapsed() / periodMs_, kMaxCatchUpPeriods));
    timer_.start();
    return true;
}

void PacketStream::stop()
{
    if (!timer_.isActive())
        return;
    timer_.stop();
    pausedFor_.start();
}

void PacketStream::sendPacket()
{
    ++packetsSent_;
    emit packetReady(meter_.nextPacket());
    if (packetLimit_ > 0 && packetsSent_ >= packetLimit_) {
        stop();
        emit limitReached();
    }
}
