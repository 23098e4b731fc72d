#pragma once

#include "history_rows.h"

#include <QList>
#include <QObject>

#include <optional>
#include <utility>

// The minute rows of one span of time, summed by the store.
struct SpanTotals {
    Counters energy{};
    int rows = 0;
    int packets = 0;
    // Over the span's packets; meaningless when packets is 0.
    std::array<qint32, 2> minWatts{};
    std::array<qint32, 2> maxWatts{};
    double minVolts = 0;
    double maxVolts = 0;
};

// What a reader asks of the record of one node. Times are Unix seconds (UTC).
struct HistoryQuery {
    quint64 id = 0;
    QString node;
    // The minute rows (not the gaps) whose start falls in each [first, second) are summed.
    QList<std::pair<qint64, qint64>> spans;
    // The gap rows that overlap [from, to) are listed whole; with listRows, every row that
    // starts in it, in order of time.
    qint64 from = 0;
    qint64 to = 0;
    bool listRows = false;
};

struct HistoryAnswer {
    quint64 id = 0;
    bool ok = true;
    QString error;
    QList<SpanTotals> spans; // in the query's order
    QList<HistoryRow> gaps;
    QList<HistoryRow> rows;
};

// Where the record is kept: one small interface for every database the record may live in.
// Rows go in as values and every outcome comes back as a signal, so that a store may do its
// work on the spot (the SQLite file, a few milliseconds a call) or in a worker thread of its
// own that answers through queued signals (a database across a network).
class HistoryStore : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~HistoryStore() override = default;

    // Takes every batch into a queue of its own that sees it to the database (written() then
    // says kept): the caller need not wait for written() before handing the next one.
    virtual bool keepsRows() const { return false; }
    // Where the record lives, for messages: a file name or a server's address.
    virtual QString location() const = 0;
    // Writes the rows and the starting point in one transaction; a row whose minute is already
    // stored is added to it. Answered by written(). After a failure nothing of the batch is
    // kept, and the caller offers it again.
    virtual void write(const HistoryBatch &batch) = 0;
    // Reads the starting point the node's record ended with; answered by resumeRead().
    virtual void readResume(const QString &node) = 0;
    // Answered by answered(), with the query's id; a long query may take several turns of the
    // event loop.
    virtual void query(const HistoryQuery &query) = 0;
    // The program ends: whatever was handed over is written before this returns.
    virtual void close() = 0;

signals:
    void written(const WriteOutcome &outcome);
    void resumeRead(const QString &node, const std::optional<ResumePoint> &point,
                    const QString &error);
    void answered(const HistoryAnswer &answer);
    // From a store that keeps the rows itself until they reach the database (written() says
    // kept): writing began failing, with the database's words, or works again (empty).
    void troubleChanged(const QString &error);
};

Q_DECLARE_METATYPE(HistoryAnswer)
