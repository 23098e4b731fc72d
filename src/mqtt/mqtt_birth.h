#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>
#include <memory>

class Clock;
class ClockTimer;

// Home Assistant's birth message on <DiscoveryPrefix>/status: after "online" the discovery is
// due again, after a short random delay so that many bridges on one broker do not answer at
// once. A birth heard while one is pending does not move it further off.
class MqttBirthWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int kShortestDelayMs = 1000;
    static constexpr int kLongestDelayMs = 5000;
    // Draws the delay in milliseconds; the default is uniform from the shortest to the longest.
    using DelayDraw = std::function<int()>;

    explicit MqttBirthWatch(Clock &clock, QObject *parent = nullptr);
    ~MqttBirthWatch() override;

    void setDelayDraw(DelayDraw draw) { draw_ = std::move(draw); }
    // A message on the birth topic. One the broker kept from before is no birth: it comes at
    // every subscription, when the discovery has just been sent anyway.
    void heard(const QByteArray &payload, bool retained);
    // The connection ended: nothing is due any more.
    void cancel();
    bool isPending() const;

signals:
    void due();

private:
    std::unique_ptr<ClockTimer> timer_;
    DelayDraw draw_;
};
