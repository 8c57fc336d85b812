#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <memory>

// The connections opened on the database, each with its dialect, and the
// statements kept on them.
namespace db {

class Dialect;

// Opens a new connection of its own on the database a connection text names.
// Fails, with a message naming the file or the server and service and the cause,
// when the file is missing, is not a SQLite database, cannot be opened, when the
// server cannot be reached or refuses the login, or when the connection would
// not write durably; never creates the file. The returned name is the Qt
// connection name; close it with closeConnection(), or open it as a Connection
// (below), which closes itself. A server connection that is closed is kept open
// for the next opening on the same service.
bool openConnection(const QString &connectionText, QString *connectionName, QString *error);
// The same, but on a server always as the role the service names (the lookup
// role at a counter, the owner for the tools), also after an operator logged in:
// for what only that role may do (looking up an operator's name, recording a
// failed login).
bool openServiceConnection(const QString &connectionText, QString *connectionName, QString *error);
// Opens an existing database file as openConnection() does for a text naming it.
bool openFile(const QString &file, QString *connectionName, QString *error);
void closeConnection(const QString &connectionName);
// Closes the server connections kept for reuse (a new login at the next opening).
void releaseIdleConnections();

// A connection of its own, opened as the functions above open one and closed
// when it goes out of scope (or at close()). Moved, never copied.
//
// The one rule: a QSqlDatabase taken from it (database(), connection(name()))
// must be gone before it closes: declare that handle after the Connection, so
// that it is destroyed first, or keep it in an inner scope. A handle still alive
// at the close leaves the connection in use.
class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(Connection &&other) noexcept;
    Connection &operator=(Connection &&other) noexcept;
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // As openConnection(), openServiceConnection() and openFile(); a connection
    // already held is closed first. On failure nothing is held.
    bool open(const QString &connectionText, QString *error);
    bool openAsService(const QString &connectionText, QString *error);
    bool openFile(const QString &file, QString *error);

    bool isOpen() const { return !name_.isEmpty(); }
    // The Qt connection name; empty when nothing is held.
    const QString &name() const { return name_; }
    // As connection(name()).
    QSqlDatabase database() const;
    // Closes it now, as closeConnection() does; nothing is held after.
    void close();

private:
    bool hold(bool opened, const QString &name);
    QString name_;
};
// An open connection by name, ready for the next statement: a server connection
// that was lost (server restarted, network down) is opened again first. When
// that fails the connection stays closed and its statements fail, told by
// describeError() as a server that cannot be reached.
QSqlDatabase connection(const QString &connectionName);
// Prepares a statement of the program's own (values bound later, never pasted)
// into *statement, read forward only. On a server the statement is prepared once per
// connection and kept, so that each use is one round trip; on SQLite it is kept
// when prepared inside a write transaction, else prepared anew. False, with the error in its lastError(), when it cannot be.
using Statement = std::shared_ptr<QSqlQuery>;
bool prepare(Statement *statement, const QSqlDatabase &database, const QString &sql);
// Where the data of a connection lives, as messages name it.
QString location(const QSqlDatabase &database);
// A message for the operator, in Indonesian, for an error on a connection:
// names the file, or the server and service, and the cause.
QString describeError(const QSqlError &error, const QSqlDatabase &database);

// Test seams: connections opened after these calls are opened read-only (as when
// the file or its folder is write-protected for the operator, or the server is a
// read-only standby), wait this long for a lock held by another program, or leave
// the file's journal as it is (as when the switch to the write-ahead log is not possible).
void setReadOnlyForTesting(bool readOnly);
void setBusyTimeoutForTesting(int milliseconds);
void setWriteAheadLogForTesting(bool use);
// Test seam: server sessions started after this call end a statement, and a
// session idle inside a transaction, after these many milliseconds, and the
// program takes a server that has not answered a request within `answer` as lost.
void setServerLimitsForTesting(int statement, int idleInTransaction, int answer);
// Test seam: connections opened after this call ask the engine for commits that
// are not durable (a file's synchronous=NORMAL, a server's synchronous_commit=local),
// as a build that lost its setting would; the opening must then refuse them.
void setLessDurableForTesting(bool less);

// For the command-line tools: server sessions started after this call have no
// limit on a statement, on a transaction left waiting, nor on the wait for an
// answer. A tool's one long transaction may wait on its own work (the importer on
// its reader) and its reads may run long (simparo-verify); no clerk waits on them,
// and TCP's keepalives still end a link that is gone. The program's screens keep
// the limits (see SessionOptions).
void setToolSession();
// For the tools that only read (a check, a backup): connections opened after this
// call are opened read-only, so that a database on a disk remounted read-only
// after errors can still be checked and copied.
void setReadOnlySession();

// ---------------------------------------------------------------------------
// For the dialects: how connections are opened and kept.
namespace pool {

// How new sessions are started (see the test seams above).
struct SessionOptions {
    bool readOnly = false;
    int busyTimeout = 5000; // a lock held by another program is waited for this long (ms)
    bool writeAheadLog = true;
    // A counter whose link goes silent hears so within seconds, and its session on
    // the server frees its locks within half a minute: the server ends a statement
    // after statementTimeout and a session idle in a transaction after
    // idleInTransactionTimeout; the program takes the server as lost when a request
    // has had no answer for answerDeadline, past the server's own limits.
    int statementTimeout = 10000;
    int idleInTransactionTimeout = 15000;
    int answerDeadline = 13000; // 0 for none (a tool's session: see setToolSession())
    bool lessDurable = false; // see setLessDurableForTesting()
};
const SessionOptions &sessionOptions();

// What the pool knows of an open connection, kept by its Qt connection name.
struct Entry {
    const Dialect *dialect = nullptr;
    QString location;  // as messages name it
    QString source;    // what its dialect opened it on (a file, a service)
    QString openError; // why the last attempt to open it again failed
    QString session;   // the session options it was started with
    bool idle = false; // closed by its user, kept open for the next opening
    QString identity;  // who it logs in as: a role of the server; empty: the one its source names
};
const Entry *entry(const QString &connectionName);

// A new Qt connection of the driver, known to the pool with its dialect, logging
// in as `identity` (empty: as its source names).
QSqlDatabase add(const QString &driver, const Dialect *dialect, const QString &location, const QString &source,
                 QString *connectionName, const QString &identity = QString());
// A kept connection of the dialect on the source that logged in as `identity`,
// started with the current session options and not lost meanwhile; empty when
// there is none.
QString takeKept(const Dialect *dialect, const QString &source, const QString &identity = QString());
// The connection's session was (re)started with the current options: the
// statements kept on it are gone with the old session.
void sessionStarted(const QString &connectionName);
// Ends what the statements kept on the connection left unread, so that none of
// them holds a read open.
void finishStatements(const QString &connectionName);

} // namespace pool

} // namespace db
