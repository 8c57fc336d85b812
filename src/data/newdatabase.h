#pragma once

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

} // namespace db
