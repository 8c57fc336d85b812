#pragma once

#include "data/base/schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

// The program's tables and stored queries as an open database holds them.
namespace db {

// A table or stored query of the database as the program reads it.
struct Relation {
    QString name;              // as the database names it
    bool isView = false;       // a stored query
    QStringList columns;       // as the database names them, in stored order, without the row key
    QStringList shownColumns;  // as the program shows them
    QList<schema::Kind> kinds; // what each column holds
};
// Looks a table or stored query up by name, without regard to case.
bool findRelation(QSqlDatabase &database, const QString &name, Relation *relation, QString *error);

// The program's tables and view (daftar, nabubg, tpassword, qpass, jejak) that an open
// database already holds, in lower case; empty for a database without them.
bool presentRelations(QSqlDatabase &database, QStringList *present, QSqlError *error);
// The program's tables and view that an open database lacks, as messages name
// them ("tabel nabubg", "query Qpass"); empty when it has them all.
bool missingRelations(QSqlDatabase &database, QStringList *missing, QSqlError *error);
// Whether an open database has the audit trail (the table jejak).
bool hasTrail(QSqlDatabase &database, bool *present, QSqlError *error);
// False, with the operator's message, when an open database lacks any of them,
// or the audit trail.
bool verifyOpen(QSqlDatabase &database, QString *error);

// Checks that the database holds the tables daftar, nabubg, tpassword and the
// view Qpass; used at start so that the operator hears at once what is wrong.
bool verifyDatabase(const QString &file, QString *error);
// The same for the database a connection text names (the setting file's problems included).
bool verifyConnection(const QString &connectionText, QString *error);

// What the database of a libpq service holds, opened as the program opens it (its
// TLS rules included).
enum class ServiceState {
    Unusable, // not reached, refused, or holding only part of the program's tables or no trail
    Empty,    // reached; none of the program's tables
    Ready,    // reached; all of them, with the trail
};
// *message: why it is unusable, else where the data lives (the server and service).
ServiceState probeService(const QString &service, QString *message);

} // namespace db
