#pragma once

#include <QWidget>

#include <memory>

class Clock;
class ClockTimer;
class QPushButton;
class StatusField;
struct LiveReading;

// The "Solar/Wind Systems" tab of the options window: the frame "CH1 Polarity Setup", with a
// test that tells whether channel 1 consumes or generates energy. The test takes the four
// watt-second counters of the live reading at its first tick and compares channel 1's counters
// with them at every later tick: the absolute counter counts energy in either direction, the
// polarized one only generated energy, so both advancing means the channel generates. The
// snapshot is never renewed, so every tick compares with the start of the test.
class PolarityTestTab : public QWidget {
    Q_OBJECT
public:
    PolarityTestTab(const LiveReading &reading, Clock &clock, QWidget *parent = nullptr);
    ~PolarityTestTab() override;

    // "Test Energy Polarity": an empty, yellow result box, then a tick every 1100 ms.
    void startTest();
    // "Done", and the options window's closing: the tick stops and the result box is emptied,
    // black on white.
    void stopTest();
    bool testRunning() const;

private:
    struct Counters {
        double ws1 = 0;
        double ws2 = 0;
        double ws1Polar = 0;
        double ws2Polar = 0;
    };

    void tick();
    void showComparison();

    const LiveReading &reading_;
    std::unique_ptr<ClockTimer> timer_;
    StatusField *result_;
    bool firstTick_ = false;
    Counters snapshot_;
};
