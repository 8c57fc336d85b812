#include "dialect.h"

#include "connectiontext.h"
#include "pool.h"
#include "postgresdialect.h"
#include "sqlitedialect.h"

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

bool beginWrite(QSqlDatabase &database, QSqlError *error)
{
    return dialect(database).beginWrite(database, error);
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
    QSqlQuery query(database);
    if (!commit) {
        query.exec(QStringLiteral("ROLLBACK"));
        return true;
    }
    if (query.exec(QStringLiteral("COMMIT")))
        return true;
    if (error)
        *error = query.lastError();
    query.exec(QStringLiteral("ROLLBACK"));
    return false;
}

} // namespace db
