#pragma once

#include "history_store.h"

class QSqlDatabase;
class QSqlQuery;

// The record's tables and the statements over them, in the SQLite file and in a PostgreSQL
// database alike (docs/history.md shows them). The two engines differ in a few words only.
namespace HistorySchema {

enum class Dialect { Sqlite, Postgres };
enum class Outcome { Ready, Failed };
// The rows listed per statement of a query that lists rows.
inline constexpr int kRowPage = 4096;
// The version of the tables this program makes and reads.
inline constexpr int kVersion = 1;

// Creates the tables on first use (and sets SQLite's journal); fails for a schema of a later
// version. Safe when several programs start together on one database.
Outcome create(QSqlDatabase &db, Dialect dialect, QString *error);
// For reading only: the tables are there, of a version this program reads.
Outcome check(QSqlDatabase &db, Dialect dialect, QString *error);
bool prepare(QSqlQuery &query, const QString &sql, QString *error);

QString upsertRowSql(Dialect dialect);
QString upsertQuarterSql(Dialect dialect);
QString upsertStateSql();
QString readStateSql();
// Sums minute rows (not gaps) from the minutes or, for whole quarters, from the quarters.
QString sumSpanSql(bool quarters);
inline constexpr qint64 kQuarter = 900;
QString listGapsSql(Dialect dialect);
QString listRowsSql();

// The values of the statements above, by position.
void bindRow(QSqlQuery &query, const QString &node, const HistoryRow &row);
// The minute row's share of its quarter's sums.
void bindQuarter(QSqlQuery &query, const QString &node, const HistoryRow &row);
void bindState(QSqlQuery &query, const QString &node, const ResumePoint &point);
// The starting point a readStateSql() row holds.
ResumePoint stateFrom(const QSqlQuery &query);
HistoryRow rowFrom(const QSqlQuery &query);
// Adds a sum statement's result into t.
void addSpan(SpanTotals &t, const QSqlQuery &query);

} // namespace HistorySchema
