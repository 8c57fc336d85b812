#include "data/engine/writealone.h"

#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/engine/pool.h"

namespace db {

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
