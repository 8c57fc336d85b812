#pragma once

#include "data/base/outcome.h"
#include "data/base/schema.h"
#include "data/engine/roles.h"

#include <QHash>
#include <QSqlDatabase>
#include <QByteArrayView>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>
#include <optional>

// What differs between the engines the program keeps its data in: a SQLite file,
// or a database on a PostgreSQL server. Each engine has one dialect (its own files,
// sqlitedialect.* and postgresdialect.*); every open connection carries its own
// (db::dialect()), and the rest of the program asks the dialect rather than the
// engine. A new engine-specific need (a table of its own, a session setting) is a
// new method here, answered by each dialect.
namespace db {

// The snapshot of a table as a record source fixes it when it opens.
struct Horizon {
    std::optional<qint64> top;  // the highest row key; nothing for an empty table
    QVector<qint64> excluded;   // keys below it whose rows were still in flight, ascending
    // The term (with one placeholder) that keeps the excluded keys out of every
    // read, and its value; empty when nothing is excluded.
    QString excludedTerm;
    QVariant excludedValue;
};

// A value as a stream of rows gives it: the database's own, without a conversion
// through Qt's types (text in UTF-8, valid until the stream moves on).
struct Value {
    enum class Type { Null, Integer, Real, Text };
    Type type = Type::Null;
    qint64 integer = 0;
    double real = 0;
    QByteArrayView text;
};

// The rows of one statement, read one after another and never held: for the long
// reads of a check (the whole trail, the whole ledger).
class RowStream
{
public:
    virtual ~RowStream() = default;
    // The next row; false at the end, or when the read failed (error() tells why).
    virtual bool next() = 0;
    virtual Value value(int column) const = 0;
    virtual QSqlError error() const = 0;
};

// Rows written one after another into one table, in as few round trips as the
// engine allows: for a tool that fills a new database with a whole table.
class RowSink
{
public:
    virtual ~RowSink() = default;
    // One row, a value for each column the sink was opened with. False when the
    // write failed (error() tells why); the transaction is then to be rolled back.
    virtual bool add(const Value *values) = 0;
    // Writes what is still held; false when the rows were refused.
    virtual bool finish() = 0;
    virtual QSqlError error() const = 0;
};

// A table or stored query as the database's catalog describes it.
struct CatalogEntry {
    QString name;          // as the database names it
    bool isView = false;   // a stored query
    QStringList columns;   // in stored order, without a hidden row key
    QStringList declared;  // each column's declared type
};

class Dialect
{
public:
    virtual ~Dialect() = default;

    // --- Connections
    // Where the data a connection text names lives, as messages name it.
    virtual QString describedLocation(const QString &connectionText) const = 0;
    // Opens a database file by its path, which must exist (the engine of files).
    virtual bool openFile(const QString &file, QString *connectionName, QString *error) const = 0;
    // Whether a connection text's Provider names this engine.
    virtual bool isProvider(const QString &provider) const = 0;
    // Whether the Data Source of a connection text of this engine can be used;
    // false with the problem when it cannot.
    virtual bool checkSource(const QString &source, QString *problem) const = 0;
    // The file a connection text names, or nothing when it names none (a server).
    virtual std::optional<QString> fileOf(const QString &connectionText) const = 0;
    // Opens a new pooled connection (or takes a kept one) on what a checked
    // connection text names; fails with the operator's message.
    // On a server, once an operator has logged in, it logs in as him (see
    // operators.h); before, and for the tools, as the role the service names.
    virtual bool open(const QString &connectionText, QString *connectionName, QString *error) const = 0;
    // The same, always as the role the service names.
    virtual bool openAsService(const QString &connectionText, QString *connectionName, QString *error) const
    {
        return open(connectionText, connectionName, error);
    }
    // Opens a lost connection again (server restarted, network down), starting
    // its session anew; the source is what open() was given to name.
    virtual bool reopen(QSqlDatabase &database, const QString &source, QString *error) const = 0;
    // True when the connection is gone; a file's never is.
    virtual bool lost(const QSqlDatabase &database) const = 0;
    // True when a connection its user closed may wait, open, for the next
    // opening of the same source (healthy and outside a transaction).
    virtual bool mayKeepOpen(const QSqlDatabase &database) const = 0;
    // True when a statement prepared now on the connection is prepared once and
    // kept: always on a server (each use is then one round trip); on a file
    // inside a transaction, whose kept statements are reset when it ends (see
    // db::endWrite()), so that no statement holds a read open between two actions.
    virtual bool keepsStatements(const QSqlDatabase &database) const = 0;
    // The connection is about to be closed (for good, or to be opened again):
    // what the dialect keeps of it goes.
    virtual void closing(const QString &connectionName) const { Q_UNUSED(connectionName) }

