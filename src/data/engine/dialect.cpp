#include "data/engine/dialect.h"

#include "data/engine/connectiontext.h"
#include "data/engine/pool.h"

#include <QHash>
#include <QSqlQuery>

namespace db {

namespace {
QList<const Dialect *> &registered()
{
    static QList<const Dialect *> dialects;
    return dialects;
}

const Dialect &fileDialect()
{
    Q_ASSERT_X(!registered().isEmpty(), "db::dialectFor", "no engine registered");
    return *registered().constFirst();
}
} // namespace

void registerDialect(const Dialect &dialect)
{
    if (!registered().contains(&dialect))
        registered().append(&dialect);
}

const Dialect *dialectNamed(const QString &provider)
{
    for (const Dialect *dialect : std::as_const(registered()))
        if (dialect->isProvider(provider))
            return dialect;
    return nullptr;
}

const Dialect &dialectFor(const QString &connectionText)
{
    // The engine is chosen here, from the connection text's Provider, and
    // nowhere else: every connection carries the dialect it was opened with.
    const Dialect *named = dialectNamed(connectionValue(connectionText, QStringLiteral("Provider")));
    return named ? *named : fileDialect();
}

bool openFile(const QString &file, QString *connectionName, QString *error)
{
    return fileDialect().openFile(file, connectionName, error);
}

const Dialect &dialect(const QSqlDatabase &database)
{
    // A connection the pool did not open (a test's own) is taken for a file's.
    const pool::Entry *entry = pool::entry(database.connectionName());
    return entry ? *entry->dialect : fileDialect();
}

QString keyColumn(const QSqlDatabase &database)
{
    return dialect(database).keyColumn();
}

namespace {
struct Held {
    QString sql;
    QVariantList values;
};
// The statement each connection's write transaction holds for its COMMIT.
QHash<QString, Held> &held()
{
    static QHash<QString, Held> all;
    return all;
}

// Commits; a failed COMMIT is told as a TransactionError (a lost connection as
// the ConnectionError it is), and its transaction rolled back.
bool commitNow(QSqlQuery &query, QSqlError *error)
{
    if (query.exec(QStringLiteral("COMMIT")))
        return true;
    const QSqlError failed = query.lastError();
    if (error)
        *error = QSqlError(failed.driverText(), failed.databaseText(),
                           failed.type() == QSqlError::ConnectionError ? failed.type() : QSqlError::TransactionError,
                           failed.nativeErrorCode());
    query.exec(QStringLiteral("ROLLBACK"));
    return false;
}
} // namespace

bool Dialect::commitWith(QSqlDatabase &database, const QString &sql, const QVariantList &values,
                         QSqlError *error) const
{
    QSqlQuery query(database);
    const bool prepared = query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (prepared && query.exec())
        return commitNow(query, error);
    if (error)
        *error = query.lastError();
    query.exec(QStringLiteral("ROLLBACK"));
    return false;
}

bool beginWrite(QSqlDatabase &database, QSqlError *error)
{
    held().remove(database.connectionName());
    return dialect(database).beginWrite(database, error);
}

void holdForCommit(QSqlDatabase &database, const QString &sql, const QVariantList &values)
{
    held().insert(database.connectionName(), Held{sql, values});
}

bool writeLock(QSqlDatabase &database, const QString &scope, const QString &value, QSqlError *error)
{
    return dialect(database).writeLock(database, scope, value, error);
}

QString rowLockClause(const QSqlDatabase &database)
{
    return dialect(database).rowLockClause();
}

bool isUniqueViolation(const QSqlError &error, const QSqlDatabase &database)
{
    return dialect(database).isUniqueViolation(error);
}

bool endWrite(QSqlDatabase &database, bool commit, QSqlError *error)
{
    pool::finishStatements(database.connectionName());
    const Held last = held().take(database.connectionName());
    QSqlQuery query(database);
    if (!commit) {
        query.exec(QStringLiteral("ROLLBACK"));
        return true;
    }
    if (!last.sql.isEmpty())
        return dialect(database).commitWith(database, last.sql, last.values, error);
    return commitNow(query, error);
}

} // namespace db
