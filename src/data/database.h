#pragma once

#include "schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

// The database, its connection text and the connections opened on it.
//
// The connection text below is the only setting of the program. Its Data Source
// names the data: the engine is SQLite, the file is the Data Source with the
// extension ".mdb" replaced by ".sqlite", and on systems other than Windows the
// drive root "C:\" stands for the user's home folder.
namespace db {

// Connection text of every record source of every screen.
extern const char *const kConnectionText;
// Connection text of the report data environments (connection CN of DE, CON1 of DMN).
extern const char *const kEnvironmentConnectionText;

// The value of one key of a connection text ("Data Source"), keys compared without case.
QString connectionValue(const QString &connectionText, const QString &key);

// The file a connection text names, mapped as described above.
QString fileFromConnectionText(const QString &connectionText);
// Where the data a connection text names lives, as messages name it.
QString describedLocation(const QString &connectionText);

// The database file of this program: $HOME/SKRIP/asli.sqlite (C:\SKRIP\asli.sqlite on Windows).
QString databaseFile();

// Opens a new connection of its own on the database a connection text names.
// Fails (with a message naming the file) when the file is missing, is not a
// SQLite database, cannot be opened, or would not write durably; never creates
// the file. The returned name is the Qt connection name; close it with closeConnection().
bool openConnection(const QString &connectionText, QString *connectionName, QString *error);
void closeConnection(const QString &connectionName);

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

// The column that holds a row's key, its place in stored order.
QString keyColumn(const QSqlDatabase &database);
// Starts a write transaction that waits for, and then shuts out, every other writer.
bool beginWrite(QSqlDatabase &database, QSqlError *error);

// Checks that the database holds the tables daftar, nabubg, tpassword and the
// view Qpass; used at start so that the operator hears at once what is wrong.
bool verifyDatabase(const QString &file, QString *error);

// A message for the operator, in Indonesian, that names the file and the cause
// of a database error and what to do about it.
QString describeError(const QSqlError &error, const QString &file);

// Test seams: connections opened after these calls are opened read-only (as when
// the file or its folder is write-protected for the operator), wait this long for
// a lock held by another program, or leave the file's journal as it is (as when
// the switch to the write-ahead log is not possible).
void setReadOnlyForTesting(bool readOnly);
void setBusyTimeoutForTesting(int milliseconds);
void setWriteAheadLogForTesting(bool use);

// Creates a new database file with the three tables, the view Qpass, the indexes
// and one first operator. Refuses to touch an existing file.
bool createDatabase(const QString &file, const QString &user, const QString &password, QString *error);
// The same without any operator, for a tool that brings the operators of its own.
bool createEmptyDatabase(const QString &file, QString *error);

} // namespace db