    // --- Rows and writes
    // The column that holds a row's key, its place in stored order.
    virtual QString keyColumn() const = 0;
    // True when the key is a column of its own that "SELECT *" shows (and the
    // program hides), false when the engine keeps it out of sight by itself.
    virtual bool keyIsColumn() const = 0;
    // Starts a write transaction; see db::beginWrite().
    virtual bool beginWrite(QSqlDatabase &database, QSqlError *error) const = 0;
    // Commits the write transaction with a last statement (its '?' the values in
    // order, no other '?' in it); see db::holdForCommit(). Here one after the other;
    // a server takes both in one message and answers both at once, and lets the
    // transaction's locks go before its disk flush, not after. False, with the
    // error, when either fails: the transaction is then rolled back.
    virtual bool commitWith(QSqlDatabase &database, const QString &sql, const QVariantList &values,
                            QSqlError *error) const;
    // Inside a write transaction: keeps out other writes of the same scope and value.
    virtual bool writeLock(QSqlDatabase &database, const QString &scope, const QString &value,
                           QSqlError *error) const = 0;
    // What a statement reading a row about to be written adds to lock it.
    virtual QString rowLockClause() const = 0;
    // True when counting a whole table is much cheaper than counting a range of its
    // keys (a file counts a table over its smallest index, a range over the table's
    // own pages).
    virtual bool countsTablesWhole() const { return false; }
    // True when the database refused a value that must be unique.
    virtual bool isUniqueViolation(const QSqlError &error) const = 0;
    // The term comparing a column with a criterion's value, its values appended.
    virtual QString columnTerm(const QString &quotedColumn, const QString &value, schema::Kind kind,
                               QVariantList *values) const = 0;
    // The join, after "FROM daftar", that gives each account of the register its last
    // ledger row in posting order dated before a day (the join's two '?', both the
    // day as stored): that row's columns as akhir.<column>, all NULL when there is
    // none. First the newest row of the whole ledger dated before the day is found,
    // walking back from the newest; no account's row comes after it. Then each
    // account's row is one seek down the ledger's index on account and key to that
    // key, and a step back over any row of the account posted earlier but dated later.
    virtual QString lastLedgerRowJoin() const = 0;
    // Fixes a table's snapshot (the table's name quoted).
    virtual bool fixHorizon(QSqlDatabase &database, const QString &table, const QString &key, Horizon *horizon,
                            QSqlError *error) const = 0;

    // --- The catalog
    // The names of the tables and views, in lower case.
    virtual bool relationNames(QSqlDatabase &database, QStringList *tables, QStringList *views,
                               QSqlError *error) const = 0;
    // One table or view by name, without regard to case; *found false when there is none.
    virtual bool catalogEntry(QSqlDatabase &database, const QString &name, CatalogEntry *entry, bool *found,
                              QSqlError *error) const = 0;

    // --- New databases, and rows brought in by a tool
    // The statements that make the tables, their indexes and the view Qpass, and
    // the audit trail (trailStatements()).
    virtual QStringList schemaStatements() const = 0;
    // True when a date column keeps the time of day as well as the date.
    virtual bool keepsTimeOfDay() const = 0;
    // Before a tool writes many rows in one transaction (outside it): a new
    // database, which is thrown away whole on failure, needs no journal on disk.
    virtual bool prepareBulkWrite(QSqlDatabase &database, bool newDatabase, QSqlError *error) const = 0;
    // After the commit that filled a new database: its journal as the program keeps it.
    virtual bool finishNewDatabase(QSqlDatabase &database, QSqlError *error) const = 0;
    // Inside a write transaction: keeps every other write to these tables out until
    // it ends (readers go on).
    virtual bool lockTables(QSqlDatabase &database, const QStringList &tables, QSqlError *error) const = 0;
    // Inside a write transaction: a sink into a table made in the same
    // transaction (its name and columns as a statement names them, the program's
    // own: no operator text). The row key
    // (keyColumn()) may be one of the columns: the rows then keep the keys given.
    virtual std::unique_ptr<RowSink> sink(QSqlDatabase &database, const QString &table,
                                          const QStringList &columns) const = 0;
    // After rows were written with the keys given: the keys the database hands out
    // for the table from then on come after the largest of them.
    virtual bool keysGiven(QSqlDatabase &database, const QString &table, QSqlError *error) const = 0;
    // The stored password of an operator who has no usable one yet (he arrived
    // from another engine, whose password hashes do not travel): no typed password
    // matches it. Nothing for NULL.
    virtual std::optional<QByteArray> unusablePassword() const = 0;

