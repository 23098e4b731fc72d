#include "server_history_store.h"

#include "history_logging.h"
#include "history_spool.h"

ServerWriter::ServerWriter(const HistoryServer &server, const QString &spoolFile,
                           SqlHistoryStore::Access access, int memoryRows)
    : address_(server), spoolFile_(spoolFile), access_(access), memoryRows_(memoryRows)
{
}

ServerWriter::~ServerWriter() = default;

void ServerWriter::begin()
{
    server_ = std::make_unique<SqlHistoryStore>(address_, access_);
    connect(server_.get(), &HistoryStore::answered, this, &ServerWriter::answered);
    if (!spoolFile_.isEmpty())
        spool_ = std::make_unique<HistorySpool>(spoolFile_);
    if (spool_ && spool_->size() > 0) {
        qCInfo(lcHistory) << spool_->size() << "batches wait in" << spoolFile_;
        drain();
    }
}

void ServerWriter::take(const HistoryBatch &batch)
{
    memory_.push_back(batch);
    heldRows_ += int(batch.rows.size());
    emit written(WriteOutcome{int(batch.rows.size()), true, QString(), true});
    if (!drain() && heldRows_ > memoryRows_)
        spill();
}

// Sends the batches kept, the outbox's first (they are older); false when one failed.
bool ServerWriter::drain()
{
    for (;;) {
        QString error;
        std::optional<std::pair<qint64, HistoryBatch>> spooled;
        if (spool_ && spool_->size() > 0 && !(spooled = spool_->first(&error)) && !error.isEmpty()) {
            setTrouble(QStringLiteral("%1: %2").arg(spool_->fileName(), error));
            return false;
        }
        if (!spooled && memory_.empty())
            break;
        const HistoryBatch &batch = spooled ? spooled->second : memory_.front();
        if (!server_->writeNow(batch, &error)) {
            setTrouble(error);
            return false;
        }
        if (spooled) {
            // Should the removal fail, the batch is offered again and found stored already.
            if (!spool_->remove(spooled->first, &error))
                qCWarning(lcHistory) << "outbox:" << error;
        } else {
            heldRows_ -= int(memory_.front().rows.size());
            memory_.pop_front();
        }
    }
    setTrouble(QString());
    return true;
}

void ServerWriter::spill()
{
    if (!spool_ || memory_.empty())
        return;
    QString error;
    if (!spool_->append(QList<HistoryBatch>(memory_.begin(), memory_.end()), &error)) {
        // The rows stay in memory, and the next batch tries the file again.
        qCWarning(lcHistory) << "cannot keep rows in" << spool_->fileName() << error;
        return;
    }
    memory_.clear();
    heldRows_ = 0;
}

void ServerWriter::setTrouble(const QString &error)
{
    if (error.isEmpty() == !troubled_)
        return;
    troubled_ = !error.isEmpty();
    qCInfo(lcHistory) << "server" << (troubled_ ? "failing:" : "works again") << error;
    emit troubleChanged(error);
}

void ServerWriter::readResume(const QString &node)
{
    // Batches on their way hold the node's latest starting point.
    for (auto it = memory_.rbegin(); it != memory_.rend(); ++it)
        if (it->node == node) {
            emit resumeRead(node, it->resume, QString());
            return;
        }
    if (spool_)
        if (const std::optional<ResumePoint> point = spool_->latest(node)) {
            emit resumeRead(node, point, QString());
            return;
        }
    std::optional<ResumePoint> point;
    QString error;
    const bool ok = server_->resumeNow(node, &point, &error);
    if (access_ == SqlHistoryStore::Access::ReadWrite)
        setTrouble(ok ? QString() : error);
    emit resumeRead(node, point, error);
}

void ServerWriter::query(const HistoryQuery &query)
{
    server_->query(query);
}

void ServerWriter::end()
{
    if (!server_)
        return;
    if (!drain())
        spill();
    if (!memory_.empty())
        qCWarning(lcHistory) << memory_.size() << "batches could not be kept";
    server_->close();
    server_.reset();
    spool_.reset();
}

ServerHistoryStore::ServerHistoryStore(const HistoryServer &server, const QString &spoolFile,
                                       SqlHistoryStore::Access access, int memoryRows,
                                       QObject *parent)
    : HistoryStore(parent),
      location_(server.location()),
      writer_(new ServerWriter(server, spoolFile, access, memoryRows))
{
    thread_.setObjectName(QStringLiteral("orvo-history-server"));
    writer_->moveToThread(&thread_);
    // The worker's signals cross to this thread queued.
    connect(writer_, &ServerWriter::written, this, &HistoryStore::written);
    connect(writer_, &ServerWriter::resumeRead, this, &HistoryStore::resumeRead);
    connect(writer_, &ServerWriter::answered, this, &HistoryStore::answered);
    connect(writer_, &ServerWriter::troubleChanged, this, &HistoryStore::troubleChanged);
    thread_.start();
    QMetaObject::invokeMethod(writer_, &ServerWriter::begin, Qt::QueuedConnection);
}

ServerHistoryStore::~ServerHistoryStore()
{
    close();
    delete writer_;
}

void ServerHistoryStore::write(const HistoryBatch &batch)
{
    QMetaObject::invokeMethod(writer_, [w = writer_, batch] { w->take(batch); }, Qt::QueuedConnection);
}

void ServerHistoryStore::readResume(const QString &node)
{
    QMetaObject::invokeMethod(writer_, [w = writer_, node] { w->readResume(node); }, Qt::QueuedConnection);
}

void ServerHistoryStore::query(const HistoryQuery &query)
{
    QMetaObject::invokeMethod(writer_, [w = writer_, query] { w->query(query); }, Qt::QueuedConnection);
}

void ServerHistoryStore::close()
{
    if (closed_)
        return;
    closed_ = true;
    QMetaObject::invokeMethod(writer_, &ServerWriter::end, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

std::unique_ptr<HistoryStore> openHistoryStore(const HistorySettings &settings,
                                               SqlHistoryStore::Access access, QString *problem)
{
    if (!settings.problem.isEmpty()) {
        *problem = settings.problem;
        return nullptr;
    }
    if (!settings.server)
        return std::make_unique<SqlHistoryStore>(settings.database, access);
    const bool reading = access == SqlHistoryStore::Access::ReadOnly;
    return std::make_unique<ServerHistoryStore>(*settings.server,
                                                reading ? QString() : settings.localFile, access);
}
