#pragma once

#include "audit.h"

#include <QSqlDatabase>
#include <QString>

// Making a new database: the program's tables, the view Qpass, the indexes and
// (unless a tool brings its own) one first operator.
namespace db {

// Creates a new database file with the three tables, the view Qpass, the indexes
// and one first operator. Refuses to touch an existing file.
bool createDatabase(const QString &file, const QString &user, const QString &password, QString *error);
// The same without any operator, for a tool that brings the operators of its own.
bool createEmptyDatabase(const QString &file, QString *error);
// Makes the three tables, the view Qpass and the indexes, without any operator, on
// an open connection inside the caller's transaction (neither begun nor ended here).
bool createSchema(QSqlDatabase &database, QString *error);
// The same on the (empty) database of a PostgreSQL service; refuses a database
// that already holds any of the program's tables.
bool createServerDatabase(const QString &service, const QString &user, const QString &password, QString *error);

// Gives a database made before the audit trail its trail, in one transaction:
// the table jejak, its indexes, the rule that nabubg and jejak only grow, and
// one first row (pasang jejak) that covers the ledger rows as they stand (their
// key range, count and digest) and names the breaks of their balance chains
// found then, which are known from then on. *covered tells what it covered.
// Refuses a database that has the trail already, or lacks the program's tables.
bool upgradeDatabase(const QString &connectionText, audit::Coverage *covered, QString *error);

} // namespace db
