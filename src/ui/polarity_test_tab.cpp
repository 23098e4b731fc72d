#include "polarity_test_tab.h"

#include "clock.h"
#include "live_reading.h"
#include "status_field.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kTickMs = 1100;

} // namespace

PolarityTestTab::PolarityTestTab(const LiveReading &reading, Clock &clock, QWidget *parent)
    : QWidget(parent)
    , reading_(reading)
    , timer_(clock.createTimer(this))
    , result_(new StatusField(QStringLiteral("Text8")))
{
    timer_->setObjectName(QStringLiteral("Timer1"));
    connect(timer_.get(), &ClockTimer::timeout, this, &PolarityTestTab::tick);

    auto *frame = new QGroupBox(QStringLiteral("CH1 Polarity Setup"), this);
    auto *test = new QPushButton(QStringLiteral("Test Energy Polarity"), frame);
    test->setObjectName(QStringLiteral("Command2"));
    auto *done = new QPushButton(QStringLiteral("Done"), frame);
    done->setObjectName(QStringLiteral("Command4"));
    connect(test, &QPushButton::clicked, this, &PolarityTestTab::startTest);
    connect(done, &QPushButton::clicked, this, &PolarityTestTab::stopTest);
    result_->setParent(frame);
    result_->showState(QStringLiteral("Idle"), Qt::black, Qt::white);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(test);
    buttons->addWidget(done);
    auto *inner = new QVBoxLayout(frame);
    inner->addLayout(buttons);
    inner->addWidget(result_);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(frame);
    outer->addStretch();
}

PolarityTestTab::~PolarityTestTab() = default;

void PolarityTestTab::startTest()
{
    result_->showState(QString(), result_->foreground(), Qt::yellow);
    firstTick_ = true;
    timer_->start(kTickMs);
}

void PolarityTestTab::stopTest()
{
    timer_->stop();
    result_->showState(QString(), Qt::black, Qt::white);
}

bool PolarityTestTab::testRunning() const
{
    return timer_->isActive();
}

void PolarityTestTab::tick()
{
    if (firstTick_) {
        firstTick_ = false;
        snapshot_ = {reading_.ws1, reading_.ws2, reading_.ws1Polar, reading_.ws2Polar};
        return;
    }
    showComparison();
}

// Channel 1's counters against the snapshot. While the absolute counter has not moved nothing
// was measured, so the text stays and only the background turns white.
void PolarityTestTab::showComparison()
{
    const bool polarChanged = reading_.ws1Polar != snapshot_.ws1Polar;
    const bool absoluteChanged = reading_.ws1 != snapshot_.ws1;
    if (absoluteChanged && polarChanged)
        result_->showState(QStringLiteral("Energy is generated"), Qt::black, Qt::yellow);
    else if (absoluteChanged)
        result_->showState(QStringLiteral("Energy is consumed"), Qt::white, Qt::blue);
    else
        result_->showState(result_->text(), result_->foreground(), Qt::white);
}
