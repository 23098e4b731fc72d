#include "live_readings_window.h"

#include "clock.h"
#include "live_figures.h"

#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineSeries>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QLabel *addFigure(QGridLayout &grid, int row, int column, const QString &objectName)
{
    auto *label = new QLabel(QStringLiteral("-"));
    label->setObjectName(objectName);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid.addWidget(label, row, column);
    return label;
}

QString money(double value)
{
    return QString::number(value, 'f', 2);
}

} // namespace

LiveReadingsWindow::LiveReadingsWindow(const LiveFigures &figures, Clock &clock, QWidget *parent)
    : QWidget(parent, Qt::Window), figures_(figures), clock_(clock)
{
    setObjectName(QStringLiteral("LiveReadings"));
    setWindowTitle(QStringLiteral("Live Readings"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildFigures());
    layout->addWidget(buildChart(), 1);
    resize(820, 500);
    refreshTimer_ = clock_.createTimer(this);
    connect(refreshTimer_.get(), &ClockTimer::timeout, this, &LiveReadingsWindow::refresh);
}

LiveReadingsWindow::~LiveReadingsWindow() = default;

QWidget *LiveReadingsWindow::buildFigures()
{
    auto *box = new QWidget(this);
    auto *grid = new QGridLayout(box);
    const QStringList rows{"Power (W)", "Current (A)", "Power factor", "Counter (kWh)",
                           "Cost per hour", "Today (kWh / cost)", ""};
    for (int r = 0; r < rows.size(); ++r)
        grid->addWidget(new QLabel(rows[r], box), r + 1, 0);
    for (int c = 0; c < 2; ++c) {
        const QString ch = QStringLiteral("CH%1").arg(c + 1);
        auto *head = new QLabel(ch, box);
        head->setAlignment(Qt::AlignRight);
        grid->addWidget(head, 0, c + 1);
        ChannelLabels &l = labels_[c];
        l.watts = addFigure(*grid, 1, c + 1, ch + "Watts");
        QFont big = l.watts->font();
        big.setPointSizeF(big.pointSizeF() * 2.2);
        big.setBold(true);
        l.watts->setFont(big);
        l.amps = addFigure(*grid, 2, c + 1, ch + "Amps");
        l.powerFactor = addFigure(*grid, 3, c + 1, ch + "PowerFactor");
        l.counter = addFigure(*grid, 4, c + 1, ch + "Counter");
        l.costPerHour = addFigure(*grid, 5, c + 1, ch + "CostPerHour");
        l.today = addFigure(*grid, 6, c + 1, ch + "Today");
        l.generating = addFigure(*grid, 7, c + 1, ch + "Generating");
    }
    volts_ = addFigure(*grid, 8, 1, QStringLiteral("LineVolts"));
    age_ = addFigure(*grid, 8, 2, QStringLiteral("PacketAge"));
    grid->addWidget(new QLabel(QStringLiteral("Line voltage"), box), 8, 0);
    return box;
}

QWidget *LiveReadingsWindow::buildChart()
{
    auto *box = new QWidget(this);
    auto *layout = new QVBoxLayout(box);
    spanBox_ = new QComboBox(box);
    spanBox_->setObjectName(QStringLiteral("ChartSpan"));
    spanBox_->addItems({"15 minutes", "1 hour", "24 hours"});
    spanBox_->setCurrentIndex(int(span_));
    connect(spanBox_, &QComboBox::currentIndexChanged, this,
            [this](int index) { setSpan(HistorySpan(index)); });
    layout->addWidget(spanBox_, 0, Qt::AlignLeft);

    chart_ = new QChart;
    timeAxis_ = new QDateTimeAxis(chart_);
    timeAxis_->setFormat(QStringLiteral("hh:mm"));
    powerAxis_ = new QValueAxis(chart_);
    powerAxis_->setTitleText(QStringLiteral("W"));
    powerAxis_->setLabelFormat(QStringLiteral("%.0f"));
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(powerAxis_, Qt::AlignLeft);
    for (int c = 0; c < 2; ++c) {
        series_[c] = new QLineSeries(chart_);
        series_[c]->setName(QStringLiteral("CH%1").arg(c + 1));
        chart_->addSeries(series_[c]);
        series_[c]->attachAxis(timeAxis_);
        series_[c]->attachAxis(powerAxis_);
    }
    auto *view = new QChartView(chart_, box);
    view->setObjectName(QStringLiteral("PowerChart"));
    view->setRenderHint(QPainter::Antialiasing, false);
    layout->addWidget(view, 1);
    return box;
}

void LiveReadingsWindow::setSpan(HistorySpan span)
{
    if (span == span_)
        return;
    span_ = span;
    if (spanBox_->currentIndex() != int(span))
        spanBox_->setCurrentIndex(int(span));
    chartBucket_ = -1;
    if (drawable())
        refresh();
    emit spanChanged(span);
}

void LiveReadingsWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    chartBucket_ = -1;
    refresh();
    refreshTimer_->start(kRefreshMs);
}

void LiveReadingsWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    refreshTimer_->stop();
}

void LiveReadingsWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && drawable()) {
        chartBucket_ = -1;
        refresh();
    }
}

void LiveReadingsWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event); // accepted: hidden, not deleted
    emit closedByUser();
}

void LiveReadingsWindow::refresh()
{
    if (!drawable())
        return;
    drawFigures();
    drawChart(clock_.now().toMSecsSinceEpoch());
}

void LiveReadingsWindow::drawFigures()
{
    ++figureDraws_;
    if (!figures_.hasPacket()) {
        age_->setText(figures_.ageText());
        return;
    }
    for (int c = 0; c < 2; ++c) {
        const ChannelFigures &f = figures_.channels()[c];
        ChannelLabels &l = labels_[c];
        l.watts->setText(QString::number(f.watts, 'f', 0));
        l.amps->setText(QString::number(f.amps, 'f', 2));
        l.powerFactor->setText(QString::number(f.powerFactor, 'f', 2));
        l.counter->setText(QString::number(f.kwhStatic, 'f', 3));
        l.costPerHour->setText(money(f.costPerHour));
        l.today->setText(QStringLiteral("%1 / %2").arg(QString::number(f.kwhToday, 'f', 3),
                                                        money(f.costToday)));
        l.generating->setText(f.generating ? QStringLiteral("Generating") : QString());
    }
    volts_->setText(QStringLiteral("%1 V").arg(figures_.volts(), 0, 'f', 1));
    age_->setText(figures_.ageText());
    age_->setStyleSheet(figures_.stale() ? QStringLiteral("color: red; font-weight: bold")
                                         : QString());
}

void LiveReadingsWindow::drawChart(qint64 nowMs)
{
    // The newest bucket changes every few seconds; within it only its last point moves, which
    // no eye misses at this width. Drawing on each new bucket keeps the chart's cost low.
    const qint64 spanMs = PowerHistory::spanMs(span_);
    const qint64 bucket = nowMs / (spanMs / PowerHistory::kBuckets);
    if (bucket == chartBucket_)
        return;
    chartBucket_ = bucket;
    ++chartDraws_;
    double top = 0;
    for (int c = 0; c < 2; ++c) {
        const QList<QPointF> points = figures_.history().points(span_, c, nowMs);
        for (const QPointF &p : points)
            top = std::max(top, p.y());
        series_[c]->replace(points);
    }
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(nowMs - spanMs),
                        QDateTime::fromMSecsSinceEpoch(nowMs));
    powerAxis_->setRange(0, top > 0 ? top * 1.1 : 100);
}
