#pragma once

#include "history_rows.h"

#include <optional>
#include <utility>

// Batches on their way to a database server, kept in the local SQLite file (table outbox) while
// the server cannot take them: in the order they came, across restarts of the program. Lives in
// the thread that uses it: its connection is made there.
class HistorySpool {
public:
    explicit HistorySpool(const QString &fileName);
    ~HistorySpool();
    HistorySpool(const HistorySpool &) = delete;
    HistorySpool &operator=(const HistorySpool &) = delete;

    const QString &fileName() const { return fileName_; }
    // The batches kept, counted when the spool is first opened; 0 when there is no file.
    qint64 size();
    bool append(const QList<HistoryBatch> &batches, QString *error);
    // The oldest batch kept and its number for remove().
    std::optional<std::pair<qint64, HistoryBatch>> first(QString *error);
    bool remove(qint64 number, QString *error);
    // The starting point of the node's latest batch kept.
    std::optional<ResumePoint> latest(const QString &node);

private:
    bool open(bool create, QString *error);

    QString fileName_;
    QString connection_;
    bool open_ = false;
    qint64 size_ = -1; // not counted yet
};

QByteArray encodeBatch(const HistoryBatch &batch);
std::optional<HistoryBatch> decodeBatch(const QByteArray &bytes);
