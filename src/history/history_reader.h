#pragma once

#include "history_report.h"

#include <QHash>
#include <QObject>

// Reports over one node's record for whoever shows them (the history window, orvo-history, the
// web service): each request is answered by ready() with its id, whenever the store has done.
class HistoryReader : public QObject {
    Q_OBJECT
public:
    HistoryReader(HistoryStore &store, const QString &node, const Tariff &tariff,
                  QObject *parent = nullptr);

    void setTariff(const Tariff &tariff) { tariff_ = tariff; }
    const Tariff &tariff() const { return tariff_; }
    // The local days [first, end) at the step; nowUtc decides which days carry the standing
    // charge. The id that ready() will carry.
    quint64 request(const QDate &first, const QDate &end, PeriodStep step, qint64 nowUtc);

signals:
    void ready(const PeriodReport &report);

private:
    void answered(const HistoryAnswer &answer);

    HistoryStore &store_;
    QString node_;
    Tariff tariff_;
    QHash<quint64, ReportPlan> plans_;
};
