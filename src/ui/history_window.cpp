#include "history_window.h"

#include "clock.h"
#include "history_csv.h"
#include "history_reader.h"
#include "history_store.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {

constexpr PeriodStep kViewSteps[] = {PeriodStep::Hour, PeriodStep::Day, PeriodStep::Month};

int viewIndex(PeriodStep step)
{
    return step == PeriodStep::Month ? 2 : step == PeriodStep::Day ? 1 : 0;
}

QString kwh(qint64 ws)
{
    return QString::number(double(ws) / Tariff::kWsPerKwh, 'f', 3);
}

QString money(double value)
{
    return QString::number(value, 'f', 2);
}

// The period as the tool's DATE names it.
QString periodName(const NamedPeriod &p)
{
    switch (p.step) {
    case PeriodStep::Month:
        return p.first.toString(QStringLiteral("yyyy"));
    case PeriodStep::Day:
        return p.first.toString(QStringLiteral("yyyy-MM"));
    case PeriodStep::Minute:
    case PeriodStep::Hour:
        break;
    }
    return p.first.toString(Qt::ISODate);
}

QLabel *figureLabel(QWidget *parent, const char *objectName)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    return label;
}

} // namespace

HistoryWindow::HistoryWindow(HistoryStore *store, const QString &node, const Tariff &tariff,
                             Clock &clock, QWidget *parent)
    : QWidget(parent, Qt::Window), clock_(clock)
{
    setObjectName(QStringLiteral("History"));
    setWindowTitle(QStringLiteral("History"));
    if (store) {
        reader_ = std::make_unique<HistoryReader>(*store, node, tariff);
        connect(reader_.get(), &HistoryReader::ready, this, &HistoryWindow::reportReady);
    }
    chooseExportFile = [this](const QString &suggested) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), suggested,
                                            QStringLiteral("CSV files (*.csv)"));
    };
    period_ = periodAround(clock_.now().date(), PeriodStep::Hour);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildControls());
    auto *view = new QChartView(chart_.chart(), this);
    view->setObjectName(QStringLiteral("HistoryChartView"));
    layout->addWidget(view, 1);
    layout->addWidget(buildFigures());
    resize(820, 520);
    refreshTimer_ = clock_.createTimer(this);
    connect(refreshTimer_.get(), &ClockTimer::timeout, this, &HistoryWindow::refresh);
    syncControls();
    status_->setText(store ? QString() : QStringLiteral("The energy record is off ([history] Enabled)."));
}

HistoryWindow::~HistoryWindow() = default;

QWidget *HistoryWindow::buildControls()
{
    auto *box = new QWidget(this);
    auto *row = new QHBoxLayout(box);
    viewBox_ = new QComboBox(box);
    viewBox_->setObjectName(QStringLiteral("HistoryView"));
    viewBox_->addItems({QStringLiteral("Day"), QStringLiteral("Month"), QStringLiteral("Year")});
    previous_ = new QPushButton(QStringLiteral("Previous"), box);
    previous_->setObjectName(QStringLiteral("HistoryPrevious"));
    dateEdit_ = new QDateEdit(box);
    dateEdit_->setObjectName(QStringLiteral("HistoryDate"));
    dateEdit_->setCalendarPopup(true);
    next_ = new QPushButton(QStringLiteral("Next"), box);
    next_->setObjectName(QStringLiteral("HistoryNext"));
    exportButton_ = new QPushButton(QStringLiteral("Export CSV..."), box);
    exportButton_->setObjectName(QStringLiteral("HistoryExport"));
    exportMinutes_ = new QCheckBox(QStringLiteral("Minutes"), box);
    exportMinutes_->setObjectName(QStringLiteral("HistoryExportMinutes"));
    exportMinutes_->setToolTip(QStringLiteral("Export the record's own rows, a line per minute"));
    for (QWidget *w : std::initializer_list<QWidget *>{viewBox_, previous_, dateEdit_, next_})
        row->addWidget(w);
    row->addStretch(1);
    row->addWidget(exportButton_);
    row->addWidget(exportMinutes_);
    connectControls();
    return box;
}

void HistoryWindow::connectControls()
{
    connect(viewBox_, &QComboBox::activated, this,
            [this](int index) { showPeriod(period_.first, kViewSteps[index]); });
    connect(previous_, &QPushButton::clicked, this, [this] {
        const NamedPeriod p = shiftPeriod(period_, -1);
        showPeriod(p.first, p.step);
    });
    connect(next_, &QPushButton::clicked, this, [this] {
        const NamedPeriod p = shiftPeriod(period_, 1);
        showPeriod(p.first, p.step);
    });
    connect(dateEdit_, &QDateEdit::userDateChanged, this,
            [this](const QDate &day) { showPeriod(day, period_.step); });
    connect(exportButton_, &QPushButton::clicked, this, &HistoryWindow::exportCsv);
}

