#pragma once

#include "data/engine/dialect.h"

// The dialect of a SQLite file: one writer at a time, rows keyed by rowid, every
// write committed durably (synchronous=FULL, the write-ahead log where it can be had).
namespace db {

const Dialect &sqliteDialect();

// Opens a SQLite file as a pooled connection. Without allowCreate the file must
// exist and be a SQLite database; the connection is refused when it would not
// write durably.
bool openSqliteFile(const QString &file, bool allowCreate, QString *connectionName, QString *error);

} // namespace db
