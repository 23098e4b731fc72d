#pragma once

#include "post_log_model.h"

#include <QObject>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class Clock;
class ClockTimer;
struct LinkFlags;
struct LiveReading;

// The interval and the power changes that count, from the settings.
struct TriggerThresholds {
    int intervalSeconds = 60; // VexThresT
    int watts1 = 60;          // VexThres1
    int watts2 = 60;          // VexThres2
};

// Decides at each decoded packet whether a post is due: a settled power change on a channel,
// the end of a write interval, or a switched remote load.
//
// A change larger than the channel's threshold against the previous packet makes the channel
// pending; the first later packet within the threshold of the one before fires it, and the
// post carries the change (largest minus smallest of the recent powers, negative for a drop).
// The interval tick runs once a second from the first run; it stops at the first tick after
// real time has stopped and keeps its count. An interval that ends while a channel is pending
// is dropped.
class PostTrigger final : public QObject {
    Q_OBJECT
public:
    PostTrigger(Clock &clock, const LinkFlags &flags, QObject *parent = nullptr);
    ~PostTrigger() override;

    // One run after a packet has updated the reading. loadChanged is the flag of a switched
    // load: the run posts for it and clears it. The row to log when a post is due.
    std::optional<PostLogRow> run(const LiveReading &reading, const TriggerThresholds &thresholds,
                                  bool &loadChanged);

    bool tickRunning() const;
    int intervalCount() const { return intervalCount_; }

private:
    struct Channel {
        std::array<qint32, 6> history{}; // index 0: previous packet's power, higher: older
        bool pending = false;
        bool fired = false;
    };

    void watchForChange(Channel &channel, qint32 power, int threshold, const QString &name);
    static qint32 changeValue(const Channel &channel, qint32 power);
    // Step 4: the change values of the channels that fired; their recent powers are reset.
    std::array<qint32, 2> takeFiredChanges(const std::array<qint32, 2> &power, bool &postNow);
    void shiftHistories(const std::array<qint32, 2> &power);
    PostLogRow makeRow(const LiveReading &reading, const std::array<qint32, 2> &change) const;
    void tick();

    Clock &clock_;
    const LinkFlags &flags_;
    std::unique_ptr<ClockTimer> tick_; // the interval tick, once a second [Timer1]
    std::array<Channel, 2> channels_;
    int intervalCount_ = 0;
    bool intervalExpired_ = false;
    int thresholdSeconds_ = 60;
    QString triggerSource_;
};
