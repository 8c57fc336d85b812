#include "data/newdb/fill_p.h"

#include "data/engine/catalog.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"

#include <QSqlQuery>

// The connection and the one transaction every kind of Fill shares.
namespace db::filling {

namespace {

bool makesIndex(const QString &statement)
{
    return statement.startsWith(QLatin1String("CREATE INDEX"), Qt::CaseInsensitive)
        || statement.startsWith(QLatin1String("CREATE UNIQUE INDEX"), Qt::CaseInsensitive);
}

} // namespace

bool PooledFill::start(bool existing, QString *error)
{
    QSqlDatabase connection = database();
    const Dialect &engine = dialect(connection);
    if (existing && !verifyOpen(connection, error))
        return false;
    QSqlError failure;
    if (!engine.prepareBulkWrite(connection, !existing, &failure) || !beginWrite(connection, &failure)) {
        *error = describeError(failure, connection);
        return false;
    }
    pending_ = true;
    if (existing) {
        // The rows come in as they were (an old program's dates and amounts):
        // the rules of a clerk's rows are lifted until the commit puts them back.
        if (engine.lockTables(connection, {QStringLiteral("daftar"), QStringLiteral("nabubg"),
                                           QStringLiteral("tpassword")},
                              &failure))
            return runAll(connection, engine.ruleStatements(false), error);
        *error = describeError(failure, connection);
        return false;
    }
    QStringList first;
    for (const QString &statement : engine.schemaStatements())
        (makesIndex(statement) ? indexes_ : first) << statement;
    if (!runAll(connection, first, error))
        return false;
    const Outcome secured = operators::secure(connection, &access_);
    if (!secured.isOk())
        *error = secured.message();
    return secured.isOk();
}

bool PooledFill::commit(QString *error)
{
    QSqlDatabase connection = database();
    if (!runAll(connection, indexes_, error) || !runAll(connection, dialect(connection).ruleStatements(true), error)
        || !runAll(connection, {QStringLiteral("COMMIT")}, error))
        return false;
    pending_ = false;
    QSqlError failure;
    if (made_ && !dialect(connection).finishNewDatabase(connection, &failure)) {
        *error = describeError(failure, connection);
        return false;
    }
    return true;
}

void PooledFill::close()
{
    if (pending_)
        QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
    pending_ = false;
    closeConnection(name_);
    name_.clear();
}

} // namespace db::filling
