#include "history_spool.h"

#include "history_logging.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString errorText(const QSqlQuery &q)
{
    const QSqlError e = q.lastError();
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

void put(QDataStream &s, const Counters &c)
{
    for (qint64 v : c)
        s << v;
}

void get(QDataStream &s, Counters &c)
{
    for (qint64 &v : c)
        s >> v;
}

constexpr quint8 kFormat = 1;

} // namespace

QByteArray encodeBatch(const HistoryBatch &b)
{
    QByteArray bytes;
    QDataStream s(&bytes, QIODevice::WriteOnly);
    s << kFormat << b.node << b.resume.lastPacketMs;
    put(s, b.resume.counters);
    s << b.resume.originStart;
    put(s, b.resume.origin);
    s << qint32(b.rows.size());
    for (const HistoryRow &r : b.rows) {
        s << r.start << r.end << qint32(r.kind) << qint32(r.packets);
        put(s, r.energy);
        s << r.minWatts[0] << r.minWatts[1] << r.maxWatts[0] << r.maxWatts[1] << r.minVolts << r.maxVolts;
    }
    return bytes;
}

std::optional<HistoryBatch> decodeBatch(const QByteArray &bytes)
{
    QDataStream s(bytes);
    quint8 format = 0;
    HistoryBatch b;
    qint32 rows = 0;
    s >> format >> b.node >> b.resume.lastPacketMs;
    get(s, b.resume.counters);
    s >> b.resume.originStart;
    get(s, b.resume.origin);
    s >> rows;
    if (format != kFormat || rows < 0 || s.status() != QDataStream::Ok)
        return std::nullopt;
    for (qint32 i = 0; i < rows && s.status() == QDataStream::Ok; ++i) {
        HistoryRow r;
        qint32 kind = 0;
        s >> r.start >> r.end >> kind >> r.packets;
        r.kind = RowKind(kind);
        get(s, r.energy);
        s >> r.minWatts[0] >> r.minWatts[1] >> r.maxWatts[0] >> r.maxWatts[1] >> r.minVolts >> r.maxVolts;
        b.rows.append(r);
    }
    if (s.status() != QDataStream::Ok)
        return std::nullopt;
    return b;
}

HistorySpool::HistorySpool(const QString &fileName)
    : fileName_(fileName), connection_(QStringLiteral("orvo-spool-%1").arg(quintptr(this), 0, 16))
{
}

HistorySpool::~HistorySpool()
{
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

bool HistorySpool::open(bool create, QString *error)
{
    if (open_)
        return true;
    if (!create && !QFileInfo::exists(fileName_))
        return false;
    QDir().mkpath(QFileInfo(fileName_).absolutePath());
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(fileName_);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=50"));
    QSqlQuery q(db);
    if (!db.open()
        || !q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS outbox (number INTEGER PRIMARY KEY"
                                  " AUTOINCREMENT, node TEXT NOT NULL, batch BLOB NOT NULL)"))
        || !q.exec(QStringLiteral("SELECT count(*) FROM outbox")) || !q.next()) {
        *error = db.isOpen() ? errorText(q) : db.lastError().text();
        db.close();
        return false;
    }
    size_ = q.value(0).toLongLong();
    open_ = true;
    return true;
}

qint64 HistorySpool::size()
{
    QString error;
    if (size_ < 0 && !open(false, &error))
        size_ = 0; // no file, or none to read: nothing kept
    return size_;
}

bool HistorySpool::append(const QList<HistoryBatch> &batches, QString *error)
{
    if (!open(true, error))
        return false;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    bool ok = db.transaction()
              && q.prepare(QStringLiteral("INSERT INTO outbox (node, batch) VALUES (?, ?)"));
    for (qsizetype i = 0; ok && i < batches.size(); ++i) {
        q.bindValue(0, batches[i].node);
        q.bindValue(1, encodeBatch(batches[i]));
        ok = q.exec();
    }
    if (!ok || !db.commit()) {
        *error = q.lastError().isValid() ? errorText(q) : db.lastError().text();
        db.rollback();
        return false;
    }
    size_ += batches.size();
    qCInfo(lcHistory) << "spooled" << batches.size() << "batches to" << fileName_;
    return true;
}

std::optional<std::pair<qint64, HistoryBatch>> HistorySpool::first(QString *error)
{
    if (size() == 0 || !open(false, error))
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec(QStringLiteral("SELECT number, batch FROM outbox ORDER BY number LIMIT 1"))) {
        *error = errorText(q);
        return std::nullopt;
    }
    if (!q.next()) {
        size_ = 0;
        return std::nullopt;
    }
    const qint64 number = q.value(0).toLongLong();
    std::optional<HistoryBatch> batch = decodeBatch(q.value(1).toByteArray());
    if (!batch) {
        // Unreadable (written by another version): set aside rather than block the rest.
        qCWarning(lcHistory) << "outbox entry" << number << "unreadable; dropped";
        remove(number, error);
        return first(error);
    }
    return std::pair{number, *batch};
}

bool HistorySpool::remove(qint64 number, QString *error)
{
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("DELETE FROM outbox WHERE number = ?"));
    q.bindValue(0, number);
    if (!q.exec()) {
        *error = errorText(q);
        return false;
    }
    size_ = std::max<qint64>(0, size_ - 1);
    return true;
}

std::optional<ResumePoint> HistorySpool::latest(const QString &node)
{
    QString error;
    if (size() == 0 || !open(false, &error))
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT batch FROM outbox WHERE node = ? ORDER BY number DESC LIMIT 1"));
    q.bindValue(0, node);
    if (!q.exec() || !q.next())
        return std::nullopt;
    const std::optional<HistoryBatch> batch = decodeBatch(q.value(0).toByteArray());
    return batch ? std::optional(batch->resume) : std::nullopt;
}
