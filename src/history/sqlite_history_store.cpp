#include "sqlite_history_store.h"

#include "history_logging.h"
#include "sqlite_schema.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

// The prepared statements of an open connection, made once.
struct SqliteStatements {
    explicit SqliteStatements(const QSqlDatabase &db)
        : upsertRow(db), upsertQuarter(db), upsertState(db), readState(db), sumMinutes(db),
          sumQuarters(db), listGaps(db), listRows(db)
    {
    }
    QSqlQuery upsertRow;
    QSqlQuery upsertQuarter;
    QSqlQuery upsertState;
    QSqlQuery readState;
    QSqlQuery sumMinutes;
    QSqlQuery sumQuarters;
    QSqlQuery listGaps;
    QSqlQuery listRows;
};

// A query in progress: which part it has reached.
struct SqliteHistoryStore::Job {
    QElapsedTimer since;
    qint64 busyNs = 0;
    qint64 longestStepNs = 0;
    int slices = 0;
    HistoryQuery query;
    HistoryAnswer answer;
    int nextSpan = 0;
    bool gapsDone = false;
    qint64 rowsFrom = 0; // the next page of listed rows starts here
};

namespace {

QString errorText(const QSqlError &e)
{
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

HistoryRow rowFrom(const QSqlQuery &q)
{
    HistoryRow r;
    r.start = q.value(0).toLongLong();
    r.end = q.value(1).toLongLong();
    r.kind = RowKind(q.value(2).toInt());
    r.packets = q.value(3).toInt();
    for (int i = 0; i < 4; ++i)
        r.energy[std::size_t(i)] = q.value(4 + i).toLongLong();
    r.minWatts = {q.value(8).toInt(), q.value(10).toInt()};
    r.maxWatts = {q.value(9).toInt(), q.value(11).toInt()};
    r.minVolts = q.value(12).toDouble();
    r.maxVolts = q.value(13).toDouble();
    return r;
}

void bindRow(QSqlQuery &q, const QString &node, const HistoryRow &r)
{
    const bool measured = r.packets > 0;
    const auto orNull = [measured](auto v) { return measured ? QVariant(v) : QVariant(); };
    q.bindValue(0, node);
    q.bindValue(1, r.start);
    q.bindValue(2, r.end);
    q.bindValue(3, int(r.kind));
    q.bindValue(4, r.packets);
    for (int i = 0; i < 4; ++i)
        q.bindValue(5 + i, r.energy[std::size_t(i)]);
    q.bindValue(9, orNull(r.minWatts[0]));
    q.bindValue(10, orNull(r.maxWatts[0]));
    q.bindValue(11, orNull(r.minWatts[1]));
    q.bindValue(12, orNull(r.maxWatts[1]));
    q.bindValue(13, orNull(r.minVolts));
    q.bindValue(14, orNull(r.maxVolts));
}

// The minute row joins its quarter's sums.
bool upsertQuarter(QSqlQuery &q, const QString &node, const HistoryRow &r)
{
    const bool measured = r.packets > 0;
    const auto orNull = [measured](auto v) { return measured ? QVariant(v) : QVariant(); };
    q.bindValue(0, node);
    q.bindValue(1, r.start - r.start % SqliteSchema::kQuarter);
    q.bindValue(2, r.packets);
    for (int i = 0; i < 4; ++i)
        q.bindValue(3 + i, r.energy[std::size_t(i)]);
    q.bindValue(7, orNull(r.minWatts[0]));
    q.bindValue(8, orNull(r.maxWatts[0]));
    q.bindValue(9, orNull(r.minWatts[1]));
    q.bindValue(10, orNull(r.maxWatts[1]));
    q.bindValue(11, orNull(r.minVolts));
    q.bindValue(12, orNull(r.maxVolts));
    return q.exec();
}

void bindState(QSqlQuery &q, const QString &node, const ResumePoint &p)
{
    q.bindValue(0, node);
    q.bindValue(1, p.lastPacketMs);
    for (int i = 0; i < 4; ++i)
        q.bindValue(2 + i, p.counters[std::size_t(i)]);
    q.bindValue(6, p.originStart);
    for (int i = 0; i < 4; ++i)
        q.bindValue(7 + i, p.origin[std::size_t(i)]);
}

} // namespace

SqliteHistoryStore::SqliteHistoryStore(const QString &fileName, Access access, QObject *parent)
    : HistoryStore(parent),
      fileName_(fileName),
      connection_(QStringLiteral("orvo-history-%1").arg(quintptr(this), 0, 16)),
      access_(access)
{
    sliceTimer_.setSingleShot(true);
    sliceTimer_.setInterval(0);
    connect(&sliceTimer_, &QTimer::timeout, this, &SqliteHistoryStore::runSlice);
}

SqliteHistoryStore::~SqliteHistoryStore()
{
    closeConnection();
    QSqlDatabase::removeDatabase(connection_);
}

bool SqliteHistoryStore::ensureOpen(QString *error)
{
    if (open_)
        return true;
    const bool readOnly = access_ == Access::ReadOnly;
    if (readOnly && !QFileInfo::exists(fileName_)) {
        *error = QStringLiteral("no record at %1").arg(fileName_);
        return false;
    }
    if (!readOnly)
        QDir().mkpath(QFileInfo(fileName_).absolutePath());
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    if (!db.isValid()) {
        *error = QStringLiteral("the Qt SQLite driver is missing (Debian package libqt6sql6-sqlite)");
        return false;
    }
    db.setDatabaseName(fileName_);
    // A lock held by another program is waited for only briefly: the rows wait in memory.
    db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=50")
                                  : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5"));
    if (!db.open()) {
        *error = errorText(db.lastError());
        return false;
    }
    open_ = true;
    statements_ = std::make_unique<SqliteStatements>(db);
    if (!prepareSchema(error)) {
        closeConnection();
        return false;
    }
    qCInfo(lcHistory) << "opened" << fileName_ << (readOnly ? "read-only" : "");
    return true;
}

bool SqliteHistoryStore::prepareSchema(QString *error)
{
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const SqliteSchema::Outcome outcome = access_ == Access::ReadOnly
                                              ? SqliteSchema::check(db, error)
                                              : SqliteSchema::create(db, error);
    if (outcome != SqliteSchema::Outcome::Ready)
        return false;
    SqliteStatements &s = *statements_;
    return SqliteSchema::prepare(s.upsertRow, SqliteSchema::upsertRowSql(), error)
           && SqliteSchema::prepare(s.upsertQuarter, SqliteSchema::upsertQuarterSql(), error)
           && SqliteSchema::prepare(s.upsertState, SqliteSchema::upsertStateSql(), error)
           && SqliteSchema::prepare(s.readState, SqliteSchema::readStateSql(), error)
           && SqliteSchema::prepare(s.sumMinutes, SqliteSchema::sumSpanSql(false), error)
           && SqliteSchema::prepare(s.sumQuarters, SqliteSchema::sumSpanSql(true), error)
           && SqliteSchema::prepare(s.listGaps, SqliteSchema::listGapsSql(), error)
           && SqliteSchema::prepare(s.listRows, SqliteSchema::listRowsSql(), error);
}

void SqliteHistoryStore::closeConnection()
{
    statements_.reset();
    if (open_) {
        QSqlDatabase::database(connection_, false).close();
        open_ = false;
    }
}

void SqliteHistoryStore::write(const HistoryBatch &batch)
{
    QElapsedTimer timer;
    timer.start();
    QString error;
    const bool ok = ensureOpen(&error) && writeBatch(batch, &error);
    if (!ok)
        closeConnection(); // tried afresh next time: the lock may be gone, the disk emptied
    qCDebug(lcHistory) << "wrote" << batch.rows.size() << "rows in" << timer.nsecsElapsed() / 1000
                       << "us" << (ok ? "" : qPrintable(error));
    emit written(WriteOutcome{int(batch.rows.size()), ok, error});
}

bool SqliteHistoryStore::writeBatch(const HistoryBatch &batch, QString *error)
{
    if (access_ == Access::ReadOnly) {
        *error = QStringLiteral("opened for reading only");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.transaction()) {
        *error = errorText(db.lastError());
        return false;
    }
    SqliteStatements &s = *statements_;
    for (const HistoryRow &row : batch.rows) {
        bindRow(s.upsertRow, batch.node, row);
        const bool ok = s.upsertRow.exec() && (row.isGap() || upsertQuarter(s.upsertQuarter, batch.node, row));
        if (!ok) {
            *error = errorText(s.upsertRow.lastError().isValid() ? s.upsertRow.lastError()
                                                                 : s.upsertQuarter.lastError());
            db.rollback();
            return false;
        }
    }
    bindState(s.upsertState, batch.node, batch.resume);
    if (!s.upsertState.exec()) {
        *error = errorText(s.upsertState.lastError());
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        *error = errorText(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

void SqliteHistoryStore::readResume(const QString &node)
{
    QString error;
    if (!ensureOpen(&error)) {
        emit resumeRead(node, std::nullopt, error);
        return;
    }
    QSqlQuery &q = statements_->readState;
    q.bindValue(0, node);
    if (!q.exec()) {
        error = errorText(q.lastError());
        closeConnection();
        emit resumeRead(node, std::nullopt, error);
        return;
    }
    std::optional<ResumePoint> point;
    if (q.next()) {
        ResumePoint p;
        p.lastPacketMs = q.value(0).toLongLong();
        for (int i = 0; i < 4; ++i)
            p.counters[std::size_t(i)] = q.value(1 + i).toLongLong();
        p.originStart = q.value(5).toLongLong();
        for (int i = 0; i < 4; ++i)
            p.origin[std::size_t(i)] = q.value(6 + i).toLongLong();
        point = p;
    }
    q.finish();
    emit resumeRead(node, point, QString());
}

void SqliteHistoryStore::query(const HistoryQuery &query)
{
    auto job = std::make_unique<Job>();
    job->query = query;
    job->answer.id = query.id;
    job->rowsFrom = query.from;
    job->since.start();
    jobs_.push_back(std::move(job));
    sliceTimer_.start();
}

void SqliteHistoryStore::runSlice()
{
    QElapsedTimer slice;
    slice.start();
    while (!jobs_.empty()) {
        if (slice.elapsed() >= sliceMs_) {
            ++jobs_.front()->slices;
            sliceTimer_.start(); // the rest after the events that waited
            return;
        }
        Job &job = *jobs_.front();
        const qint64 before = slice.nsecsElapsed();
        const bool done = stepJob(job);
        job.busyNs += slice.nsecsElapsed() - before;
        job.longestStepNs = std::max(job.longestStepNs, slice.nsecsElapsed() - before);
        if (!done)
            continue;
        qCDebug(lcHistory) << "query" << job.query.id << "answered after" << job.since.elapsed() << "ms,"
                           << job.busyNs / 1000 << "us of work in" << job.slices + 1 << "slices, the longest step"
                           << job.longestStepNs / 1000 << "us";
        const HistoryAnswer answer = std::move(job.answer);
        jobs_.pop_front();
        if (!jobs_.empty())
            sliceTimer_.start();
        emit answered(answer); // last: a receiver may destroy this store
        return;
    }
}

// One statement of the job; true once the job is answered.
bool SqliteHistoryStore::stepJob(Job &job)
{
    HistoryAnswer &a = job.answer;
    const HistoryQuery &q = job.query;
    QString error;
    if (!a.ok || !ensureOpen(&error)) {
        a.ok = false;
        a.error = a.error.isEmpty() ? error : a.error;
        return true;
    }
    SqliteStatements &s = *statements_;
    const auto fail = [&](QSqlQuery &statement) {
        a.ok = false;
        a.error = errorText(statement.lastError());
        statement.finish();
        return true;
    };
    if (job.nextSpan < q.spans.size()) {
        const auto [from, to] = q.spans[job.nextSpan++];
        // Whole quarters from their sums, the minutes before and after one by one.
        const qint64 quartersFrom = (from + SqliteSchema::kQuarter - 1) / SqliteSchema::kQuarter * SqliteSchema::kQuarter;
        const qint64 quartersTo = std::max(quartersFrom, to / SqliteSchema::kQuarter * SqliteSchema::kQuarter);
        const std::pair<qint64, qint64> minutes[] = {{from, std::min(quartersFrom, to)},
                                                     {std::max(quartersTo, from), to}};
        SpanTotals totals;
        const auto sum = [&](QSqlQuery &statement, qint64 a, qint64 b) {
            if (a >= b)
                return true;
            statement.bindValue(0, q.node);
            statement.bindValue(1, a);
            statement.bindValue(2, b);
            if (!statement.exec() || !statement.next())
                return false;
            SqliteSchema::addSpan(totals, statement);
            statement.finish();
            return true;
        };
        if (!sum(s.sumMinutes, minutes[0].first, minutes[0].second))
            return fail(s.sumMinutes);
        if (!sum(s.sumQuarters, quartersFrom, quartersTo))
            return fail(s.sumQuarters);
        if (!sum(s.sumMinutes, minutes[1].first, minutes[1].second))
            return fail(s.sumMinutes);
        a.spans.append(totals);
        return false;
    }
    if (!job.gapsDone) {
        job.gapsDone = true;
        s.listGaps.bindValue(0, q.node);
        s.listGaps.bindValue(1, q.to);
        s.listGaps.bindValue(2, q.from);
        if (!s.listGaps.exec())
            return fail(s.listGaps);
        while (s.listGaps.next())
            a.gaps.append(rowFrom(s.listGaps));
        s.listGaps.finish();
        return !q.listRows;
    }
    s.listRows.bindValue(0, q.node);
    s.listRows.bindValue(1, job.rowsFrom);
    s.listRows.bindValue(2, q.to);
    s.listRows.bindValue(3, SqliteSchema::kRowPage);
    if (!s.listRows.exec())
        return fail(s.listRows);
    int taken = 0;
    while (s.listRows.next()) {
        a.rows.append(rowFrom(s.listRows));
        ++taken;
    }
    s.listRows.finish();
    if (taken < SqliteSchema::kRowPage)
        return true;
    job.rowsFrom = a.rows.last().start + 1;
    return false;
}

void SqliteHistoryStore::close()
{
    // Writes happen on the spot: nothing is waiting. Queries still running are answered.
    while (!jobs_.empty())
        runSlice();
    closeConnection();
}
