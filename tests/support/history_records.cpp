#include "history_records.h"

#include "sql_history_store.h"

#include <QDateTime>
#include <QSignalSpy>

qint64 localSeconds(const QDate &day, int hour, int minute)
{
    return QDateTime(day, QTime(hour, minute)).toSecsSinceEpoch();
}

HistoryRow recordMinute(qint64 start, qint64 ws1, qint64 generated1)
{
    HistoryRow r;
    r.start = start;
    r.end = start + 60;
    r.packets = 60;
    r.energy = {ws1, 0, generated1, 0};
    r.minWatts = {100, 0};
    r.maxWatts = {900, 0};
    r.minVolts = 229.5;
    r.maxVolts = 231.0;
    return r;
}

HistoryRow recordGap(qint64 start, qint64 end, qint64 ws1)
{
    HistoryRow r;
    r.start = start;
    r.end = end;
    r.kind = RowKind::Gap;
    r.energy = {ws1, 0, 0, 0};
    return r;
}

bool writeRecord(const QString &file, const QString &node, const QList<HistoryRow> &rows)
{
    SqlHistoryStore store(file);
    QSignalSpy written(&store, &HistoryStore::written);
    store.write(HistoryBatch{node, rows, ResumePoint{}});
    const bool ok = written.size() == 1 && written[0][0].value<WriteOutcome>().ok;
    store.close();
    return ok;
}
