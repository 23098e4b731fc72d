#pragma once

#include "history_store.h"

class QSqlDatabase;
class QSqlQuery;

// The record's tables in SQLite and the statements over them (docs/history.md shows them).
namespace SqliteSchema {

enum class Outcome { Ready, Failed };
// The rows listed per statement of a query that lists rows.
inline constexpr int kRowPage = 4096;
// The version of the tables this program makes and reads.
inline constexpr int kVersion = 1;

// Sets the journal and creates the tables on first use; fails for a schema of a later version.
Outcome create(QSqlDatabase &db, QString *error);
// For reading only: the tables are there, of a version this program reads.
Outcome check(QSqlDatabase &db, QString *error);
bool prepare(QSqlQuery &query, const QString &sql, QString *error);

QString upsertRowSql();
QString upsertStateSql();
QString readStateSql();
QString sumSpanSql();
QString listGapsSql();
QString listRowsSql();

SpanTotals spanFrom(const QSqlQuery &query);

} // namespace SqliteSchema
