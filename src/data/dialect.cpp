#include "dialect.h"

#include "connectiontext.h"
#include "pool.h"
#include "postgresdialect.h"
#include "sqlitedialect.h"

#include <QHash>
#include <QSqlQuery>

namespace db {

const Dialect &dialectFor(const QString &connectionText)
{
    // The engine is chosen here, from the connection text's Provider, and
    // nowhere else: every connection carries the dialect it was opened with.
    const bool server = connectionValue(connectionText, QStringLiteral("Provider"))
                            .compare(QLatin1String(kServerProvider), Qt::CaseInsensitive) == 0;
    return server ? postgresDialect() : sqliteDialect();
}

const Dialect &dialect(const QSqlDatabase &database)
{
    // A connection the pool did not open (a test's own) is taken for a file's.
    const pool::Entry *entry = pool::entry(database.connectionName());
    return entry ? *entry->dialect : sqliteDialect();
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
} // namespace

QSqlError commitFailure(const QSqlError &error)
{
    return QSqlError(error.driverText(), error.databaseText(),
                     error.type() == QSqlError::ConnectionError ? error.type() : QSqlError::TransactionError,
                     error.nativeErrorCode());
}

bool Dialect::commitWith(QSqlDatabase &database, const QString &sql, const QVariantList &values,
                         QSqlError *error) const
{
    QSqlQuery query(database);
    bool ok = query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    const bool done = ok && query.exec();
    if (done && query.exec(QStringLiteral("COMMIT")))
        return true;
    if (error)
        *error = done ? commitFailure(query.lastError()) : query.lastError();
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
    if (!last.sql.isEmpty()) {
        QSqlError failure;
        if (dialect(database).commitWith(database, last.sql, last.values, &failure))
            return true;
        if (error)
            *error = failure;
        return false;
    }
    if (query.exec(QStringLiteral("COMMIT")))
        return true;
    if (error)
        *error = commitFailure(query.lastError());
    query.exec(QStringLiteral("ROLLBACK"));
    return false;
}

} // namespace db
