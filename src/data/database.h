#pragma once

#include "schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <memory>

// The database, its connection text and the connections opened on it.
//
// The connection text is the only setting of the program. Its built-in form
// names a file: the engine is SQLite, the file is the Data Source with the
// extension ".mdb" replaced by ".sqlite", and on systems other than Windows the
// drive root "C:\" stands for the user's home folder.
//
// A site that keeps its data on a server puts one connection text of its own in
// a small file (see settingFiles()): "Provider=PostgreSQL;Data Source=NAME", the
// Data Source naming a libpq service. Host, port, database, TLS and role come
// from the service file (pg_service.conf), the password from .pgpass; the
// connection text itself never holds a secret.
namespace db {

// The built-in connection text of every record source of every screen.
extern const char *const kConnectionText;
// The built-in connection text of the report data environments (connection CN of DE, CON1 of DMN).
extern const char *const kEnvironmentConnectionText;

enum class Engine { Sqlite, PostgreSQL };

// The files that may hold the site's connection text, the first that exists
// winning: the user's own ($XDG_CONFIG_HOME/simparo/koneksi, by default
// ~/.config/simparo/koneksi), then the site's (/etc/simparo/koneksi). On
// Windows: the user's and the machine's application data folders.
QStringList settingFiles();
// The file the connection text comes from; empty when the built-in one is in force.
QString settingFile();
// The connection text of the screens' record sources, and of the report data
// environments: the one of the setting file, else the built-in one.
QString connectionText();
QString environmentConnectionText();
// Test seam: the site-wide file looked at instead of the system's.
void setSiteSettingFileForTesting(const QString &file);

// The value of one key of a connection text ("Data Source"), keys compared without case.
QString connectionValue(const QString &connectionText, const QString &key);
// False, with the reason, when a connection text is not of a form this program
// knows (unknown provider, no Data Source, an unknown key, a password in it).
bool checkConnectionText(const QString &connectionText, QString *problem);
Engine engineOf(const QString &connectionText);
Engine engineOf(const QSqlDatabase &database);

// The file a connection text names, mapped as described above.
QString fileFromConnectionText(const QString &connectionText);
// Where the data a connection text names lives, as messages name it: the file,
// or the PostgreSQL server and its service.
QString describedLocation(const QString &connectionText);

// The database file of this program: $HOME/SKRIP/asli.sqlite (C:\SKRIP\asli.sqlite on Windows).
QString databaseFile();

// Opens a new connection of its own on the database a connection text names.
// Fails, with a message naming the file or the server and service and the cause,
// when the file is missing, is not a SQLite database, cannot be opened, when the
// server cannot be reached or refuses the login, or when the connection would
// not write durably; never creates the file. The returned name is the Qt
// connection name; close it with closeConnection(). A server connection that
// is closed is kept open for the next opening on the same service.
bool openConnection(const QString &connectionText, QString *connectionName, QString *error);
void closeConnection(const QString &connectionName);
// Closes the server connections kept for reuse (a new login at the next opening).
void releaseIdleConnections();
// An open connection by name, ready for the next statement: a server connection
// that was lost (server restarted, network down) is opened again first. When
// that fails the connection stays closed and its statements fail, told by
// describeError() as a server that cannot be reached.
QSqlDatabase connection(const QString &connectionName);
// Prepares a statement of the program's own (values bound later, never pasted)
// into *statement, read forward only. On a server the statement is prepared once per
// connection and kept, so that each use is one round trip; on SQLite it is
// prepared anew. False, with the error in its lastError(), when it cannot be.
using Statement = std::shared_ptr<QSqlQuery>;
bool prepare(Statement *statement, const QSqlDatabase &database, const QString &sql);
// Where the data of a connection lives, as messages name it.
QString location(const QSqlDatabase &database);

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

// The column that holds a row's key, its place in stored order: SQLite's rowid,
// or the hidden identity column after the described columns on a server.
QString keyColumn(const QSqlDatabase &database);
// Starts a write transaction. On SQLite it waits for, and then shuts out, every
// other writer; on a server writes that must not interleave take writeLock().
bool beginWrite(QSqlDatabase &database, QSqlError *error);
// Inside a write transaction: waits until no other write of the same scope and
// value (a table and an account number, say) is under way, and keeps them out
// until this one ends. Nothing to do on SQLite, whose writers never interleave.
bool writeLock(QSqlDatabase &database, const QString &scope, const QString &value, QSqlError *error);
// What a statement that reads a row about to be written adds so that no other
// write changes the row until this one ends (" FOR UPDATE" on a server).
QString rowLockClause(const QSqlDatabase &database);
// True when the database refused a value that must be unique.
bool isUniqueViolation(const QSqlError &error);

// The program's tables and view (daftar, nabubg, tpassword, qpass) that an open
// database already holds, in lower case; empty for a database without them.
bool presentRelations(QSqlDatabase &database, QStringList *present, QSqlError *error);

// Checks that the database holds the tables daftar, nabubg, tpassword and the
// view Qpass; used at start so that the operator hears at once what is wrong.
bool verifyDatabase(const QString &file, QString *error);
// The same for the database a connection text names (the setting file's problems included).
bool verifyConnection(const QString &connectionText, QString *error);

// A message for the operator, in Indonesian, that names the file and the cause
// of a database error and what to do about it.
QString describeError(const QSqlError &error, const QString &file);
// The same for an error on a connection: names the file, or the server and service.
QString describeError(const QSqlError &error, const QSqlDatabase &database);

// Test seams: connections opened after these calls are opened read-only (as when
// the file or its folder is write-protected for the operator, or the server is a
// read-only standby), wait this long for a lock held by another program, or leave
// the file's journal as it is (as when the switch to the write-ahead log is not possible).
void setReadOnlyForTesting(bool readOnly);
void setBusyTimeoutForTesting(int milliseconds);
void setWriteAheadLogForTesting(bool use);

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
