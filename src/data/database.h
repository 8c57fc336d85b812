#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

// The database file, its connection text and the connections opened on it.
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

// The database file of this program: $HOME/SKRIP/asli.sqlite (C:\SKRIP\asli.sqlite on Windows).
QString databaseFile();

// Opens a new connection of its own on the file a connection text names.
// Fails (with a message naming the file) when the file is missing, is not a
// SQLite database, or cannot be opened; never creates the file.
// The returned name is the Qt connection name; close it with closeConnection().
bool openConnection(const QString &connectionText, QString *connectionName, QString *error);
void closeConnection(const QString &connectionName);

// Checks that the database holds the tables daftar, nabubg, tpassword and the
// view Qpass; used at start so that the operator hears at once what is wrong.
bool verifyDatabase(const QString &file, QString *error);

// A message for the operator, in Indonesian, that names the file and the cause
// of a database error and what to do about it.
QString describeError(const QSqlError &error, const QString &file);

// Test seam: connections opened after this call are opened read-only, as they
// are when the file or its folder is write-protected for the operator.
void setReadOnlyForTesting(bool readOnly);
// Milliseconds a write waits for a lock held by another program before it is refused.
void setBusyTimeoutForTesting(int milliseconds);

// Creates a new database file with the three tables, the view Qpass, the indexes
// and one first operator. Refuses to touch an existing file.
bool createDatabase(const QString &file, const QString &user, const QString &password, QString *error);

// Column names of the tables, in their stored order.
QStringList daftarColumns();
QStringList nabubgColumns();

} // namespace db
