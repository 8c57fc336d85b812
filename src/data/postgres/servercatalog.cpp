#include "data/postgres/serverinternal.h"

#include "data/engine/pool.h"

#include <QSqlQuery>
#include <algorithm>

// What a server's catalog and its row keys tell a record source: the horizon of
// a table's snapshot, and a relation's columns.
namespace db::serverinternal {

namespace {
// Keys below a record source's horizon that are looked at for rows still in flight at opening.
constexpr qint64 kRecentKeys = 4096;
} // namespace

// Keys come from a sequence and two counters' inserts may commit out of key
// order: a row with a key below the horizon may still be in flight when a record
// source opens. So the opening also lists the keys that are missing in a recent
// window below the horizon (kRecentKeys): those rows are not in the snapshot,
// whenever they commit. Rows older than the window are taken as settled: a write
// holds its key for one insert and its commit, and thousands of later keys do not
// commit in that time.
bool fixHorizon(QSqlDatabase &database, const QString &table, const QString &key, Horizon *horizon,
                                 QSqlError *error)
{
    *horizon = Horizon();
    // The highest key, and how many of the recent keys below it have rows: one
    // pass over the key's index. Mostly none is missing.
    Statement query;
    bool prepared = prepare(&query, database,
                            QStringLiteral("SELECT h.top, (SELECT count(*) FROM %2 WHERE %1 > h.top - ? AND %1 <= h.top) "
                                           "FROM (SELECT max(%1) AS top FROM %2) AS h")
                                .arg(key, table));
    query->addBindValue(kRecentKeys);
    if (!prepared || !query->exec() || !query->next()) {
        *error = query->lastError();
        return false;
    }
    if (query->value(0).isNull())
        return true;
    const qint64 top = query->value(0).toLongLong();
    horizon->top = top;
    if (query->value(1).toLongLong() == top - std::max<qint64>(top - kRecentKeys, 0))
        return true;
    // Some are missing (rows in flight, rolled back or deleted): their runs, as they
    // are missing now. A row that committed since the count was made shows: the
    // record source has shown nothing yet, and it never shows one of these.
    prepared = prepare(&query, database,
                       QStringLiteral("SELECT prev + 1, k - 1 FROM (SELECT k, lag(k, 1, greatest(CAST(? AS bigint) - ?, 0)) "
                                      "OVER (ORDER BY k) AS prev FROM (SELECT %1 AS k FROM %2 "
                                      "WHERE %1 > CAST(? AS bigint) - ? AND %1 <= ?) AS w) AS r WHERE k > prev + 1 ORDER BY k")
                           .arg(key, table));
    for (const qint64 value : {top, kRecentKeys, top, kRecentKeys, top})
        query->addBindValue(value);
    if (!prepared || !query->exec()) {
        *error = query->lastError();
        return false;
    }
    QStringList texts;
    while (query->next()) {
        for (qint64 k = query->value(0).toLongLong(); k <= query->value(1).toLongLong(); ++k) {
            horizon->excluded << k;
            texts << QString::number(k);
        }
    }
    if (query->lastError().isValid()) {
        *error = query->lastError();
        return false;
    }
    if (!horizon->excluded.isEmpty()) {
        // Rows in flight at opening are not in the snapshot, whenever they commit.
        horizon->excludedTerm = QStringLiteral("NOT (%1 = ANY (CAST(? AS bigint[])))").arg(key);
        horizon->excludedValue = u'{' + texts.join(u',') + u'}';
    }
    return true;
}

bool catalogEntry(QSqlDatabase &database, const QString &name, CatalogEntry *entry, bool *found,
                                   QSqlError *error)
{
    *found = false;
    Statement query;
    bool prepared = prepare(&query, database,
                            QStringLiteral("SELECT CASE WHEN c.relkind = 'v' THEN 'view' ELSE 'table' END, c.relname, "
                                           "CAST(c.oid AS bigint) FROM pg_class c "
                                           "JOIN pg_namespace n ON n.oid = c.relnamespace "
                                           "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p', 'v', 'm') "
                                           "AND lower(c.relname) = lower(?) ORDER BY c.relname LIMIT 1"));
    query->addBindValue(name);
    if (!(prepared && query->exec())) {
        *error = query->lastError();
        return false;
    }
    if (!query->next()) {
        *error = query->lastError();
        return !error->isValid();
    }
    *entry = CatalogEntry();
    entry->isView = query->value(0).toString() == QLatin1String("view");
    entry->name = query->value(1).toString();
    const qint64 oid = query->value(2).toLongLong();
    query->finish();
    prepared = prepare(&query, database,
                       QStringLiteral("SELECT attname, format_type(atttypid, atttypmod) FROM pg_attribute "
                                      "WHERE attrelid = CAST(CAST(? AS bigint) AS oid) AND attnum > 0 "
                                      "AND NOT attisdropped ORDER BY attnum"));
    query->addBindValue(oid);
    if (!(prepared && query->exec())) {
        *error = query->lastError();
        return false;
    }
    while (query->next()) {
        const QString column = query->value(0).toString();
        if (column == QLatin1String(kServerKey))
            continue;
        entry->columns << column;
        entry->declared << query->value(1).toString();
    }
    if (query->lastError().isValid()) {
        *error = query->lastError();
        return false;
    }
    *found = true;
    return true;
}

bool relationNames(QSqlDatabase &database, QStringList *tables, QStringList *views,
                   QSqlError *error)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT CASE WHEN c.relkind = 'v' THEN 'view' ELSE 'table' END, c.relname "
                                   "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                                   "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p', 'v', 'm')"))) {
        *error = query.lastError();
        return false;
    }
    while (query.next()) {
        const QString name = query.value(1).toString().toLower();
        *(query.value(0).toString() == QLatin1String("view") ? views : tables) << name;
    }
    if (query.lastError().isValid()) {
        *error = query.lastError();
        return false;
    }
    return true;
}

} // namespace db::serverinternal
