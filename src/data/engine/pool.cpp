#include "data/engine/pool.h"

#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QHash>
#include <utility>

namespace db {

namespace {
pool::SessionOptions g_options;
QAtomicInt g_connectionSerial;

QHash<QString, pool::Entry> &entries()
{
    static QHash<QString, pool::Entry> all;
    return all;
}

// Connections kept open after their record source or environment closed (those
// whose dialect allows it: a connection to a server costs a login, a process on
// the server and a password exchange; opening a file costs next to nothing). At
// most this many wait per source.
constexpr int kIdleConnections = 3;

// Statements prepared on connections whose dialect keeps them, kept while the
// connection lives: each use is then one round trip instead of three (prepare,
// execute, free).
QHash<QString, QHash<QString, Statement>> &statements()
{
    static QHash<QString, QHash<QString, Statement>> all;
    return all;
}


QString sessionKey()
{
    return QStringLiteral("%1/%2/%3/%4/%5/%6")
        .arg(g_options.busyTimeout)
        .arg(g_options.readOnly)
        .arg(g_options.statementTimeout)
        .arg(g_options.idleInTransactionTimeout)
        .arg(g_options.answerDeadline)
        .arg(g_options.lessDurable);
}

void forget(const QString &connectionName)
{
    statements().remove(connectionName);
    const auto found = entries().constFind(connectionName);
    if (found != entries().constEnd())
        found->dialect->closing(connectionName);
    QSqlDatabase::database(connectionName, false).close();
    QSqlDatabase::removeDatabase(connectionName);
    entries().remove(connectionName);
}
} // namespace

// ---------------------------------------------------------------------------
// For the dialects

namespace pool {

const SessionOptions &sessionOptions()
{
    return g_options;
}

const Entry *entry(const QString &connectionName)
{
    const auto found = entries().constFind(connectionName);
    return found == entries().constEnd() ? nullptr : &found.value();
}

QSqlDatabase add(const QString &driver, const Dialect *dialect, const QString &location, const QString &source,
                 QString *connectionName, const QString &identity)
{
    // Connections kept for a next opening go when the program or tool ends, before
    // the drivers are unloaded (a tool need not remember to let them go).
    static const bool releasedAtExit = [] {
        qAddPostRoutine(releaseIdleConnections);
        return true;
    }();
    Q_UNUSED(releasedAtExit);
    *connectionName = QStringLiteral("simparo-%1").arg(g_connectionSerial.fetchAndAddRelaxed(1));
    entries().insert(*connectionName, Entry{dialect, location, source, {}, {}, false, identity});
    return QSqlDatabase::addDatabase(driver, *connectionName);
}

QString takeKept(const Dialect *dialect, const QString &source, const QString &identity)
{
    for (auto it = entries().begin(); it != entries().end(); ++it) {
        if (!it->idle || it->dialect != dialect || it->source != source || it->identity != identity)
            continue;
        const QString name = it.key();
        it->idle = false;
        if (it->session == sessionKey() && !dialect->lost(QSqlDatabase::database(name, false)))
            return name;
        // Gone meanwhile, or started with other settings: let go.
        forget(name);
        return takeKept(dialect, source, identity);
    }
    return {};
}

// Ends what the kept statements of a connection left unread (a server sends a
// result in parts, a file's statement holds a read until it is reset), so that
// between two actions the connection is idle.
void finishStatements(const QString &connectionName)
{
    const auto kept = statements().constFind(connectionName);
    if (kept == statements().constEnd())
        return;
    for (const Statement &statement : kept.value())
        if (statement->isActive())
            statement->finish();
}

void sessionStarted(const QString &connectionName)
{
    statements().remove(connectionName);
    const auto found = entries().find(connectionName);
    if (found != entries().end())
        found->session = sessionKey();
}

} // namespace pool

// ---------------------------------------------------------------------------
// Connections

bool openConnection(const QString &connectionText, QString *connectionName, QString *error)
{
    QString problem;
    if (!checkConnectionText(connectionText, &problem)) {
        *error = connectionProblemText(connectionText, problem);
        return false;
    }
    return dialectFor(connectionText).open(connectionText, connectionName, error);
}

bool openServiceConnection(const QString &connectionText, QString *connectionName, QString *error)
{
    QString problem;
    if (!checkConnectionText(connectionText, &problem)) {
        *error = connectionProblemText(connectionText, problem);
        return false;
    }
    return dialectFor(connectionText).openAsService(connectionText, connectionName, error);
}


void closeConnection(const QString &connectionName)
{
    if (connectionName.isEmpty() || !QSqlDatabase::contains(connectionName))
        return;
    const auto found = entries().find(connectionName);
    if (found != entries().end() && !found->idle) {
        // Kept for the next opening while it is healthy and not in a transaction.
        pool::finishStatements(connectionName);
        int waiting = 0;
        for (const pool::Entry &other : std::as_const(entries()))
            waiting += other.idle && other.dialect == found->dialect && other.source == found->source
                && other.identity == found->identity;
        if (waiting < kIdleConnections && found->dialect->mayKeepOpen(QSqlDatabase::database(connectionName, false))) {
            found->idle = true;
            return;
        }
    }
    forget(connectionName);
}

// ---------------------------------------------------------------------------
// A connection closed by its scope

Connection::~Connection()
{
    close();
}

Connection::Connection(Connection &&other) noexcept
    : name_(std::exchange(other.name_, QString()))
{
}

Connection &Connection::operator=(Connection &&other) noexcept
{
    if (this != &other) {
        close();
        name_ = std::exchange(other.name_, QString());
    }
    return *this;
}

bool Connection::hold(bool opened, const QString &name)
{
    if (opened)
        name_ = name;
    return opened;
}

bool Connection::open(const QString &connectionText, QString *error)
{
    close();
    QString name;
    return hold(openConnection(connectionText, &name, error), name);
}

bool Connection::openAsService(const QString &connectionText, QString *error)
{
    close();
    QString name;
    return hold(openServiceConnection(connectionText, &name, error), name);
}

bool Connection::openFile(const QString &file, QString *error)
{
    close();
    QString name;
    return hold(db::openFile(file, &name, error), name);
}

QSqlDatabase Connection::database() const
{
    return connection(name_);
}

void Connection::close()
{
    closeConnection(std::exchange(name_, QString()));
}

void releaseIdleConnections()
{
    QStringList idle;
    for (auto it = entries().cbegin(); it != entries().cend(); ++it)
        if (it->idle)
            idle << it.key();
    for (const QString &name : std::as_const(idle))
        forget(name);
}

QSqlDatabase connection(const QString &connectionName)
{
    QSqlDatabase database = QSqlDatabase::database(connectionName, false);
    const auto found = entries().find(connectionName);
    if (found == entries().end())
        return database;
    pool::finishStatements(connectionName);
    if (!found->dialect->lost(database))
        return database;
    statements().remove(connectionName);
    found->dialect->closing(connectionName);
    database.close();
    QString error;
    if (found->dialect->reopen(database, found->source, &error))
        found->openError.clear();
    else
        found->openError = error;
    return database;
}

bool prepare(Statement *statement, const QSqlDatabase &database, const QString &sql)
{
    if (!database.isOpen()) {
        // A server that could not be reached again: describeError() tells why.
        *statement = std::make_shared<QSqlQuery>(database);
        return false;
    }
    // Only the pool's own connections keep statements: it forgets them with the connection.
    if (!pool::entry(database.connectionName()) || !dialect(database).keepsStatements(database)) {
        *statement = std::make_shared<QSqlQuery>(database);
        (*statement)->setForwardOnly(true);
        return (*statement)->prepare(sql);
    }
    QHash<QString, Statement> &kept = statements()[database.connectionName()];
    const auto found = kept.constFind(sql);
    if (found != kept.constEnd()) {
        *statement = found.value();
        return true;
    }
    // Read whole when executed (not in parts, as a forward-only read would be), so
    // that the connection is idle again as soon as the statement has run.
    *statement = std::make_shared<QSqlQuery>(database);
    if (!(*statement)->prepare(sql))
        return false;
    kept.insert(sql, *statement);
    return true;
}

QString location(const QSqlDatabase &database)
{
    const pool::Entry *found = pool::entry(database.connectionName());
    return found ? found->location : database.databaseName();
}

QString describeError(const QSqlError &error, const QSqlDatabase &database)
{
    // A connection the pool did not open is a file's (see dialect()).
    return dialect(database).describeError(error, database);
}

void setReadOnlyForTesting(bool readOnly) { g_options.readOnly = readOnly; }
void setReadOnlySession() { g_options.readOnly = true; }
void setBusyTimeoutForTesting(int milliseconds) { g_options.busyTimeout = milliseconds; }
void setWriteAheadLogForTesting(bool use) { g_options.writeAheadLog = use; }
void setLessDurableForTesting(bool less) { g_options.lessDurable = less; }
void setToolSession()
{
    g_options.statementTimeout = 0;
    g_options.idleInTransactionTimeout = 0;
    g_options.answerDeadline = 0;
}
void setServerLimitsForTesting(int statement, int idleInTransaction, int answer)
{
    g_options.statementTimeout = statement;
    g_options.idleInTransactionTimeout = idleInTransaction;
    g_options.answerDeadline = answer;
}

} // namespace db
