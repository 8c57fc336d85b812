#pragma once

#include "data/engine/dialect.h"
#include "data/engine/roles.h"

#include <optional>

// The dialect of a database on a PostgreSQL server, reached through a libpq
// service: rows keyed by a hidden identity column, writes that must not
// interleave serialised by advisory locks, and connections that may be lost and
// are opened again. libpq itself is used only in postgresdialect.cpp.
namespace db {

// The advisory lock of the audit trail, taken by every append (one key of 64 bits;
// the locks of writeLock() are pairs of 32-bit keys, a space of their own).
constexpr qint64 kTrailLock = Q_INT64_C(0x5349414d504a4a4b);

const Dialect &postgresDialect();

// Opens a pooled connection on the database of a libpq service (or takes a kept
// one): as the operator who logged in on it (adoptServerLogin()), else as the
// role the service names.
bool openServer(const QString &service, QString *connectionName, QString *error);

// Opens a pooled connection as the role the service names, whoever logged in.
bool openServerAsService(const QString &service, QString *connectionName, QString *error);
// Opens a pooled connection that logs in as this role with this password.
bool openServerAs(const QString &service, const ServerLogin &login, QString *connectionName, QString *error);
// From now on every connection to the service (but those of openServerAsService())
// logs in as this role; kept in memory while the program runs.
void adoptServerLogin(const QString &service, const ServerLogin &login);
// Forgets the login adopted for the service; the connections kept go.
void forgetServerLogin(const QString &service);
// The login adopted for the service; nothing when none was.
std::optional<ServerLogin> adoptedServerLogin(const QString &service);

// Whether this is the role's password: the answer of a login as the role (TLS
// checked first as for every connection, so that the password goes nowhere it
// should not), which is left at once. Right, Wrong (the server refused the
// password), or Failed with the operator's message (the server unreachable or
// untrusted, a refusal other than of the password).
LoginProof proveServerLogin(const QString &service, const ServerLogin &login, QString *message);

// The SCRAM-SHA-256 verifier of a password, made here, so that the password
// itself never reaches the server or its logs; empty, with the message, when it
// cannot be made.
QString passwordVerifier(const QSqlDatabase &database, const QString &role, const QString &password, QString *error);

} // namespace db
