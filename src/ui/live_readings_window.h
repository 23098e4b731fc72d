#pragma once

#include "power_history.h"

#include <QWidget>

#include <array>
#include <memory>

class Clock;
class ClockTimer;
class LiveFigures;
class QChart;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QValueAxis;

// "Live Readings": both channels' present figures, today's energy and cost, the line voltage,
// the age of the latest packet, and a chart of both channels' power over a chosen span.
// Closing only hides it. It draws once a second while shown and not minimized, and not at all
// otherwise; the chart is drawn again only when its span gained or changed a bucket.
class LiveReadingsWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 1000;

    LiveReadingsWindow(const LiveFigures &figures, Clock &clock, QWidget *parent = nullptr);
    ~LiveReadingsWindow() override;

    HistorySpan span() const { return span_; }
    void setSpan(HistorySpan span);

    // How often the figures and the chart have been drawn, for tests and measurements.
    int figureDraws() const { return figureDraws_; }
    int chartDraws() const { return chartDraws_; }
    QChart &chart() const { return *chart_; }

signals:
    // The user closed the window (it is only hidden).
    void closedByUser();
    void spanChanged(HistorySpan span);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct ChannelLabels {
        QLabel *watts = nullptr;
        QLabel *amps = nullptr;
        QLabel *powerFactor = nullptr;
        QLabel *counter = nullptr;
        QLabel *costPerHour = nullptr;
        QLabel *today = nullptr;
        QLabel *generating = nullptr;
    };

    QWidget *buildFigures();
    QWidget *buildChart();
    void refresh();
    void drawFigures();
    void drawChart(qint64 nowMs);
    bool drawable() const { return isVisible() && !isMinimized(); }

    const LiveFigures &figures_;
    Clock &clock_;
    std::unique_ptr<ClockTimer> refreshTimer_;
    std::array<ChannelLabels, 2> labels_{};
    QLabel *volts_ = nullptr;
    QLabel *age_ = nullptr;
    QComboBox *spanBox_ = nullptr;
    QChart *chart_ = nullptr;
    std::array<QLineSeries *, 2> series_{};
    QDateTimeAxis *timeAxis_ = nullptr;
    QValueAxis *powerAxis_ = nullptr;
    HistorySpan span_ = HistorySpan::Hour1;
    qint64 chartBucket_ = -1; // the newest bucket the chart shows; -1 forces a draw
    int figureDraws_ = 0;
    int chartDraws_ = 0;
};
