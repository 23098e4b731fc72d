#include "sql_history_store.h"

#include "history_logging.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

// The prepared statements of an open connection, made once.
struct SqlStatements {
    explicit SqlStatements(const QSqlDatabase &db)
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
struct SqlHistoryStore::Job {
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

SqlHistoryStore::SqlHistoryStore(const QString &fileName, Access access, QObject *parent)
    : HistoryStore(parent),
      dialect_(HistorySchema::Dialect::Sqlite),
      fileName_(fileName),
      location_(fileName),
      connection_(QStringLiteral("orvo-history-%1").arg(quintptr(this), 0, 16)),
      access_(access)
{
    sliceTimer_.setSingleShot(true);
    sliceTimer_.setInterval(0);
    connect(&sliceTimer_, &QTimer::timeout, this, &SqlHistoryStore::runSlice);
}

SqlHistoryStore::SqlHistoryStore(const HistoryServer &server, Access access, QObject *parent)
    : SqlHistoryStore(QString(), access, parent)
{
    dialect_ = HistorySchema::Dialect::Postgres;
    server_ = server;
    location_ = server.location();
}

SqlHistoryStore::~SqlHistoryStore()
{
    closeConnection();
    QSqlDatabase::removeDatabase(connection_);
}

bool SqlHistoryStore::ensureOpen(QString *error)
{
    if (open_)
        return true;
    const bool readOnly = access_ == Access::ReadOnly;
    const bool sqlite = dialect_ == HistorySchema::Dialect::Sqlite;
    if (sqlite && readOnly && !QFileInfo::exists(fileName_)) {
        *error = QStringLiteral("no record at %1").arg(fileName_);
        return false;
    }
    if (sqlite && !readOnly)
        QDir().mkpath(QFileInfo(fileName_).absolutePath());
    const QString driver = sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : QSqlDatabase::addDatabase(driver, connection_);
    if (!db.isValid()) {
        *error = sqlite ? QStringLiteral("the Qt SQLite driver is missing (Debian package libqt6sql6-sqlite)")
                        : QStringLiteral("the Qt PostgreSQL driver is missing (Debian package libqt6sql6-psql)");
        return false;
    }
    if (sqlite) {
        db.setDatabaseName(fileName_);
        // A lock held by another program is waited for only briefly: the rows wait in memory.
        db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=50")
                                      : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5"));
    } else {
        db.setHostName(server_.host);
        db.setPort(server_.port);
        db.setUserName(server_.user);
        db.setPassword(server_.password);
        db.setDatabaseName(server_.database);
        // A server that never answers holds this thread (the worker's) only that long.
        db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(server_.connectTimeoutS));
    }
    if (!db.open()) {
        *error = errorText(db.lastError()).trimmed();
        return false;
    }
    open_ = true;
    statements_ = std::make_unique<SqlStatements>(db);
    if (!prepareSchema(error)) {
        closeConnection();
        return false;
    }
    qCInfo(lcHistory) << "opened" << location_ << (readOnly ? "read-only" : "");
    return true;
}

bool SqlHistoryStore::prepareSchema(QString *error)
{
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const HistorySchema::Outcome outcome = access_ == Access::ReadOnly
                                              ? HistorySchema::check(db, dialect_, error)
                                              : HistorySchema::create(db, dialect_, error);
    if (outcome != HistorySchema::Outcome::Ready)
        return false;
    SqlStatements &s = *statements_;
    return HistorySchema::prepare(s.upsertRow, HistorySchema::upsertRowSql(dialect_), error)
           && HistorySchema::prepare(s.upsertQuarter, HistorySchema::upsertQuarterSql(dialect_), error)
           && HistorySchema::prepare(s.upsertState, HistorySchema::upsertStateSql(), error)
           && HistorySchema::prepare(s.readState, HistorySchema::readStateSql(), error)
           && HistorySchema::prepare(s.sumMinutes, HistorySchema::sumSpanSql(false), error)
           && HistorySchema::prepare(s.sumQuarters, HistorySchema::sumSpanSql(true), error)
           && HistorySchema::prepare(s.listGaps, HistorySchema::listGapsSql(dialect_), error)
           && HistorySchema::prepare(s.listRows, HistorySchema::listRowsSql(), error);
}

void SqlHistoryStore::closeConnection()
{
    statements_.reset();
    if (open_) {
        QSqlDatabase::database(connection_, false).close();
        open_ = false;
    }
}

void SqlHistoryStore::write(const HistoryBatch &batch)
{
    QElapsedTimer timer;
    timer.start();
    QString error;
    const bool ok = writeNow(batch, &error);
    qCDebug(lcHistory) << "wrote" << batch.rows.size() << "rows in" << timer.nsecsElapsed() / 1000
                       << "us" << (ok ? "" : qPrintable(error));
    emit written(WriteOutcome{int(batch.rows.size()), ok, error});
}

bool SqlHistoryStore::writeNow(const HistoryBatch &batch, QString *error)
{
    const bool ok = ensureOpen(error) && writeBatch(batch, error);
    if (!ok)
        closeConnection(); // tried afresh next time: the lock may be gone, the disk emptied
    return ok;
}

bool SqlHistoryStore::writeBatch(const HistoryBatch &batch, QString *error)
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
    SqlStatements &s = *statements_;
    std::optional<ResumePoint> stored;
    if (!batch.rows.isEmpty() && !readState(batch.node, &stored, error)) {
        db.rollback();
        return false;
    }
    if (stored == batch.resume) {
        qCInfo(lcHistory) << "a batch of" << batch.rows.size() << "rows is stored already";
        db.rollback(); // nothing was changed
        return true;
    }
    for (const HistoryRow &row : batch.rows) {
        HistorySchema::bindRow(s.upsertRow, batch.node, row);
        QSqlQuery *failing = s.upsertRow.exec() ? nullptr : &s.upsertRow;
        if (!failing && !row.isGap()) {
            HistorySchema::bindQuarter(s.upsertQuarter, batch.node, row);
            failing = s.upsertQuarter.exec() ? nullptr : &s.upsertQuarter;
        }
        if (failing) {
            *error = errorText(failing->lastError());
            db.rollback();
            return false;
        }
    }
    HistorySchema::bindState(s.upsertState, batch.node, batch.resume);
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

bool SqlHistoryStore::readState(const QString &node, std::optional<ResumePoint> *point,
                                QString *error)
{
    QSqlQuery &q = statements_->readState;
    q.bindValue(0, node);
    if (!q.exec()) {
        *error = errorText(q.lastError());
        return false;
    }
    *point = q.next() ? std::optional(HistorySchema::stateFrom(q)) : std::nullopt;
    q.finish();
    return true;
}

bool SqlHistoryStore::resumeNow(const QString &node, std::optional<ResumePoint> *point,
                                QString *error)
{
    if (!ensureOpen(error))
        return false;
    if (readState(node, point, error))
        return true;
    closeConnection();
    return false;
}

void SqlHistoryStore::readResume(const QString &node)
{
    QString error;
    std::optional<ResumePoint> point;
    if (!resumeNow(node, &point, &error))
        emit resumeRead(node, std::nullopt, error);
    else
        emit resumeRead(node, point, QString());
}

void SqlHistoryStore::query(const HistoryQuery &query)
{
    auto job = std::make_unique<Job>();
    job->query = query;
    job->answer.id = query.id;
    job->rowsFrom = query.from;
    job->since.start();
    jobs_.push_back(std::move(job));
    sliceTimer_.start();
}

void SqlHistoryStore::runSlice()
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
bool SqlHistoryStore::stepJob(Job &job)
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

bool SqlHistoryStore::failed(Job &job, QSqlQuery &statement)
{
    job.answer.ok = false;
    job.answer.error = errorText(statement.lastError());
    statement.finish();
    return true;
}

bool SqlHistoryStore::sumNextSpan(Job &job)
{
    const auto [from, to] = job.query.spans[job.nextSpan++];
    // Whole quarters from their sums, the minutes before and after one by one.
    constexpr qint64 kQuarter = HistorySchema::kQuarter;
    const qint64 quartersFrom = (from + kQuarter - 1) / kQuarter * kQuarter;
    const qint64 quartersTo = std::max(quartersFrom, to / kQuarter * kQuarter);
    SqlStatements &s = *statements_;
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
        HistorySchema::addSpan(totals, part.statement);
        part.statement.finish();
    }
    job.answer.spans.append(totals);
    return false;
}

