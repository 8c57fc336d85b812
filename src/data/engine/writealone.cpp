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
    QString name, error;
    if (!openConnection(connectionText, &name, &error))
        return Outcome::failed(error);
    Outcome outcome;
    {
        QSqlDatabase database = connection(name);
        outcome = read(database);
    }
    closeConnection(name);
    return outcome;
}

Outcome writeAlone(const QString &connectionText, const std::function<Outcome(QSqlDatabase &)> &write, bool asService)
{
    QString name, error;
    if (!(asService ? openServiceConnection(connectionText, &name, &error)
                    : openConnection(connectionText, &name, &error)))
        return Outcome::failed(error);
    Outcome outcome;
    {
        QSqlDatabase database = connection(name);
        QSqlError failure;
        if (!beginWrite(database, &failure)) {
            outcome = Outcome::failed(describeError(failure, database));
        } else {
            outcome = write(database);
            if (!endWrite(database, outcome.isOk(), &failure) && outcome.isOk())
                outcome = Outcome::failed(describeError(failure, database));
        }
    }
    closeConnection(name);
    return outcome;
}

} // namespace db
