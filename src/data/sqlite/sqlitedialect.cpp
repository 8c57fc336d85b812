// The dialect of a file: what differs in SQLite, answered from the file engine's
// own pieces (sqlite_p.h) and the file's catalog.
#include "data/sqlite/sqlitedialect.h"

#include "data/sqlite/sqlite_p.h"
#include "data/base/passwords.h"
#include "data/engine/connectiontext.h"
#include "data/engine/messages.h"
#include "data/engine/pool.h"

#include <QSqlQuery>

namespace db {

namespace {

class SqliteDialect final : public Dialect
{
public:
    bool countsTablesWhole() const override { return true; }
    QString describedLocation(const QString &connectionText) const override
    {
        return fileFromConnectionText(connectionText);
    }
    bool openFile(const QString &file, QString *connectionName, QString *error) const override
    {
        return openSqliteFile(file, false, connectionName, error);
    }
    // A file is named as the old program named its Access file.
    bool isProvider(const QString &provider) const override
    {
        return provider.startsWith(QLatin1String("Microsoft.Jet.OLEDB"), Qt::CaseInsensitive);
    }
    bool checkSource(const QString &, QString *) const override { return true; }
    std::optional<QString> fileOf(const QString &connectionText) const override
    {
        return fileFromConnectionText(connectionText);
    }
    bool open(const QString &connectionText, QString *connectionName, QString *error) const override
    {
        return openSqliteFile(fileFromConnectionText(connectionText), false, connectionName, error);
    }
    bool reopen(QSqlDatabase &, const QString &, QString *) const override { return true; }
    bool lost(const QSqlDatabase &) const override { return false; }
    bool mayKeepOpen(const QSqlDatabase &) const override { return false; }
    bool keepsStatements(const QSqlDatabase &database) const override
    {
        // Inside a transaction (a write): its statements are reset when it ends.
        sqlite3 *handle = fileinternal::handleOf(database);
        return handle && sqlite3_get_autocommit(handle) == 0;
    }

    QString keyColumn() const override { return QStringLiteral("rowid"); }
    bool keyIsColumn() const override { return false; }
    QString lastLedgerRowJoin() const override
    {
        // The row's key found down the index (which ends in the rowid), then the row
        // itself by its rowid.
        return QStringLiteral("LEFT JOIN nabubg AS akhir ON akhir.rowid = (SELECT terakhir.rowid FROM nabubg AS terakhir "
                              "WHERE terakhir.norekening = daftar.norekening AND terakhir.TANGGAL < ? "
                              "AND terakhir.rowid <= (SELECT batas.rowid FROM nabubg AS batas WHERE batas.TANGGAL < ? "
                              "ORDER BY batas.rowid DESC LIMIT 1) "
                              "ORDER BY terakhir.rowid DESC LIMIT 1)");
    }
    bool beginWrite(QSqlDatabase &database, QSqlError *error) const override
    {
        // Waits for, and then shuts out, every other writer of the file.
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return true;
        *error = query.lastError();
        return false;
    }
    bool writeLock(QSqlDatabase &, const QString &, const QString &, QSqlError *) const override
    {
        return true; // writers of a file never interleave
    }
    QString rowLockClause() const override { return {}; }
    bool isUniqueViolation(const QSqlError &error) const override
    {
        return error.nativeErrorCode() == QLatin1String("2067"); // SQLITE_CONSTRAINT_UNIQUE
    }
    QString columnTerm(const QString &quotedColumn, const QString &value, schema::Kind,
                       QVariantList *values) const override
    {
        *values << value;
        return QStringLiteral("%1 = ?").arg(quotedColumn);
    }
    bool fixHorizon(QSqlDatabase &database, const QString &table, const QString &key, Horizon *horizon,
                    QSqlError *error) const override
    {
        // Rows are committed in key order (one writer at a time takes the next key).
        *horizon = Horizon();
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT max(%1) FROM %2").arg(key, table)) || !query.next()) {
            *error = query.lastError();
            return false;
        }
        if (!query.value(0).isNull())
            horizon->top = query.value(0).toLongLong();
        return true;
    }