    // --- The audit trail (audit.h)
    // The statements that make the table jejak and its indexes, what numbers and
    // seals its rows where the database does it, and the rule that nabubg and
    // jejak refuse UPDATE and DELETE. They run on a database that has the
    // program's tables, new or older.
    virtual QStringList trailStatements() const = 0;
    // The statements that restore (true) or lift (false) the trail's rules: that
    // nabubg and jejak refuse UPDATE and DELETE, that a file's jejak takes only the
    // next number, that a server seals every jejak row inserted. For the owner's
    // maintenance, which the owner can do anyway: the tests' set-up of a damaged
    // ledger, the bench copying its rows as they are or taking out its own.
    virtual QStringList trailRuleStatements(bool enforced) const = 0;
    // The rules every row a clerk writes into nabubg and daftar keeps (amounts,
    // codes, dates, the balance chain, the keys, the customer of a posting), kept
    // by the database itself: made (true) after the rows of a new database and by
    // every upgrade, each statement one that may run again; lifted (false) by the
    // owner's maintenance only (an import into an existing database, the tests'
    // set-up of a damaged ledger), which the owner can do anyway.
    virtual QStringList ruleStatements(bool enforced) const = 0;
    // True when an operator writes the rows of this table only through functions
    // of the database's own, which write the trail row themselves (a server's
    // register); false when the program writes the rows and their trail rows.
    virtual bool writesThroughFunctions(const QString &table) const
    {
        Q_UNUSED(table)
        return false;
    }
    // The triggers that keep the trail's rules (trailRuleStatements(true) and the
    // rules of the rows themselves), by name: the check of simparo-verify fails when
    // one of them is missing, or switched off.
    virtual QStringList trailTriggers() const = 0;
    // The names of the triggers of the open database that are in force.
    virtual bool triggersInForce(QSqlDatabase &database, QStringList *names, QSqlError *error) const = 0;
    // The role that owns the program's tables, as the trail's peran names it (the
    // owner's tools write as it); empty in a file, which has no roles.
    virtual bool ownerRole(QSqlDatabase &database, QString *role, QSqlError *error) const = 0;
    // True when the database computes a jejak row itself (number, time, who, the
    // content of the row written and the seal), so that a client sends only what
    // it alone knows; false when the program computes it.
    virtual bool sealsTrail() const = 0;
    // Inside a write transaction: waits until no write that appended its trail
    // row is still open elsewhere (its COMMIT on the way, or lost on the way and
    // its session not yet ended by the server), so that what is read next shows
    // how each such write ended for good. A file's writers shut each other out
    // already. False, with the error, when one is still open past the server's
    // own limits.
    virtual bool awaitTrailWriters(QSqlDatabase &database, QSqlError *error) const = 0;
    // Starts a transaction that only reads, all its statements seeing one snapshot.
    virtual bool beginSnapshot(QSqlDatabase &database, QSqlError *error) const = 0;
    // Runs a statement of the program's own (no values) on the open connection
    // and streams its rows straight from the engine's own interface. The stream
    // must end (or be destroyed) before the connection is used otherwise.
    virtual std::unique_ptr<RowStream> stream(QSqlDatabase &database, const QString &sql) const = 0;

    // --- Operators
    // The operators' roles on an engine that keeps them as roles of its own (a
    // server); nothing in a file, whose operators are rows with a password hash.
    virtual const Roles *roles() const { return nullptr; }
    bool hasOperatorRoles() const { return roles() != nullptr; }
    // Inside the owner's write transaction, on a database with the program's
    // tables and trail: the supervisors', settings' and passbook prints' tables
    // where missing; on a server too the operators' group role and lookup role,
    // their grants and nothing more, the functions an operator and the lookup
    // role may run, every operator's role, and the rest revoked (*access).
    virtual Outcome secureOperators(QSqlDatabase &database, RoleAccess *access) const = 0;

    // --- Messages
    // The operator's message for an error on a connection of this dialect.
    virtual QString describeError(const QSqlError &error, const QSqlDatabase &database) const = 0;
    // The message for a database that lacks some of the program's tables.
    virtual QString incompleteText(const QString &location, const QString &missing) const = 0;
    // The message for a database made before the audit trail (no table jejak):
    // it names the command that gives it the trail. The source is what the
    // connection was opened on (the file, the service).
    virtual QString noTrailText(const QString &location, const QString &source) const = 0;
};

// The engines the program knows. Each program registers them before it starts
// (data/engines.cpp); the first registered is a file's, the engine of a connection
// the pool did not open.
void registerDialect(const Dialect &dialect);
// The dialect a Provider names; nothing when no engine knows it.
const Dialect *dialectNamed(const QString &provider);
// The dialect of what a connection text names. The one place that reads the
// engine off the text (its Provider); a file's when none names it.
const Dialect &dialectFor(const QString &connectionText);
// The dialect of an open connection: the one it was opened with.
const Dialect &dialect(const QSqlDatabase &database);

} // namespace db

// The questions callers ask most, put to the connection's dialect.
namespace db {

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
bool isUniqueViolation(const QSqlError &error, const QSqlDatabase &database);
// Ends a write transaction: commits it (or, with commit false, rolls it back),
// after the statements kept during it are reset. False, with the error, when the
// commit fails (the transaction is then rolled back): a TransactionError when the
// COMMIT itself failed (or a ConnectionError), a StatementError when the statement
// held for it (holdForCommit) was refused and the COMMIT never tried.
bool endWrite(QSqlDatabase &database, bool commit, QSqlError *error = nullptr);
// Inside a write transaction: the statement that is to be its last goes with its
// COMMIT (Dialect::commitWith), so that on a server no lock it takes is held while
// the answer travels to the counter and the COMMIT back. Its failure is the
// commit's; a rollback drops it.
void holdForCommit(QSqlDatabase &database, const QString &sql, const QVariantList &values);

} // namespace db
