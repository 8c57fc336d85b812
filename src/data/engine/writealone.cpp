#include "data/engine/writealone.h"

#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/engine/pool.h"

namespace db {

Outcome run(QSqlDatabase &database, const QString &sql, const QVariantList &values, QSqlQuery *query)
{
    *query = QSqlQuery(database);
    query->setForwardOnly(true);
    if (!query->prepare(sql))
        return Outcome::failed(describeError(query->lastError(), database));
    for (const QVariant &value : values)
        query->addBindValue(value);
    if (!query->exec())
        return Outcome::failed(describeError(query->lastError(), database));
    return Outcome::ok();
}

Outcome readAlone(const QString &connectionText, const std::function<Outcome(QSqlDatabase &)> &read)
{
    Connection opened;
    QString error;
    if (!opened.open(connectionText, &error))
        return Outcome::failed(error);
    QSqlDatabase database = opened.database();
    return read(database);
}

Outcome writeAlone(const QString &connectionText, const std::function<Outcome(QSqlDatabase &)> &write, bool asService)
{
    Connection opened;
    QString error;
    if (!(asService ? opened.openAsService(connectionText, &error) : opened.open(connectionText, &error)))
        return Outcome::failed(error);
    QSqlDatabase database = opened.database();
    QSqlError failure;
    if (!beginWrite(database, &failure))
        return Outcome::failed(describeError(failure, database));
    Outcome outcome = write(database);
    if (!endWrite(database, outcome.isOk(), &failure) && outcome.isOk())
        return Outcome::failed(describeError(failure, database));
    return outcome;
}

} // namespace db
