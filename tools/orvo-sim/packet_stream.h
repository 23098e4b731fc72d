#pragma once

#include "meter_simulation.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Sends the meter's packets on the reporting period while it runs. When it starts again after
// a pause, the meter first lives through the periods that passed meanwhile, so the seconds
// counter and the energy counters keep moving together across the gap.
class PacketStream : public QObject {
    Q_OBJECT
public:
    // packetLimit: stop for good after that many packets (0: no limit).
    PacketStream(MeterSimulation &meter, int periodMs, qint64 packetLimit, QObject *parent = nullptr);

    // The first packet goes out at once, the next ones each period.
    void start();
    // As start(), but the first packet waits a period: the host that just ended an exchange
    // gets a quiet line to read the monitor's answer from.
    void resume();
    void stop();
    bool isRunning() const { return timer_.isActive(); }

signals:
    void packetReady(const QByteArray &packet);
    void limitReached();

private:
    bool catchUpAndRun();
    void sendPacket();

    MeterSimulation &meter_;
    QTimer timer_;
    QElapsedTimer pausedFor_;
    int periodMs_;
    qint64 packetLimit_;
    qint64 packetsSent_ = 0;
};