// True when it failed.
bool SqlHistoryStore::listGaps(Job &job)
{
    job.gapsDone = true;
    QSqlQuery &q = statements_->listGaps;
    q.bindValue(0, job.query.node);
    q.bindValue(1, job.query.to);
    q.bindValue(2, job.query.from);
    if (!q.exec())
        return failed(job, q);
    while (q.next())
        job.answer.gaps.append(HistorySchema::rowFrom(q));
    q.finish();
    return false;
}

bool SqlHistoryStore::listNextRows(Job &job)
{
    QSqlQuery &q = statements_->listRows;
    q.bindValue(0, job.query.node);
    q.bindValue(1, job.rowsFrom);
    q.bindValue(2, job.query.to);
    q.bindValue(3, HistorySchema::kRowPage);
    if (!q.exec())
        return failed(job, q);
    int taken = 0;
    for (; q.next(); ++taken)
        job.answer.rows.append(HistorySchema::rowFrom(q));
    q.finish();
    if (taken < HistorySchema::kRowPage)
        return true;
    job.rowsFrom = job.answer.rows.last().start + 1;
    return false;
}

void SqlHistoryStore::close()
{
    // Writes happen on the spot: nothing is waiting. Queries still running are answered.
    while (!jobs_.empty())
        runSlice();
    closeConnection();
}
