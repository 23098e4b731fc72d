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
        SqliteSchema::bindRow(s.upsertRow, batch.node, row);
        QSqlQuery *failing = s.upsertRow.exec() ? nullptr : &s.upsertRow;
        if (!failing && !row.isGap()) {
            SqliteSchema::bindQuarter(s.upsertQuarter, batch.node, row);
            failing = s.upsertQuarter.exec() ? nullptr : &s.upsertQuarter;
        }
        if (failing) {
            *error = errorText(failing->lastError());
            db.rollback();
            return false;
        }
    }
    SqliteSchema::bindState(s.upsertState, batch.node, batch.resume);
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
    QString error;
    if (!job.answer.ok || !ensureOpen(&error)) {
        job.answer.ok = false;
        job.answer.error = job.answer.error.isEmpty() ? error : job.answer.error;
        return true;
    }
    if (job.nextSpan < job.query.spans.size())
        return sumNextSpan(job);
    if (!job.gapsDone)
        return listGaps(job) || !job.query.listRows;
    return listNextRows(job);
}

bool SqliteHistoryStore::failed(Job &job, QSqlQuery &statement)
{
    job.answer.ok = false;
    job.answer.error = errorText(statement.lastError());
    statement.finish();
    return true;
}

bool SqliteHistoryStore::sumNextSpan(Job &job)
{
    const auto [from, to] = job.query.spans[job.nextSpan++];
    // Whole quarters from their sums, the minutes before and after one by one.
    constexpr qint64 kQuarter = SqliteSchema::kQuarter;
    const qint64 quartersFrom = (from + kQuarter - 1) / kQuarter * kQuarter;
    const qint64 quartersTo = std::max(quartersFrom, to / kQuarter * kQuarter);
    SqliteStatements &s = *statements_;
    const struct {
        QSqlQuery &statement;
        qint64 from;
        qint64 to;
    } parts[] = {{s.sumMinutes, from, std::min(quartersFrom, to)},
                 {s.sumQuarters, quartersFrom, quartersTo},
                 {s.sumMinutes, std::max(quartersTo, from), to}};
    SpanTotals totals;
    for (const auto &part : parts) {
        if (part.from >= part.to)
            continue;
        part.statement.bindValue(0, job.query.node);
        part.statement.bindValue(1, part.from);
        part.statement.bindValue(2, part.to);
        if (!part.statement.exec() || !part.statement.next())
            return failed(job, part.statement);
        SqliteSchema::addSpan(totals, part.statement);
        part.statement.finish();
    }
    job.answer.spans.append(totals);
    return false;
}

// True when it failed.
bool SqliteHistoryStore::listGaps(Job &job)
{
    job.gapsDone = true;
    QSqlQuery &q = statements_->listGaps;
    q.bindValue(0, job.query.node);
    q.bindValue(1, job.query.to);
    q.bindValue(2, job.query.from);
    if (!q.exec())
        return failed(job, q);
    while (q.next())
        job.answer.gaps.append(SqliteSchema::rowFrom(q));
    q.finish();
    return false;
}

bool SqliteHistoryStore::listNextRows(Job &job)
{
    QSqlQuery &q = statements_->listRows;
    q.bindValue(0, job.query.node);
    q.bindValue(1, job.rowsFrom);
    q.bindValue(2, job.query.to);
    q.bindValue(3, SqliteSchema::kRowPage);
    if (!q.exec())
        return failed(job, q);
    int taken = 0;
    for (; q.next(); ++taken)
        job.answer.rows.append(SqliteSchema::rowFrom(q));
    q.finish();
    if (taken < SqliteSchema::kRowPage)
        return true;
    job.rowsFrom = job.answer.rows.last().start + 1;
    return false;
}

void SqliteHistoryStore::close()
{
    // Writes happen on the spot: nothing is waiting. Queries still running are answered.
    while (!jobs_.empty())
        runSlice();
    closeConnection();
}
