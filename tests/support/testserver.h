#pragma once

#include <QString>

// A throwaway PostgreSQL server for the tests of one program, started when a
// test first needs it: initdb and pg_ctl on a temporary folder, a unix socket in
// it and no network port, run as the postgres system user when the tests run as
// root (PostgreSQL refuses to run as root). A role and a database for the tests,
// with a random password that only a temporary .pgpass holds, and a temporary
// pg_service.conf naming them (PGSERVICEFILE, PGPASSFILE). The server is stopped
// and its folder removed when the program ends; a watchdog does the same if the
// program dies first. Nothing needs to run before, nothing is left running after.
namespace testserver {

// True when the tests of this run use the server (SIMPARO_TEST_ENGINE=postgresql).
bool wanted();
// Why the server cannot be started here (PostgreSQL's programs, its system user or
// Qt's driver missing); empty when it can.
QString unavailable();
// The service name of the tests' database; the server runs when this returns.
QString service();
// The connection text that points the program at that service (whether the server runs or not).
QString connectionText();
// Empties the tests' database (no tables, no views).
void clearDatabase();

// Stops the server (as when it is shut down or lost) and starts it again; for
// the tests of server faults.
void stop();
void start();

} // namespace testserver
