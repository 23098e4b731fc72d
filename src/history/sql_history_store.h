#pragma once

#include "history_schema.h"
#include "history_settings.h"
#include "history_store.h"

#include <QTimer>

#include <deque>
#include <memory>

class QSqlQuery;
struct SqlStatements;

// The record in an SQLite file or a PostgreSQL database through Qt Sql: one transaction per
// batch, the schema created on first use with its version (docs/history.md). Work happens on
// the spot, on the thread that owns the store (a PostgreSQL one lives in its worker thread, see
// ServerHistoryStore). For SQLite: a batch of a minute's rows is a small commit without a sync (WAL
// with synchronous=NORMAL: a crash of the program loses nothing committed; a power cut may lose
// the latest commits, whose energy the next run finds again in the counters). A query runs in
// slices of a few milliseconds on the event loop, so that a year's summary never stalls it.
//
// A failed write closes the connection, and the next one opens the database again: a file that
// was locked, unwritable or on a full disk, a server that was away, is tried afresh each time.
//
// A batch whose rows are all in already is not added again: the node's starting point, written
// in the same transaction, is the batch's own once it committed, and every batch with rows has a
// starting point of its own (its rows hold later packets). So a batch offered again after an
// outcome that was never heard (the connection broke at the commit) is stored exactly once.
class SqlHistoryStore final : public HistoryStore {
    Q_OBJECT
public:
    enum class Access { ReadWrite, ReadOnly };

    explicit SqlHistoryStore(const QString &fileName, Access access = Access::ReadWrite,
                             QObject *parent = nullptr);
    SqlHistoryStore(const HistoryServer &server, Access access, QObject *parent = nullptr);
    ~SqlHistoryStore() override;

    QString location() const override { return location_; }
    void write(const HistoryBatch &batch) override;
    void readResume(const QString &node) override;
    void query(const HistoryQuery &query) override;
    void close() override;

    // The same on the spot, for a store's owner that keeps batches of its own.
    bool writeNow(const HistoryBatch &batch, QString *error);
    bool resumeNow(const QString &node, std::optional<ResumePoint> *point, QString *error);

    // The longest slice of a query before it lets the event loop run (default 4 ms).
    void setSliceMs(int ms) { sliceMs_ = ms; }

private:
    struct Job;
    bool ensureOpen(QString *error);
    bool prepareSchema(QString *error);
    bool writeBatch(const HistoryBatch &batch, QString *error);
    bool readState(const QString &node, std::optional<ResumePoint> *point, QString *error);
    void closeConnection();
    void runSlice();
    bool stepJob(Job &job);
    bool sumNextSpan(Job &job);
    bool listGaps(Job &job);
    bool listNextRows(Job &job);
    static bool failed(Job &job, QSqlQuery &statement);

    HistorySchema::Dialect dialect_;
    QString fileName_;
    HistoryServer server_;
    QString location_;
    QString connection_;
    Access access_;
    bool open_ = false;
    std::unique_ptr<SqlStatements> statements_;
    std::deque<std::unique_ptr<Job>> jobs_;
    QTimer sliceTimer_;
    int sliceMs_ = 4;
};
