#pragma once

#include "history_store.h"

#include <QTimer>

#include <deque>
#include <memory>

class QSqlQuery;
struct SqliteStatements;

// The record in an SQLite file through Qt Sql: WAL journal, one transaction per batch, the
// schema created on first use with its version (docs/history.md). Work happens on the spot,
// on the program's thread: a batch of a minute's rows is a small commit without a sync (WAL
// with synchronous=NORMAL: a crash of the program loses nothing committed; a power cut may lose
// the latest commits, whose energy the next run finds again in the counters). A query runs in
// slices of a few milliseconds on the event loop, so that a year's summary never stalls it.
//
// A failed write closes the connection, and the next one opens the file again: a file that
// was locked, unwritable or on a full disk is tried afresh each time.
class SqliteHistoryStore final : public HistoryStore {
    Q_OBJECT
public:
    enum class Access { ReadWrite, ReadOnly };

    explicit SqliteHistoryStore(const QString &fileName, Access access = Access::ReadWrite,
                                QObject *parent = nullptr);
    ~SqliteHistoryStore() override;

    QString location() const override { return fileName_; }
    void write(const HistoryBatch &batch) override;
    void readResume(const QString &node) override;
    void query(const HistoryQuery &query) override;
    void close() override;

    // The longest slice of a query before it lets the event loop run (default 4 ms).
    void setSliceMs(int ms) { sliceMs_ = ms; }

private:
    struct Job;
    bool ensureOpen(QString *error);
    bool prepareSchema(QString *error);
    bool writeBatch(const HistoryBatch &batch, QString *error);
    void closeConnection();
    void runSlice();
    bool stepJob(Job &job);
    bool sumNextSpan(Job &job);
    bool listGaps(Job &job);
    bool listNextRows(Job &job);
    static bool failed(Job &job, QSqlQuery &statement);

    QString fileName_;
    QString connection_;
    Access access_;
    bool open_ = false;
    std::unique_ptr<SqliteStatements> statements_;
    std::deque<std::unique_ptr<Job>> jobs_;
    QTimer sliceTimer_;
    int sliceMs_ = 4;
};
