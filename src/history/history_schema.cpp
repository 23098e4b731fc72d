#include "history_schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

const char *const kCreateTables[] = {
    // One row per node and minute (or gap); times are Unix seconds, UTC.
    "CREATE TABLE IF NOT EXISTS minutes ("
    " node TEXT NOT NULL,"
    " start_utc INTEGER NOT NULL,"
    " end_utc INTEGER NOT NULL,"
    " gap INTEGER NOT NULL DEFAULT 0,"
    " packets INTEGER NOT NULL DEFAULT 0,"
    " ch1_ws INTEGER NOT NULL, ch2_ws INTEGER NOT NULL,"
    " ch1_generated_ws INTEGER NOT NULL, ch2_generated_ws INTEGER NOT NULL,"
    " ch1_min_w INTEGER, ch1_max_w INTEGER, ch2_min_w INTEGER, ch2_max_w INTEGER,"
    " min_volts REAL, max_volts REAL,"
    " PRIMARY KEY (node, start_utc)"
    ") WITHOUT ROWID",
    "CREATE INDEX IF NOT EXISTS minutes_gaps ON minutes (node, start_utc) WHERE gap > 0",
    // The minute rows (not the gaps) summed per quarter of an hour, written with them: a year's
    // view reads 35,000 of these instead of half a million minutes. Every local hour and every
    // zone's midnight falls on a quarter.
    "CREATE TABLE IF NOT EXISTS quarters ("
    " node TEXT NOT NULL,"
    " start_utc INTEGER NOT NULL,"
    " minutes INTEGER NOT NULL, packets INTEGER NOT NULL,"
    " ch1_ws INTEGER NOT NULL, ch2_ws INTEGER NOT NULL,"
    " ch1_generated_ws INTEGER NOT NULL, ch2_generated_ws INTEGER NOT NULL,"
    " ch1_min_w INTEGER, ch1_max_w INTEGER, ch2_min_w INTEGER, ch2_max_w INTEGER,"
    " min_volts REAL, max_volts REAL,"
    " PRIMARY KEY (node, start_utc)"
    ") WITHOUT ROWID",
    // Where each node's record stands: the next run starts from here.
    "CREATE TABLE IF NOT EXISTS node_state ("
    " node TEXT PRIMARY KEY,"
    " last_packet_ms INTEGER NOT NULL,"
    " ch1_ws INTEGER NOT NULL, ch2_ws INTEGER NOT NULL,"
    " ch1_generated_ws INTEGER NOT NULL, ch2_generated_ws INTEGER NOT NULL,"
    " origin_utc INTEGER NOT NULL,"
    " origin_ch1_ws INTEGER NOT NULL, origin_ch2_ws INTEGER NOT NULL,"
    " origin_ch1_generated_ws INTEGER NOT NULL, origin_ch2_generated_ws INTEGER NOT NULL"
    ")",
};

const QString kRowColumns = QStringLiteral(
    "start_utc, end_utc, gap, packets, ch1_ws, ch2_ws, ch1_generated_ws, ch2_generated_ws,"
    " ch1_min_w, ch1_max_w, ch2_min_w, ch2_max_w, min_volts, max_volts");

QString errorText(const QSqlError &e)
{
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

bool run(QSqlQuery &q, const QString &sql, QString *error)
{
    if (q.exec(sql))
        return true;
    *error = errorText(q.lastError());
    return false;
}

using HistorySchema::Dialect;

// The tables' text for an engine: SQLite's INTEGER holds 64 bits and REAL is a double, while
// PostgreSQL's INTEGER and REAL are 32 bits wide; WITHOUT ROWID is SQLite's alone.
QString tableSql(const char *sql, Dialect dialect)
{
    QString text = QString::fromLatin1(sql);
    if (dialect == Dialect::Postgres)
        text.replace(QLatin1String(" INTEGER"), QLatin1String(" BIGINT"))
            .replace(QLatin1String(" REAL"), QLatin1String(" DOUBLE PRECISION"))
            .remove(QLatin1String(" WITHOUT ROWID"));
    return text;
}

// The version stored in the database; 0 for one without the record's tables.
std::optional<int> storedVersion(QSqlQuery &q, Dialect dialect, QString *error)
{
    const QString exists = dialect == Dialect::Sqlite
        ? QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'schema_version'")
        : QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE"
                         " table_schema = current_schema() AND table_name = 'schema_version'");
    if (!run(q, exists, error) || !q.next())
        return std::nullopt;
    if (q.value(0).toInt() == 0)
        return 0;
    if (!run(q, QStringLiteral("SELECT coalesce(max(version), 0) FROM schema_version"), error)
        || !q.next())
        return std::nullopt;
    return q.value(0).toInt();
}

