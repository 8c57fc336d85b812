#pragma once

#include <QString>
#include <QStringList>

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
// Stops the server at once, as a power cut would (pg_ctl stop -m immediate: no
// checkpoint, what is not on disk is lost), and starts it again.
void crash();

// The server's socket file, for a relay in front of it (relay.h).
QString socketFile();
// Defines (or redefines) a service of the tests' service file: the tests'
// database and role, and these settings ("host=127.0.0.1", ...). Returns its name.
QString defineService(const QString &name, const QStringList &settings);

// A second server for the tests of TLS, started when first needed: it listens on
// TCP at 127.0.0.1 only (a port of its own), serves TLS with certificates the
// test makes with openssl in its folder, and logs every connection
// (log_connections). Its role, password and database are those of the first
// server, with the program's tables.
namespace tls {
enum class Certificate {
    Trusted,        // signed by the tests' CA, for localhost and 127.0.0.1
    OtherAuthority, // the same names, signed by another CA
    OtherName,      // signed by the tests' CA, for another host name only
    None,           // ssl = off
};
// Serves with that certificate from the next connection on.
void serve(Certificate certificate);
// The service that reaches it as a counter reaches its branch's server: host
// localhost, sslmode=verify-full with the tests' CA, channel_binding=require.
QString service();
// The settings of that service, to define variants of it.
QStringList serviceSettings();
// The tests' CA certificate.
QString authorityFile();
// What the server has logged since it started.
QString log();
} // namespace tls

} // namespace testserver
