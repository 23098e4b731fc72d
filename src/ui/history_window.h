#pragma once

#include "history_chart.h"
#include "history_period.h"
#include "tariff.h"

#include <QWidget>

#include <functional>
#include <memory>

class Clock;
class ClockTimer;
class HistoryReader;
class HistoryStore;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;

// "History": the energy record's bars per hour of a day, per day of a month or per month of a
// year, with the period's totals and cost by the tariff, previous/next and a date picker, and
// the period's CSV. It reads the record through the store's queries, which answer after the
// event loop has turned; while shown it reads the period again each minute.
class HistoryWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 60000;

    // store is null while the record is off.
    HistoryWindow(HistoryStore *store, const QString &node, const Tariff &tariff, Clock &clock,
                  QWidget *parent = nullptr);
    ~HistoryWindow() override;

    void setTariff(const Tariff &tariff);
    // The period around the day at the step its bars show (Hour: a day, Day: a month, Month: a year).
    void showPeriod(const QDate &day, PeriodStep step);
    const NamedPeriod &period() const { return period_; }

    // Where "Export CSV..." writes, given a suggested name; empty cancels. A file dialog unless set.
    std::function<QString(const QString &suggested)> chooseExportFile;

    const HistoryChart &chart() const { return chart_; }
    const PeriodReport &report() const { return report_; }

signals:
    void reportShown();
    void exportFinished(const QString &file, bool ok);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *buildControls();
    void connectControls();
    QWidget *buildFigures();
    void refresh();
    void reportReady(const PeriodReport &report);
    void showTotals(const PeriodReport &report);
    void exportCsv();
    void writeExport(const PeriodReport &report);
    void syncControls();

    Clock &clock_;
    std::unique_ptr<HistoryReader> reader_;
    std::unique_ptr<ClockTimer> refreshTimer_;
    HistoryChart chart_;
    NamedPeriod period_;
    PeriodReport report_;
    quint64 shownRequest_ = 0;
    quint64 exportRequest_ = 0;
    QString exportFile_;
    QComboBox *viewBox_ = nullptr;
    QPushButton *previous_ = nullptr;
    QPushButton *next_ = nullptr;
    QDateEdit *dateEdit_ = nullptr;
    QPushButton *exportButton_ = nullptr;
    QCheckBox *exportMinutes_ = nullptr;
    QLabel *totals_ = nullptr;
    QLabel *cost_ = nullptr;
    QLabel *gaps_ = nullptr;
    QLabel *status_ = nullptr;
};
