#pragma once

#include "dialect.h"

// The dialect of a database on a PostgreSQL server, reached through a libpq
// service: rows keyed by a hidden identity column, writes that must not
// interleave serialised by advisory locks, and connections that may be lost and
// are opened again. libpq itself is used only in postgresdialect.cpp.
namespace db {

const Dialect &postgresDialect();

// Opens a pooled connection on the database of a libpq service (or takes a kept one).
bool openServer(const QString &service, QString *connectionName, QString *error);

} // namespace db
