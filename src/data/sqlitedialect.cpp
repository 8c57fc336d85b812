#include "sqlitedialect.h"

#include "connectiontext.h"
#include "messages.h"
#include "pool.h"

#include <QFileInfo>
#include <QSqlQuery>

namespace db {

namespace {

// The file is read through SQLite only, never opened by the program itself: a
// descriptor of its own on the file, once closed, would drop the locks by which
// every connection of this program tells other programs that it uses the file
// (another SIMPARO closing would then take the write-ahead log away under it).
bool readsAsSqlite(QSqlDatabase &database, const QString &file, QString *error)
{
    QSqlQuery query(database);
    if (query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        return true;
    // A file that is no database is told as such (SQLITE_NOTADB).
    *error = describeError(query.lastError(), file);
    return false;
}

// Every write is committed when it is made and survives a power cut; a connection
// on which that cannot be had is refused.
bool makeDurable(QSqlDatabase &database, const QString &file, bool allowCreate, QString *error)
{
    const pool::SessionOptions &options = pool::sessionOptions();
    QSqlQuery pragma(database);
    if (!pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"))) {
        *error = describeError(pragma.lastError(), file);
        return false;
    }
    // Each screen holds a connection for as long as it is open; the system's file
    // cache keeps the pages warm, so each needs only a small cache.
    pragma.exec(QStringLiteral("PRAGMA cache_size=-512"));
    // A new file gets its journal from its maker, once it is filled.
    if (!allowCreate && options.writeAheadLog && !options.readOnly && pragma.exec(QStringLiteral("PRAGMA journal_mode"))
        && pragma.next() && pragma.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        // Without the write-ahead log (another program holds the file, or its file
        // system has no shared memory) the rollback journal serves; writes work either way.
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    }
    if (!pragma.exec(QStringLiteral("PRAGMA synchronous")) || !pragma.next()) {
        *error = describeError(pragma.lastError(), file);
        return false;
    }
    if (pragma.value(0).toInt() < 2 && !allowCreate) {
        *error = unsafeFileText(file);
        return false;
    }
    return true;
}

class SqliteDialect final : public Dialect
{
public:
    QString describedLocation(const QString &connectionText) const override
    {
        return fileFromConnectionText(connectionText);
    }
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
    bool keepsStatements() const override { return false; }

    QString keyColumn() const override { return QStringLiteral("rowid"); }
    bool keyIsColumn() const override { return false; }
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
        if (!query->exec(QStringLiteral("PRAGMA table_info(%1)").arg(schema::quoted(entry->name)))) {
            *error = query->lastError();
            return false;
        }
        while (query->next()) {
            entry->columns << query->value(1).toString();
            entry->declared << query->value(2).toString();
        }
        if (query->lastError().isValid()) {
            *error = query->lastError();
            return false;
        }
        *found = true;
        return true;
    }

    QStringList schemaStatements() const override
    {
        return {
            createTable(schema::daftar()),
            QStringLiteral("CREATE INDEX daftar_nama ON daftar (nama)"),
            createTable(schema::nabubg()),
            QStringLiteral("CREATE INDEX nabubg_norekening ON nabubg (norekening)"),
            createTable(schema::tpassword()),
            QStringLiteral("CREATE INDEX tpassword_user ON tpassword (\"user\")"),
            QStringLiteral("CREATE VIEW Qpass AS SELECT \"user\", \"password\" FROM tpassword ORDER BY rowid"),
        };
    }

    bool keepsTimeOfDay() const override { return true; }
    bool prepareBulkWrite(QSqlDatabase &database, bool newDatabase, QSqlError *error) const override
    {
        // A larger cache spares re-reads while an index is built over all rows at once.
        QStringList pragmas{QStringLiteral("PRAGMA cache_size=-16384")};
        if (newDatabase)
            pragmas << QStringLiteral("PRAGMA journal_mode=MEMORY");
        return run(database, pragmas, error);
    }
    bool finishNewDatabase(QSqlDatabase &database, QSqlError *error) const override
    {
        // The write-ahead log from the first opening on, as the program opens a file.
        return run(database, {QStringLiteral("PRAGMA journal_mode=WAL")}, error);
    }
    bool lockTables(QSqlDatabase &, const QStringList &, QSqlError *) const override
    {
        return true; // a write transaction on a file already keeps every other writer out
    }

    QString describeError(const QSqlError &error, const QSqlDatabase &database) const override
    {
        return db::describeError(error, location(database));
    }
    QString incompleteText(const QString &location, const QString &missing) const override
    {
        return fileIncompleteText(location, missing);
    }

private:
    static bool run(QSqlDatabase &database, const QStringList &statements, QSqlError *error)
    {
        QSqlQuery query(database);
        for (const QString &statement : statements) {
            if (!query.exec(statement)) {
                *error = query.lastError();
                return false;
            }
        }
        return true;
    }
    static QString columnType(schema::Kind kind)
    {
        switch (kind) {
        case schema::Kind::Text: return QStringLiteral("TEXT");
        case schema::Kind::Number: return QStringLiteral("DOUBLE");
        case schema::Kind::Date: return QStringLiteral("DATE");
        }
        return QStringLiteral("TEXT");
    }
    static QString createTable(const schema::Table &table)
    {
        QStringList columns;
        for (const schema::Column &column : table.columns) {
            QString definition = schema::quoted(column.name) + u' ' + columnType(column.kind);
            // An account number identifies a customer: never empty, at most 10 characters, unique.
            if (&table == &schema::daftar() && column.name == QLatin1String("norekening"))
                definition += QStringLiteral(" NOT NULL UNIQUE CHECK (length(norekening) BETWEEN 1 AND 10)");
            columns << definition;
        }
        return QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, columns.join(QStringLiteral(", ")));
    }
};

} // namespace

const Dialect &sqliteDialect()
{
    static const SqliteDialect dialect;
    return dialect;
}

bool openSqliteFile(const QString &file, bool allowCreate, QString *connectionName, QString *error)
{
    if (!allowCreate) {
        if (!QFileInfo::exists(file)) {
            *error = notFoundText(file);
            return false;
        }
        // An empty file is what SQLite itself makes of a new database; it holds no tables.
        if (QFileInfo(file).size() == 0) {
            *error = notSqliteText(file);
            return false;
        }
    }
    const pool::SessionOptions &options = pool::sessionOptions();
    QString name;
    bool ok = true;
    {
        QSqlDatabase database = pool::add(QStringLiteral("QSQLITE"), &sqliteDialect(), file, file, &name);
        database.setDatabaseName(file);
        QString connectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(options.busyTimeout);
        if (options.readOnly && !allowCreate)
            connectOptions += QStringLiteral(";QSQLITE_OPEN_READONLY");
        database.setConnectOptions(connectOptions);
        if (!database.open()) {
            *error = describeError(database.lastError(), file);
            ok = false;
        } else if (!allowCreate && !readsAsSqlite(database, file, error)) {
            ok = false;
        } else if (!makeDurable(database, file, allowCreate, error)) {
            ok = false;
        }
    }
    if (!ok) {
        closeConnection(name);
        return false;
    }
    *connectionName = name;
    return true;
}

} // namespace db
