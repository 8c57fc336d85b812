#include "data/engine/catalog.h"

#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/engine/pool.h"

namespace db {

bool findRelation(QSqlDatabase &database, const QString &name, Relation *relation, QString *error)
{
    const Dialect &engine = dialect(database);
    CatalogEntry entry;
    bool found = false;
    QSqlError failure;
    if (!engine.catalogEntry(database, name, &entry, &found, &failure)) {
        *error = describeError(failure, database);
        return false;
    }
    if (!found) {
        *error = engine.incompleteText(location(database), name);
        return false;
    }
    *relation = Relation();
    relation->name = entry.name;
    relation->isView = entry.isView;
    relation->columns = entry.columns;
    // One of the program's own tables shows its columns as the program spells them.
    const schema::Table *known = schema::table(relation->name);
    const bool same = known && known->columns.size() == relation->columns.size()
                      && std::equal(relation->columns.cbegin(), relation->columns.cend(), known->columns.cbegin(),
                                    [](const QString &a, const schema::Column &b) {
                                        return a.compare(b.name, Qt::CaseInsensitive) == 0;
                                    });
    for (int i = 0; i < relation->columns.size(); ++i) {
        relation->shownColumns << (same ? known->columns.at(i).name : relation->columns.at(i));
        relation->kinds << (same ? known->columns.at(i).kind : schema::kindOfDeclaredType(entry.declared.at(i)));
    }
    return true;
}

bool presentRelations(QSqlDatabase &database, QStringList *present, QSqlError *error)
{
    QStringList tables, views;
    if (!dialect(database).relationNames(database, &tables, &views, error))
        return false;
    for (const char *t : {"daftar", "nabubg", "tpassword", "qpass", "jejak"})
        if (tables.contains(QLatin1String(t)) || views.contains(QLatin1String(t)))
            *present << QLatin1String(t);
    return true;
}

bool missingRelations(QSqlDatabase &database, QStringList *missing, QSqlError *error)
{
    QStringList tables, views;
    if (!dialect(database).relationNames(database, &tables, &views, error))
        return false;
    for (const char *t : {"daftar", "nabubg", "tpassword"})
        if (!tables.contains(QLatin1String(t)))
            *missing << QStringLiteral("tabel %1").arg(QLatin1String(t));
    if (!views.contains(QLatin1String("qpass")) && !tables.contains(QLatin1String("qpass")))
        *missing << QStringLiteral("query Qpass");
    return true;
}

bool verifyOpen(QSqlDatabase &database, QString *error)
{
    QStringList missing;
    QSqlError failure;
    if (!missingRelations(database, &missing, &failure)) {
        *error = describeError(failure, database);
        return false;
    }
    if (!missing.isEmpty()) {
        *error = dialect(database).incompleteText(location(database), missing.join(QStringLiteral(", ")));
        return false;
    }
    // A database made before the audit trail is given it by simparo-initdb --upgrade.
    bool trail = false;
    if (!hasTrail(database, &trail, &failure)) {
        *error = describeError(failure, database);
        return false;
    }
    if (!trail) {
        const pool::Entry *entry = pool::entry(database.connectionName());
        *error = dialect(database).noTrailText(location(database), entry ? entry->source : database.databaseName());
        return false;
    }
    return true;
}

bool hasTrail(QSqlDatabase &database, bool *present, QSqlError *error)
{
    QStringList tables, views;
    if (!dialect(database).relationNames(database, &tables, &views, error))
        return false;
    *present = tables.contains(QLatin1String("jejak"));
    return true;
}

namespace {
bool verifyOpened(const Connection &opened, QString *error)
{
    QSqlDatabase database = QSqlDatabase::database(opened.name(), false);
    return verifyOpen(database, error);
}
} // namespace

bool verifyDatabase(const QString &file, QString *error)
{
    Connection opened;
    return opened.openFile(file, error) && verifyOpened(opened, error);
}

bool verifyConnection(const QString &connectionText, QString *error)
{
    Connection opened;
    return opened.open(connectionText, error) && verifyOpened(opened, error);
}

ServiceState probeService(const QString &service, QString *message)
{
    const QString text = serviceConnectionText(service);
    QString problem;
    if (!checkConnectionText(text, &problem)) {
        *message = invalidConnectionText(problem);
        return ServiceState::Unusable;
    }
    Connection opened;
    if (!opened.open(text, message))
        return ServiceState::Unusable;
    QSqlDatabase database = opened.database();
    QStringList present;
    QSqlError failure;
    if (!presentRelations(database, &present, &failure)) {
        *message = describeError(failure, database);
        return ServiceState::Unusable;
    }
    if (present.isEmpty()) {
        *message = location(database);
        return ServiceState::Empty;
    }
    if (!verifyOpen(database, message))
        return ServiceState::Unusable;
    *message = location(database);
    return ServiceState::Ready;
}

} // namespace db
