#include "history_reader.h"

#include "history_logging.h"

#include <QElapsedTimer>

#include <atomic>

namespace {
// Ids are unique in the program, since several readers may share one store.
std::atomic<quint64> nextId{1};
} // namespace

HistoryReader::HistoryReader(HistoryStore &store, const QString &node, const Tariff &tariff,
                             QObject *parent)
    : QObject(parent), store_(store), node_(node), tariff_(tariff)
{
    connect(&store_, &HistoryStore::answered, this, &HistoryReader::answered);
}

quint64 HistoryReader::request(const QDate &first, const QDate &end, PeriodStep step, qint64 nowUtc)
{
    const quint64 id = nextId++;
    QElapsedTimer timer;
    timer.start();
    const ReportPlan plan(periodBuckets(first, end, step), step, tariff_, nowUtc);
    qCDebug(lcHistory) << "report" << id << first << "to" << end << periodStepName(step) << "planned in"
                       << timer.nsecsElapsed() / 1000 << "us";
    store_.query(plan.query(node_, id));
    plans_.insert(id, plan);
    return id;
}

void HistoryReader::answered(const HistoryAnswer &answer)
{
    const auto it = plans_.constFind(answer.id);
    if (it == plans_.constEnd())
        return; // another reader's
    QElapsedTimer timer;
    timer.start();
    const PeriodReport report = it->assemble(answer);
    plans_.erase(it);
    qCDebug(lcHistory) << "report" << answer.id << "assembled in" << timer.nsecsElapsed() / 1000 << "us";
    emit ready(report);
}