QWidget *HistoryWindow::buildFigures()
{
    auto *box = new QWidget(this);
    auto *column = new QVBoxLayout(box);
    totals_ = figureLabel(box, "HistoryTotals");
    cost_ = figureLabel(box, "HistoryCost");
    gaps_ = figureLabel(box, "HistoryGaps");
    status_ = figureLabel(box, "HistoryStatus");
    for (QLabel *l : {totals_, cost_, gaps_, status_})
        column->addWidget(l);
    return box;
}

void HistoryWindow::setTariff(const Tariff &tariff)
{
    if (reader_)
        reader_->setTariff(tariff);
    refresh();
}

void HistoryWindow::showPeriod(const QDate &day, PeriodStep step)
{
    period_ = periodAround(day, step);
    syncControls();
    refresh();
}

void HistoryWindow::syncControls()
{
    const QSignalBlocker blockView(viewBox_);
    const QSignalBlocker blockDate(dateEdit_);
    viewBox_->setCurrentIndex(viewIndex(period_.step));
    dateEdit_->setDisplayFormat(period_.step == PeriodStep::Month ? QStringLiteral("yyyy")
                                : period_.step == PeriodStep::Day ? QStringLiteral("yyyy-MM")
                                                                  : QStringLiteral("yyyy-MM-dd"));
    dateEdit_->setDate(period_.first);
}

void HistoryWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    refreshTimer_->start(kRefreshMs);
}

void HistoryWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    refreshTimer_->stop();
}

void HistoryWindow::refresh()
{
    if (!reader_ || !isVisible())
        return;
    status_->setText(QStringLiteral("Reading the record..."));
    // An answer to an earlier request that comes later is not shown.
    shownRequest_ = reader_->request(period_.first, period_.end, period_.step,
                                     clock_.now().toSecsSinceEpoch());
}

void HistoryWindow::reportReady(const PeriodReport &report)
{
    if (report.id == exportRequest_) {
        writeExport(report);
        return;
    }
    if (report.id != shownRequest_)
        return;
    if (!report.ok) {
        status_->setText(QStringLiteral("Error: the record could not be read (%1)").arg(report.error));
        return;
    }
    report_ = report;
    chart_.show(report, period_.step);
    showTotals(report);
    status_->clear();
    emit reportShown();
}

void HistoryWindow::showTotals(const PeriodReport &report)
{
    const ReportRow &t = report.total;
    QString totals = QStringLiteral("CH1 %1 kWh, CH2 %2 kWh").arg(kwh(t.energy[kAbs1]), kwh(t.energy[kAbs2]));
    if (t.energy[kGen1] > 0 || t.energy[kGen2] > 0)
        totals += QStringLiteral("; generated CH1 %1 kWh, CH2 %2 kWh").arg(kwh(t.energy[kGen1]), kwh(t.energy[kGen2]));
    totals_->setText(totals);
    cost_->setText(t.standing > 0 ? QStringLiteral("Cost %1 (energy %2, standing charge %3)")
                                        .arg(money(t.cost()), money(t.energyCost), money(t.standing))
                                  : QStringLiteral("Cost %1").arg(money(t.cost())));
    QStringList marked;
    const QStringList labels = chart_.categories();
    for (const int b : chart_.gapBuckets())
        marked.append(labels.value(b));
    QString gaps = marked.isEmpty() ? QString()
                                    : QStringLiteral("Grey: no packets for over 2 minutes in %1").arg(marked.join(QStringLiteral(", ")));
    if (t.incomplete)
        gaps += QStringLiteral("; the monitor was reset during a gap, whose energy before the reset is unknown");
    gaps_->setText(gaps);
}

void HistoryWindow::exportCsv()
{
    if (!reader_)
        return;
    const PeriodStep step = exportMinutes_->isChecked() ? PeriodStep::Minute : period_.step;
    const QString suggested = QDir::home().filePath(
        QStringLiteral("history-%1-%2.csv").arg(periodName(period_), periodStepName(step)));
    exportFile_ = chooseExportFile(suggested);
    if (exportFile_.isEmpty())
        return;
    status_->setText(QStringLiteral("Exporting..."));
    exportRequest_ = reader_->request(period_.first, period_.end, step, clock_.now().toSecsSinceEpoch());
}

void HistoryWindow::writeExport(const PeriodReport &report)
{
    exportRequest_ = 0;
    QSaveFile file(exportFile_);
    const QByteArray csv = HistoryCsv::text(report).toUtf8();
    const bool ok = report.ok && file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size() && file.commit();
    status_->setText(ok ? QStringLiteral("Exported %1").arg(exportFile_)
                        : QStringLiteral("Error: %1 could not be written").arg(exportFile_));
    emit exportFinished(exportFile_, ok);
}
