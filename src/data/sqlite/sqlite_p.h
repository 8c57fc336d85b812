#pragma once

// The file engine's own pieces, shared by its files and seen nowhere else: the
// rows read and written straight through SQLite (sqliterows.cpp), and the
// statements a file is made and kept with (sqliteschema.cpp). The dialect
// (sqlitedialect.cpp) answers from them.
#include "data/base/outcome.h"
#include "data/engine/dialect.h"
#include "data/sqlite/sqlitemessages.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <memory>

#include <sqlite3.h>

namespace db::fileinternal {

// --- Rows (sqliterows.cpp)
// The SQLite handle under a connection of Qt's driver; null when there is none.
sqlite3 *handleOf(const QSqlDatabase &database);
// A statement's rows, read one at a time, on the handle.
std::unique_ptr<RowStream> streamOf(sqlite3 *handle, const QString &sql);
// Rows written into a table's columns through one prepared statement, on the handle.
std::unique_ptr<RowSink> sinkOf(sqlite3 *handle, const QString &table, const QStringList &columns);
// The settings of a file while a tool fills it with whole tables, and once a new one is filled.
bool prepareBulkWrite(QSqlDatabase &database, bool newDatabase, QSqlError *error);
bool finishNewDatabase(QSqlDatabase &database, QSqlError *error);

// --- Tables and rules (sqliteschema.cpp)
QStringList schemaStatements();
QStringList trailStatements();
QStringList trailTriggers();
QStringList trailRuleStatements(bool enforced);
QStringList ruleStatements(bool enforced);
// The supervisors', settings' and passbook's tables where missing.
Outcome makeSupervision(QSqlDatabase &database);

} // namespace db::fileinternal
