#pragma once

#include "history_period.h"
#include "http_service.h"

#include <QHash>
#include <QObject>

#include <memory>

class Clock;
class HistoryReader;
class HistoryStore;
class Tariff;
struct PeriodReport;

// /api/history?from=&to=&step=[&format=csv]: the record over the local days [from, to) at the
// step, as JSON or as the CSV of orvo-history's export, gaps marked. The dates are taken as
// orvo-history takes them, and a bad one is 400 with the one line that says why. The store
// answers whenever it has done (from another thread, perhaps), so each answer is sent when its
// report is ready; a client gone by then is not answered.
class HistoryApi final : public QObject {
    Q_OBJECT
public:
    // What one answer may hold: a month of minutes, a few years of hours. More is refused, since
    // the whole answer is built in memory.
    static constexpr qint64 kMaxRows = 50000;

    explicit HistoryApi(const Clock &clock, QObject *parent = nullptr);
    ~HistoryApi() override;

    // The record to read, or none (null) while the program keeps none: then 503.
    void setRecord(HistoryStore *store, const QString &node, const Tariff &tariff);
    void handle(const QHttpServerRequest &request, HttpResponder responder);

    // The JSON answer: the range, a row per step and the total, each row with the CSV's columns
    // as its keys (energies in watt-seconds, times in local ISO 8601 with the offset).
    static QByteArray json(const PeriodReport &report, const PeriodRange &range);

private:
    struct Pending {
        HttpResponder responder;
        PeriodRange range;
        bool csv = false;
    };
    void ready(const PeriodReport &report);

    const Clock &clock_;
    std::unique_ptr<HistoryReader> reader_;
    QHash<quint64, Pending> pending_;
};
