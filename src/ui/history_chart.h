#pragma once

#include "history_period.h"
#include "history_report.h"

#include <QStringList>

#include <array>

class QBarCategoryAxis;
class QBarSeries;
class QBarSet;
class QChart;
class QValueAxis;

// The bars of the history window: per bucket of the period one bar per channel, its consumed
// energy upwards and its generated energy downwards below it, in kWh. The bars of buckets that
// hold or cross a gap are drawn grey.
class HistoryChart {
public:
    HistoryChart();
    ~HistoryChart();
    HistoryChart(const HistoryChart &) = delete;
    HistoryChart &operator=(const HistoryChart &) = delete;

    // The chart, owned by the view it is given to.
    QChart *chart() const { return chart_; }
    void show(const PeriodReport &report, PeriodStep step);

    // What the bars show now, for tests: a label per bucket and each set's values.
    QStringList categories() const;
    // 0 and 1: consumed on CH1 and CH2; 2 and 3: generated (as negative values).
    QList<qreal> values(int set) const;
    QList<int> gapBuckets() const { return gapBuckets_; }

    // The label of a bucket's start: the hour, the day of the month or the month.
    static QString bucketLabel(qint64 start, PeriodStep step);

private:
    QChart *chart_ = nullptr;
    QBarCategoryAxis *categoryAxis_ = nullptr;
    QValueAxis *energyAxis_ = nullptr;
    QBarSeries *consumed_ = nullptr;
    QBarSeries *generated_ = nullptr;
    std::array<QBarSet *, 4> sets_{};
    QList<int> gapBuckets_;
};