    bool relationNames(QSqlDatabase &database, QStringList *tables, QStringList *views,
                       QSqlError *error) const override
    {
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT type, name FROM sqlite_master"))) {
            *error = query.lastError();
            return false;
        }
        while (query.next()) {
            const QString type = query.value(0).toString();
            const QString name = query.value(1).toString().toLower();
            if (type == QLatin1String("view"))
                *views << name;
            else if (type == QLatin1String("table"))
                *tables << name;
        }
        if (query.lastError().isValid()) {
            *error = query.lastError();
            return false;
        }
        return true;
    }
    bool catalogEntry(QSqlDatabase &database, const QString &name, CatalogEntry *entry, bool *found,
                      QSqlError *error) const override
    {
        *found = false;
        Statement query;
        const bool prepared = prepare(&query, database,
                                      QStringLiteral("SELECT type, name FROM sqlite_master "
                                                     "WHERE type IN ('table', 'view') AND lower(name) = lower(?)"));
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
        query->finish();
        // A statement of its own: the one above may be kept for its next use.
        QSqlQuery columns(database);
        columns.setForwardOnly(true);
        if (!columns.exec(QStringLiteral("PRAGMA table_info(%1)").arg(schema::quoted(entry->name)))) {
            *error = columns.lastError();
            return false;
        }
        while (columns.next()) {
            entry->columns << columns.value(1).toString();
            entry->declared << columns.value(2).toString();
        }
        if (columns.lastError().isValid()) {
            *error = columns.lastError();
            return false;
        }
        *found = true;
        return true;
    }

    QStringList schemaStatements() const override { return fileinternal::schemaStatements(); }
    QStringList trailStatements() const override { return fileinternal::trailStatements(); }
    QStringList trailTriggers() const override { return fileinternal::trailTriggers(); }
    bool triggersInForce(QSqlDatabase &database, QStringList *names, QSqlError *error) const override
    {
        names->clear();
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger'"))) {
            *error = query.lastError();
            return false;
        }
        while (query.next())
            *names << query.value(0).toString();
        return true;
    }
    bool ownerRole(QSqlDatabase &, QString *role, QSqlError *) const override
    {
        role->clear();
        return true;
    }
    QStringList trailRuleStatements(bool enforced) const override
    {
        return fileinternal::trailRuleStatements(enforced);
    }
    QStringList ruleStatements(bool enforced) const override { return fileinternal::ruleStatements(enforced); }
    bool awaitTrailWriters(QSqlDatabase &, QSqlError *) const override { return true; }
    bool sealsTrail() const override { return false; }
    std::unique_ptr<RowStream> stream(QSqlDatabase &database, const QString &sql) const override
    {
        return fileinternal::streamOf(fileinternal::handleOf(database), sql);
    }
    bool beginSnapshot(QSqlDatabase &database, QSqlError *error) const override
    {
        // A read transaction: its first read fixes the snapshot for all that follow.
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("BEGIN")))
            return true;
        *error = query.lastError();
        return false;
    }

    bool keepsTimeOfDay() const override { return true; }
    bool prepareBulkWrite(QSqlDatabase &database, bool newDatabase, QSqlError *error) const override
    {
        return fileinternal::prepareBulkWrite(database, newDatabase, error);
    }
    bool finishNewDatabase(QSqlDatabase &database, QSqlError *error) const override
    {
        return fileinternal::finishNewDatabase(database, error);
    }
    bool lockTables(QSqlDatabase &, const QStringList &, QSqlError *) const override
    {
        return true; // a write transaction on a file already keeps every other writer out
    }
    std::unique_ptr<RowSink> sink(QSqlDatabase &database, const QString &table,
                                  const QStringList &columns) const override
    {
        return fileinternal::sinkOf(fileinternal::handleOf(database), table, columns);
    }
    bool keysGiven(QSqlDatabase &, const QString &, QSqlError *) const override
    {
        return true; // a new rowid is always past the largest
    }
    std::optional<QByteArray> unusablePassword() const override { return QByteArray(passwords::kUnusable); }

    // A file has no roles: only the supervisors' and settings' tables where missing.
    Outcome secureOperators(QSqlDatabase &database, RoleAccess *) const override
    {
        return fileinternal::makeSupervision(database);
    }

    QString describeError(const QSqlError &error, const QSqlDatabase &database) const override
    {
        return describeFileError(error, location(database));
    }
    QString incompleteText(const QString &location, const QString &missing) const override
    {
        return fileIncompleteText(location, missing);
    }
    QString noTrailText(const QString &location, const QString &) const override
    {
        return fileNoTrailText(location);
    }
};

} // namespace

const Dialect &sqliteDialect()
{
    static const SqliteDialect dialect;
    return dialect;
}

} // namespace db
