#pragma once

#include "history_settings.h"
#include "sql_history_store.h"

#include <QThread>

#include <deque>
#include <memory>

class HistorySpool;

// The worker of a ServerHistoryStore: lives in its thread, owns the connection to the server
// (made in that thread, as Qt Sql wants) and the batches on their way there. A batch is kept in
// memory, up to memoryRows rows, then with every other one in the local SQLite file's outbox;
// they reach the server in the order they came, the oldest first, each once.
class ServerWriter : public QObject {
    Q_OBJECT
public:
    ServerWriter(const HistoryServer &server, const QString &spoolFile,
                 SqlHistoryStore::Access access, int memoryRows);
    ~ServerWriter() override;

    // In the thread, before anything else: what the last run left in the outbox is sent.
    void begin();
    void take(const HistoryBatch &batch);
    void readResume(const QString &node);
    void query(const HistoryQuery &query);
    // Sends what it can, keeps the rest in the outbox for the next run, closes the connections.
    void end();

signals:
    void written(const WriteOutcome &outcome);
    void resumeRead(const QString &node, const std::optional<ResumePoint> &point,
                    const QString &error);
    void answered(const HistoryAnswer &answer);
    void troubleChanged(const QString &error);

private:
    bool drain();
    void spill();
    void setTrouble(const QString &error);

    HistoryServer address_;
    QString spoolFile_;
    SqlHistoryStore::Access access_;
    int memoryRows_;
    std::unique_ptr<SqlHistoryStore> server_;
    std::unique_ptr<HistorySpool> spool_;
    std::deque<HistoryBatch> memory_;
    int heldRows_ = 0;
    QString trouble_;
    bool troubled_ = false;
};

// The record in a PostgreSQL database, which may be across a slow or broken network: all the
// work with it happens in a worker thread, so that neither the window nor the packets ever wait
// for the server. This is the program's one exception to its rule of a single thread: a Qt Sql
// connection works only in the thread that made it, and a network database can block any call
// for as long as the network likes. The worker has its own connection and takes batches,
// queries and reads through queued calls; every answer comes back as a queued signal.
class ServerHistoryStore final : public HistoryStore {
    Q_OBJECT
public:
    static constexpr int kMemoryRows = 1440;

    // spoolFile: where batches wait when the server is away and memory holds memoryRows rows
    // (empty when reading only).
    ServerHistoryStore(const HistoryServer &server, const QString &spoolFile,
                       SqlHistoryStore::Access access = SqlHistoryStore::Access::ReadWrite,
                       int memoryRows = kMemoryRows, QObject *parent = nullptr);
    ~ServerHistoryStore() override;

    QString location() const override { return location_; }
    bool keepsRows() const override { return true; }
    void write(const HistoryBatch &batch) override;
    void readResume(const QString &node) override;
    void query(const HistoryQuery &query) override;
    // Waits for the worker to finish what it was handed: at most about the connect timeout
    // for each attempt still queued when the server does not answer.
    void close() override;

private:
    QString location_;
    QThread thread_;
    ServerWriter *writer_;
    bool closed_ = false;
};

// The store that the settings name: the SQLite file or a PostgreSQL database; null with the
// reason in problem when the settings name none that can be used.
std::unique_ptr<HistoryStore> openHistoryStore(const HistorySettings &settings,
                                               SqlHistoryStore::Access access, QString *problem);