bool laterVersion(int version, QString *error)
{
    if (version <= HistorySchema::kVersion)
        return false;
    *error = QStringLiteral("the record has schema version %1, newer than this program's %2")
                 .arg(version)
                 .arg(HistorySchema::kVersion);
    return true;
}

// Holds off every other program making the tables until this transaction ends: SQLite by its
// write lock, PostgreSQL by an advisory lock of the record's own number.
bool lockForCreation(QSqlQuery &q, Dialect dialect, QString *error)
{
    if (dialect == Dialect::Sqlite)
        return run(q, QStringLiteral("BEGIN IMMEDIATE"), error);
    return run(q, QStringLiteral("BEGIN"), error)
           && run(q, QStringLiteral("SELECT pg_advisory_xact_lock(7206513221)"), error);
}

} // namespace

namespace HistorySchema {

Outcome create(QSqlDatabase &db, Dialect dialect, QString *error)
{
    QSqlQuery q(db);
    if (dialect == Dialect::Sqlite
        && (!run(q, QStringLiteral("PRAGMA journal_mode=WAL"), error)
            || !run(q, QStringLiteral("PRAGMA synchronous=NORMAL"), error)))
        return Outcome::Failed;
    // A database that has its tables is only read here, so that another program's lock on it
    // does not keep the record from reading where it stands.
    std::optional<int> version = storedVersion(q, dialect, error);
    if (!version || laterVersion(*version, error))
        return Outcome::Failed;
    if (*version > 0)
        return Outcome::Ready;
    if (!lockForCreation(q, dialect, error))
        return Outcome::Failed;
    version = storedVersion(q, dialect, error); // another program may have made them meanwhile
    bool ok = version.has_value();
    if (ok && *version == 0) {
        ok = run(q, QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"), error);
        for (const char *sql : kCreateTables)
            ok = ok && run(q, tableSql(sql, dialect), error);
        ok = ok && run(q, QStringLiteral("INSERT INTO schema_version VALUES (%1)")
                              .arg(HistorySchema::kVersion), error);
    }
    if (!ok || !run(q, QStringLiteral("COMMIT"), error)) {
        q.exec(QStringLiteral("ROLLBACK"));
        return Outcome::Failed;
    }
    return Outcome::Ready;
}

Outcome check(QSqlDatabase &db, Dialect dialect, QString *error)
{
    QSqlQuery q(db);
    const std::optional<int> version = storedVersion(q, dialect, error);
    if (!version)
        return Outcome::Failed;
    if (*version == 0) {
        *error = QStringLiteral("%1 holds no energy record").arg(db.databaseName());
        return Outcome::Failed;
    }
    return laterVersion(*version, error) ? Outcome::Failed : Outcome::Ready;
}

bool prepare(QSqlQuery &query, const QString &sql, QString *error)
{
    if (query.prepare(sql))
        return true;
    *error = errorText(query.lastError());
    return false;
}

namespace {
// What adding a row to a stored one does to the columns they share. The stored row's columns
// are named with their table, as PostgreSQL wants them.
struct Merge {
    Dialect dialect;
    QString table;
    QString least(const char *c) const { return extreme(c, "min", "LEAST"); }
    QString most(const char *c) const { return extreme(c, "max", "GREATEST"); }
    QString add(const char *c) const
    {
        return QStringLiteral("%1 = %2.%1 + excluded.%1").arg(QLatin1String(c), table);
    }
    // SQLite's min() of a null is null, PostgreSQL's LEAST() passes over it.
    QString extreme(const char *c, const char *sqlite, const char *postgres) const
    {
        if (dialect == Dialect::Postgres)
            return QStringLiteral("%1 = %3(%2.%1, excluded.%1)")
                .arg(QLatin1String(c), table, QLatin1String(postgres));
        return QStringLiteral("%1 = %3(coalesce(%2.%1, excluded.%1), coalesce(excluded.%1, %2.%1))")
            .arg(QLatin1String(c), table, QLatin1String(sqlite));
    }
    QStringList measures() const
    {
        return {add("packets"), add("ch1_ws"), add("ch2_ws"), add("ch1_generated_ws"),
                add("ch2_generated_ws"), least("ch1_min_w"), most("ch1_max_w"), least("ch2_min_w"),
                most("ch2_max_w"), least("min_volts"), most("max_volts")};
    }
};
} // namespace

QString upsertRowSql(Dialect dialect)
{
    const Merge m{dialect, QStringLiteral("minutes")};
    const QStringList updates = QStringList{m.most("end_utc"), m.most("gap")} + m.measures();
    return QStringLiteral("INSERT INTO minutes (node, %1) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
                          " ON CONFLICT (node, start_utc) DO UPDATE SET %2")
        .arg(kRowColumns, updates.join(QStringLiteral(", ")));
}

QString upsertQuarterSql(Dialect dialect)
{
    const Merge m{dialect, QStringLiteral("quarters")};
    const QStringList updates = QStringList{m.add("minutes")} + m.measures();
    return QStringLiteral("INSERT INTO quarters (node, start_utc, minutes, packets, ch1_ws, ch2_ws,"
                          " ch1_generated_ws, ch2_generated_ws, ch1_min_w, ch1_max_w, ch2_min_w,"
                          " ch2_max_w, min_volts, max_volts) VALUES (?,?,1,?,?,?,?,?,?,?,?,?,?,?)"
                          " ON CONFLICT (node, start_utc) DO UPDATE SET %1")
        .arg(updates.join(QStringLiteral(", ")));
}

QString upsertStateSql()
{
    return QStringLiteral(
        "INSERT INTO node_state (node, last_packet_ms, ch1_ws, ch2_ws, ch1_generated_ws,"
        " ch2_generated_ws, origin_utc, origin_ch1_ws, origin_ch2_ws, origin_ch1_generated_ws,"
        " origin_ch2_generated_ws) VALUES (?,?,?,?,?,?,?,?,?,?,?)"
        " ON CONFLICT (node) DO UPDATE SET last_packet_ms = excluded.last_packet_ms,"
        " ch1_ws = excluded.ch1_ws, ch2_ws = excluded.ch2_ws,"
        " ch1_generated_ws = excluded.ch1_generated_ws, ch2_generated_ws = excluded.ch2_generated_ws,"
        " origin_utc = excluded.origin_utc, origin_ch1_ws = excluded.origin_ch1_ws,"
        " origin_ch2_ws = excluded.origin_ch2_ws,"
        " origin_ch1_generated_ws = excluded.origin_ch1_generated_ws,"
        " origin_ch2_generated_ws = excluded.origin_ch2_generated_ws");
}

QString readStateSql()
{
    return QStringLiteral(
        "SELECT last_packet_ms, ch1_ws, ch2_ws, ch1_generated_ws, ch2_generated_ws, origin_utc,"
        " origin_ch1_ws, origin_ch2_ws, origin_ch1_generated_ws, origin_ch2_generated_ws"
        " FROM node_state WHERE node = ?");
}

QString sumSpanSql(bool quarters)
{
    const QString rows = quarters ? QStringLiteral("coalesce(sum(minutes), 0)") : QStringLiteral("count(*)");
    return QStringLiteral(
               "SELECT CAST(%1 AS BIGINT), CAST(coalesce(sum(packets), 0) AS BIGINT),"
               " CAST(coalesce(sum(ch1_ws), 0) AS BIGINT), CAST(coalesce(sum(ch2_ws), 0) AS BIGINT),"
               " CAST(coalesce(sum(ch1_generated_ws), 0) AS BIGINT),"
               " CAST(coalesce(sum(ch2_generated_ws), 0) AS BIGINT), min(ch1_min_w), max(ch1_max_w), min(ch2_min_w),"
               " max(ch2_max_w), min(min_volts), max(max_volts)"
               " FROM %2 WHERE node = ? AND start_utc >= ? AND start_utc < ?%3")
        .arg(rows, quarters ? QStringLiteral("quarters") : QStringLiteral("minutes"),
             quarters ? QString() : QStringLiteral(" AND gap = 0"));
}

QString listGapsSql(Dialect dialect)
{
    // The gaps' own index: SQLite's planner would walk the whole record up to the period's end.
    return QStringLiteral("SELECT %1 FROM minutes%2 WHERE node = ? AND gap > 0"
                          " AND start_utc < ? AND end_utc > ? ORDER BY start_utc")
        .arg(kRowColumns, dialect == Dialect::Sqlite ? QStringLiteral(" INDEXED BY minutes_gaps")
                                                     : QString());
}

QString listRowsSql()
{
    return QStringLiteral("SELECT %1 FROM minutes WHERE node = ? AND start_utc >= ?"
                          " AND start_utc < ? ORDER BY start_utc LIMIT ?")
        .arg(kRowColumns);
}

void addSpan(SpanTotals &t, const QSqlQuery &q)
{
    const int packets = q.value(1).toInt();
    if (packets > 0) {
        const bool first = t.packets == 0;
        const auto lower = [first](auto a, auto b) { return first ? b : std::min(a, b); };
        const auto upper = [first](auto a, auto b) { return first ? b : std::max(a, b); };
        t.minWatts = {lower(t.minWatts[0], q.value(6).toInt()), lower(t.minWatts[1], q.value(8).toInt())};
        t.maxWatts = {upper(t.maxWatts[0], q.value(7).toInt()), upper(t.maxWatts[1], q.value(9).toInt())};
        t.minVolts = lower(t.minVolts, q.value(10).toDouble());
        t.maxVolts = upper(t.maxVolts, q.value(11).toDouble());
    }
    t.rows += q.value(0).toInt();
    t.packets += packets;
    for (int i = 0; i < 4; ++i)
        t.energy[std::size_t(i)] += q.value(2 + i).toLongLong();
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

namespace {
// A row's packets, energies and extremes from position first on; no extremes without packets.
void bindMeasures(QSqlQuery &q, int first, const HistoryRow &r)
{
    const bool measured = r.packets > 0;
    const auto orNull = [measured](auto v) { return measured ? QVariant(v) : QVariant(); };
    const QVariant values[] = {r.packets, r.energy[0], r.energy[1], r.energy[2], r.energy[3],
                               orNull(r.minWatts[0]), orNull(r.maxWatts[0]), orNull(r.minWatts[1]),
                               orNull(r.maxWatts[1]), orNull(r.minVolts), orNull(r.maxVolts)};
    for (const QVariant &v : values)
        q.bindValue(first++, v);
}
} // namespace

void bindRow(QSqlQuery &q, const QString &node, const HistoryRow &r)
{
    q.bindValue(0, node);
    q.bindValue(1, r.start);
    q.bindValue(2, r.end);
    q.bindValue(3, int(r.kind));
    bindMeasures(q, 4, r);
}

void bindQuarter(QSqlQuery &q, const QString &node, const HistoryRow &r)
{
    q.bindValue(0, node);
    q.bindValue(1, r.start - r.start % HistorySchema::kQuarter);
    bindMeasures(q, 2, r);
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

ResumePoint stateFrom(const QSqlQuery &q)
{
    ResumePoint p;
    p.lastPacketMs = q.value(0).toLongLong();
    for (int i = 0; i < 4; ++i)
        p.counters[std::size_t(i)] = q.value(1 + i).toLongLong();
    p.originStart = q.value(5).toLongLong();
    for (int i = 0; i < 4; ++i)
        p.origin[std::size_t(i)] = q.value(6 + i).toLongLong();
    return p;
}

} // namespace HistorySchema
