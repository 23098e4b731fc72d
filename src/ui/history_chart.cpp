#include "history_chart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QDateTime>
#include <QValueAxis>

#include <algorithm>

namespace {
const std::array<QColor, 4> kColours{QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                                     QColor(0x2c, 0xa0, 0x2c), QColor(0x98, 0xdf, 0x8a)};
const QColor kGapColour(0xa0, 0xa0, 0xa0);
} // namespace

HistoryChart::HistoryChart() : chart_(new QChart)
{
    chart_->setObjectName(QStringLiteral("HistoryChart"));
    categoryAxis_ = new QBarCategoryAxis(chart_);
    energyAxis_ = new QValueAxis(chart_);
    energyAxis_->setTitleText(QStringLiteral("kWh"));
    energyAxis_->setLabelFormat(QStringLiteral("%.2f"));
    chart_->addAxis(categoryAxis_, Qt::AlignBottom);
    chart_->addAxis(energyAxis_, Qt::AlignLeft);
    consumed_ = new QBarSeries(chart_);
    generated_ = new QBarSeries(chart_);
    const QStringList names{"CH1", "CH2", "CH1 generated", "CH2 generated"};
    for (int s = 0; s < 4; ++s) {
        sets_[s] = new QBarSet(names[s]);
        sets_[s]->setColor(kColours[s]);
        sets_[s]->setSelectedColor(kGapColour);
        (s < 2 ? consumed_ : generated_)->append(sets_[s]);
    }
    // Two series of two sets each: a channel's generated bar stands right below its consumed one.
    for (QBarSeries *series : {consumed_, generated_}) {
        chart_->addSeries(series);
        series->attachAxis(categoryAxis_);
        series->attachAxis(energyAxis_);
    }
}

HistoryChart::~HistoryChart() = default;

QString HistoryChart::bucketLabel(qint64 start, PeriodStep step)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(start);
    switch (step) {
    case PeriodStep::Month:
        return local.date().toString(QStringLiteral("MMM"));
    case PeriodStep::Day:
        return QString::number(local.date().day());
    case PeriodStep::Minute:
    case PeriodStep::Hour:
        break;
    }
    return local.time().toString(QStringLiteral("HH"));
}

void HistoryChart::show(const PeriodReport &report, PeriodStep step)
{
    QStringList labels;
    std::array<QList<qreal>, 4> values;
    gapBuckets_.clear();
    qreal top = 0;
    qreal bottom = 0;
    for (int b = 0; b < report.rows.size(); ++b) {
        const ReportRow &row = report.rows[b];
        QString label = bucketLabel(row.start, step);
        // A repeated hour (the end of summer time) gets its own name.
        while (labels.contains(label))
            label += u'\'';
        labels.append(label);
        for (std::size_t c = 0; c < 2; ++c) {
            const qreal generated = qreal(row.energy[c + 2]) / Tariff::kWsPerKwh;
            const qreal consumed = qreal(std::max<qint64>(row.energy[c] - row.energy[c + 2], 0)) / Tariff::kWsPerKwh;
            values[c].append(consumed);
            values[c + 2].append(-generated);
            top = std::max(top, consumed);
            bottom = std::min(bottom, -generated);
        }
        if (row.gap)
            gapBuckets_.append(b);
    }
    categoryAxis_->clear();
    categoryAxis_->append(labels);
    for (std::size_t s = 0; s < sets_.size(); ++s) {
        sets_[s]->remove(0, sets_[s]->count());
        sets_[s]->append(values[s]);
        sets_[s]->deselectAllBars();
        sets_[s]->selectBars(gapBuckets_);
    }
    energyAxis_->setRange(bottom, top > 0 ? top * 1.1 : 1.0);
    // Generated energy only where a channel generates: otherwise its sets stay out of the legend.
    generated_->setVisible(bottom < 0);
}

QStringList HistoryChart::categories() const
{
    return categoryAxis_->categories();
}

QList<qreal> HistoryChart::values(int set) const
{
    QList<qreal> v;
    for (int i = 0; i < sets_[std::size_t(set)]->count(); ++i)
        v.append(sets_[std::size_t(set)]->at(i));
    return v;
}
