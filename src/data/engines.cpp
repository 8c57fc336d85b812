// The engines every program of SIMPARO knows: a SQLite file (the first, the
// engine of a connection text that names none) and a PostgreSQL server. This file
// is compiled into each program that links the data layer, so that both are
// registered before main() and the engine libraries are linked in.
#include "data/postgres/postgresdialect.h"
#include "data/sqlite/sqlitedialect.h"

#include <QtGlobal>

namespace {

void registerEngines()
{
    db::registerDialect(db::sqliteDialect());
    db::registerDialect(db::postgresDialect());
}
Q_CONSTRUCTOR_FUNCTION(registerEngines)

} // namespace
