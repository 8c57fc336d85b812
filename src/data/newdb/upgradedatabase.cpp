#include "data/newdb/newdatabase.h"

#include "data/trail/audit.h"
#include "data/trail/registertrail.h"
#include "data/engine/catalog.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"

#include <QSqlQuery>

// Giving a database made before the audit trail its trail, and its operators
// their roles.
namespace db {

namespace {

// The table jejak, its indexes and rules, and its first row (pasang jejak), which
// covers the ledger's and the register's rows as they stand.
Outcome installTrail(QSqlDatabase &database, const Dialect &engine, audit::Coverage *covered)
{
    QSqlQuery query(database);
    for (const QString &statement : engine.trailStatements()) {
        if (!query.exec(statement))
            return Outcome::failed(describeError(query.lastError(), database));
    }
    Outcome outcome = audit::coverLedger(database, covered);
    if (!outcome.isOk())
        return outcome;
    audit::Entry entry;
    entry.tindakan = QLatin1String(audit::action::kTrailInstalled);
    entry.tabel = QStringLiteral("nabubg");
    // The register's rows as they stand are recorded the same way.
    audit::RegisterCoverage customers;
    outcome = audit::coverRegister(database, &customers);
    entry.rincian = audit::coverageDetails(*covered) + u'\n' + audit::registerCoverageDetails(customers);
    if (outcome.isOk())
        outcome = audit::append(database, entry);
    return outcome;
}

// Inside the write transaction: the trail when the database has none, the roles
// of its operators, and the rules of a clerk's rows.
Outcome bringUpToDate(QSqlDatabase &database, bool withTrail, operators::Access *access, audit::Coverage *covered)
{
    const Dialect &engine = dialect(database);
    Outcome outcome = withTrail ? Outcome::ok() : installTrail(database, engine, covered);
    if (outcome.isOk())
        outcome = operators::secure(database, access);
    if (outcome.isOk()) {
        QString failed;
        if (!runAll(database, engine.ruleStatements(true), &failed))
            outcome = Outcome::failed(failed);
    }
    return outcome;
}

} // namespace

bool upgradeDatabase(const QString &connectionText, audit::Coverage *covered, QString *error)
{
    operators::Access access;
    bool installed = false;
    return upgradeDatabase(connectionText, &access, covered, &installed, error);
}

bool upgradeDatabase(const QString &connectionText, operators::Access *access, audit::Coverage *covered,
                     bool *trailInstalled, QString *error)
{
    *trailInstalled = false;
    *covered = audit::Coverage();
    // The owner's work: as the role the service names, whoever logged in.
    Connection opened;
    if (!opened.openAsService(connectionText, error))
        return false;
    bool ok = false;
    {
        QSqlDatabase database = opened.database();
        QStringList missing;
        QSqlError failure;
        bool trail = false;
        if (!missingRelations(database, &missing, &failure) || !hasTrail(database, &trail, &failure)) {
            *error = describeError(failure, database);
        } else if (!missing.isEmpty()) {
            *error = dialect(database).incompleteText(location(database), missing.join(QStringLiteral(", ")));
        } else if (!beginWrite(database, &failure)) {
            *error = describeError(failure, database);
        } else {
            // The trail's statements keep every writer of nabubg out until the
            // commit, so the rows covered are all the rows there are.
            const Outcome outcome = bringUpToDate(database, trail, access, covered);
            ok = outcome.isOk();
            if (!ok)
                *error = outcome.message();
            if (!endWrite(database, ok, &failure) && ok) {
                *error = describeError(failure, database);
                ok = false;
            }
            *trailInstalled = ok && !trail;
        }
    }
    return ok;
}

} // namespace db
