#pragma once

// The server engine's own pieces, shared by its files and seen nowhere else:
// the session and its liveness (serversession.cpp) and the rows read and written
// straight through libpq (serverrows.cpp).
#include "data/engine/dialect.h"
#include "data/postgres/serversettings.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <memory>

#include <libpq-fe.h>

namespace db::serverinternal {

// A server that does not answer within this many seconds is reported as unreachable.
inline constexpr int kConnectSeconds = 4;
// The hidden row key of every table on a server, after the described columns.
inline constexpr char kServerKey[] = "simparo_key";

// The libpq options of every connection to a service (for Qt's driver, separated by ";").
QString connectOptions(const QString &service);
// The same settings, as libpq reads them from the service.
serversettings::Settings settingsOf(const QString &service);
// The answer deadline of the session options, in whole seconds.
int deadlineSeconds();
// The libpq connection under a connection of Qt's driver; null when there is none.
PGconn *handleOf(const QSqlDatabase &database);
// True when the connection is gone.
bool connectionLost(const QSqlDatabase &database);
// Why a server could not be reached, could not be trusted or refused the login.
QString connectFailureText(const QString &service, const serversettings::Settings &settings, const QSqlError &error);
// Starts a session on a connection just opened: durable commits, the limits, the counter's time zone.
bool startSession(QSqlDatabase &database, const QString &service, QString *error);

// A statement's rows, read one at a time, on the connection.
std::unique_ptr<RowStream> streamOf(PGconn *connection, const QString &sql);
// Rows written into a table's columns by COPY, on the connection.
std::unique_ptr<RowSink> sinkOf(PGconn *connection, const QString &table, const QStringList &columns);

// Inside a write transaction: its last statement sent with its COMMIT in one
// pipeline (servercommit.cpp). *pipelined false, and nothing done, when the
// connection cannot pipeline: the caller then commits the usual way.
bool pipelinedCommit(QSqlDatabase &database, const QString &sql, const QVariantList &values, QSqlError *error,
                     bool *pipelined);
// The operators' roles on a server (serverlogins.cpp, postgresoperators.cpp).
const Roles &serverRoles();
// See Dialect::fixHorizon(), catalogEntry() and relationNames() (servercatalog.cpp).
bool relationNames(QSqlDatabase &database, QStringList *tables, QStringList *views, QSqlError *error);
bool fixHorizon(QSqlDatabase &database, const QString &table, const QString &key, Horizon *horizon, QSqlError *error);
bool catalogEntry(QSqlDatabase &database, const QString &name, CatalogEntry *entry, bool *found, QSqlError *error);
// See Dialect::trailStatements() (servertrail.cpp).
QStringList trailStatements();

} // namespace db::serverinternal
