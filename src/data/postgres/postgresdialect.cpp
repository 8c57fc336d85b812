#include "data/postgres/postgresdialect.h"
#include "data/postgres/serverinternal.h"

#include "data/base/trailnames.h"
#include "data/engine/connectiontext.h"
#include "data/postgres/linkwatch.h"
#include "data/engine/messages.h"
#include "data/engine/pool.h"
#include "data/postgres/postgresoperators.h"
#include "data/postgres/serversettings.h"
#include "data/base/sqlscript.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QThread>
#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include <cerrno>
#include <poll.h>

#include <libpq-fe.h>

namespace db {

using namespace serverinternal;

namespace {

// The first column of every row of a statement of the program's own on the catalog.
bool catalogNames(QSqlDatabase &database, const QString &sql, QStringList *names, QSqlError *error)
{
    names->clear();
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(sql)) {
        *error = query.lastError();
        return false;
    }
    while (query.next())
        *names << query.value(0).toString();
    return true;
}

class PostgresDialect final : public Dialect
{
public:
    QString describedLocation(const QString &connectionText) const override
    {
        return serverLocation(connectionValue(connectionText, QStringLiteral("Data Source")));
    }
    bool openFile(const QString &file, QString *, QString *error) const override
    {
        *error = QStringLiteral("%1 bukan database server.").arg(file);
        return false;
    }
    bool isProvider(const QString &provider) const override
    {
        return provider.compare(QLatin1String(kServerProvider), Qt::CaseInsensitive) == 0;
    }
    // A service's name, as pg_service.conf names it.
    bool checkSource(const QString &source, QString *problem) const override
    {
        static const QRegularExpression serviceName(QStringLiteral("^[A-Za-z0-9_.-]+$"));
        if (serviceName.match(source).hasMatch())
            return true;
        *problem = QStringLiteral("nama layanan \"%1\" tidak sah (hanya huruf, angka, titik, garis bawah dan tanda minus)")
                       .arg(source);
        return false;
    }
    std::optional<QString> fileOf(const QString &) const override { return std::nullopt; }
    bool open(const QString &connectionText, QString *connectionName, QString *error) const override
    {
        return openServer(connectionValue(connectionText, QStringLiteral("Data Source")), connectionName, error);
    }
    bool openAsService(const QString &connectionText, QString *connectionName, QString *error) const override
    {
        return openServerAsService(connectionValue(connectionText, QStringLiteral("Data Source")), connectionName,
                                   error);
    }
    bool reopen(QSqlDatabase &database, const QString &source, QString *error) const override
    {
        return startSession(database, source, error);
    }
    bool lost(const QSqlDatabase &database) const override { return connectionLost(database); }
    bool mayKeepOpen(const QSqlDatabase &database) const override
    {
        PGconn *handle = handleOf(database);
        return handle && !connectionLost(database) && PQtransactionStatus(handle) == PQTRANS_IDLE;
    }
    bool keepsStatements(const QSqlDatabase &) const override { return true; }
    void closing(const QString &connectionName) const override { linkwatch::unwatch(connectionName); }

    QString keyColumn() const override { return QString::fromLatin1(kServerKey); }
    bool keyIsColumn() const override { return true; }
    QString lastLedgerRowJoin() const override
    {
        // A lateral join with a limit: the planner walks the index for each account
        // (never a scan of the whole ledger to hash it).
        return QStringLiteral("LEFT JOIN LATERAL (SELECT terakhir.saldo, terakhir.TANGGAL FROM nabubg AS terakhir "
                              "WHERE terakhir.norekening = daftar.norekening AND terakhir.TANGGAL < ? "
                              "AND terakhir.%1 <= (SELECT batas.%1 FROM nabubg AS batas WHERE batas.TANGGAL < ? "
                              "ORDER BY batas.%1 DESC LIMIT 1) "
                              "ORDER BY terakhir.%1 DESC LIMIT 1) AS akhir ON true")
            .arg(QLatin1String(kServerKey));
    }
    bool beginWrite(QSqlDatabase &database, QSqlError *error) const override
    {
        // A server's writes read the latest committed rows statement by statement
        // (READ COMMITTED); those that must not interleave take writeLock().
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("BEGIN ISOLATION LEVEL READ COMMITTED")))
            return true;
        *error = query.lastError();
        return false;
    }
    bool commitWith(QSqlDatabase &database, const QString &sql, const QVariantList &values,
                    QSqlError *error) const override
    {
        bool pipelined = false;
        const bool committed = pipelinedCommit(database, sql, values, error, &pipelined);
        return pipelined ? committed : Dialect::commitWith(database, sql, values, error);
    }
    bool writeLock(QSqlDatabase &database, const QString &scope, const QString &value,
                   QSqlError *error) const override
    {
        // A lock of the transaction on the pair (scope, value), released when it ends,
        // taken by the owner's function (no other role may take the server's
        // advisory locks). Two values that hash alike only wait for each other a
        // moment longer.
        Statement query;
        const bool prepared =
            prepare(&query, database, QStringLiteral("SELECT simparo_kunci(CAST(? AS text), CAST(? AS text))"));
        query->addBindValue(scope);
        query->addBindValue(value);
        if (prepared && query->exec())
            return true;
        *error = query->lastError();
        return false;
    }
    QString rowLockClause() const override { return QStringLiteral(" FOR UPDATE"); }
    bool isUniqueViolation(const QSqlError &error) const override
    {
        return error.nativeErrorCode() == QLatin1String("23505"); // unique_violation
    }
    QString columnTerm(const QString &quotedColumn, const QString &value, schema::Kind kind,
                       QVariantList *values) const override
    {
        // A server compares typed columns with values of their type: a text that is
        // no date or amount matches nothing there, as it matches nothing in a file.
        const QString term = QStringLiteral("%1 = ?").arg(quotedColumn);
        const std::optional<QVariant> typed = schema::criterionValue(value, kind);
        *values << typed.value_or(QVariant());
        return typed ? term : term + QStringLiteral(" AND 0 = 1");
    }
    bool fixHorizon(QSqlDatabase &database, const QString &table, const QString &key, Horizon *horizon,
                    QSqlError *error) const override
    {
        return serverinternal::fixHorizon(database, table, key, horizon, error);
    }

    bool relationNames(QSqlDatabase &database, QStringList *tables, QStringList *views,
                       QSqlError *error) const override
    {
        return serverinternal::relationNames(database, tables, views, error);
    }
    bool catalogEntry(QSqlDatabase &database, const QString &name, CatalogEntry *entry, bool *found,
                      QSqlError *error) const override
    {
        return serverinternal::catalogEntry(database, name, entry, found, error);
    }

    QStringList schemaStatements() const override
    {
        // Each index ends in the row key, as SQLite's do by themselves, so that the
        // rows of one account, name or user are read in stored order from the index.
        return QStringList{
            createTable(schema::daftar()),
            QStringLiteral("CREATE INDEX daftar_nama ON daftar (nama, %1)").arg(QLatin1String(kServerKey)),
            createTable(schema::nabubg()),
            QStringLiteral("CREATE INDEX nabubg_norekening ON nabubg (norekening, %1)").arg(QLatin1String(kServerKey)),
            createTable(schema::tpassword()),
            QStringLiteral("CREATE INDEX tpassword_user ON tpassword (\"user\", %1)").arg(QLatin1String(kServerKey)),
            QStringLiteral("CREATE VIEW Qpass AS SELECT \"user\", \"password\" FROM tpassword ORDER BY %1")
                .arg(QLatin1String(kServerKey)),
        } + trailStatements();
    }

    QStringList trailStatements() const override { return serverinternal::trailStatements(); }
    QStringList trailRuleStatements(bool enforced) const override
    {
        const QString verb = enforced ? QStringLiteral("ENABLE") : QStringLiteral("DISABLE");
        return {QStringLiteral("ALTER TABLE nabubg %1 TRIGGER nabubg_hanya_ditambah").arg(verb),
                QStringLiteral("ALTER TABLE jejak %1 TRIGGER jejak_hanya_ditambah").arg(verb),
                QStringLiteral("ALTER TABLE jejak %1 TRIGGER jejak_segel").arg(verb)};
    }
    QStringList ruleStatements(bool enforced) const override
    {
        const QStringList lifted = sqlscript::statements(QStringLiteral("server-rules-lifted"));
        if (!enforced)
            return lifted;
        return lifted + sqlscript::statements(QStringLiteral("server-rules"));
    }
    bool writesThroughFunctions(const QString &table) const override
    {
        return table.compare(QLatin1String("daftar"), Qt::CaseInsensitive) == 0;
    }
    bool sealsTrail() const override { return true; }
    QStringList trailTriggers() const override
    {
        return {QStringLiteral("jejak_segel"), QStringLiteral("nabubg_hanya_ditambah"),
                QStringLiteral("jejak_hanya_ditambah"), QStringLiteral("nabubg_aturan"), QStringLiteral("daftar_aturan"),
                QStringLiteral("blokir_hanya_ditambah")};
    }
    bool triggersInForce(QSqlDatabase &database, QStringList *names, QSqlError *error) const override
    {
        // A trigger switched off (ALTER TABLE ... DISABLE TRIGGER) is not in force.
        return catalogNames(database,
                            QStringLiteral("SELECT t.tgname FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid "
                                           "JOIN pg_namespace n ON n.oid = c.relnamespace "
                                           "WHERE n.nspname = current_schema() AND NOT t.tgisinternal "
                                           "AND t.tgenabled <> 'D'"),
                            names, error);
    }
    bool ownerRole(QSqlDatabase &database, QString *role, QSqlError *error) const override
    {
        QStringList owners;
        if (!catalogNames(database,
                          QStringLiteral("SELECT tableowner FROM pg_tables "
                                         "WHERE schemaname = current_schema() AND tablename = 'jejak'"),
                          &owners, error))
            return false;
        *role = owners.value(0);
        return true;
    }
    bool awaitTrailWriters(QSqlDatabase &database, QSqlError *error) const override
    {
        // A write holds the trail's lock from its trail row to its end: once this
        // transaction can take the lock, every write that appended a row before
        // has committed or rolled back for good. A session whose link went silent
        // inside its transaction is ended by the server after its limit, so the
        // lock is asked for every moment until past that limit (a wait inside the
        // server would look to the program like a server that does not answer).
        const pool::SessionOptions &options = pool::sessionOptions();
        const qint64 patience = qint64(options.idleInTransactionTimeout) + options.statementTimeout;
        QElapsedTimer waited;
        waited.start();
        Statement query;
        const bool prepared = prepare(&query, database, QStringLiteral("SELECT simparo_jejak_bebas()"));
        while (true) {
            if (!(prepared && query->exec() && query->next())) {
                *error = query->lastError();
                return false;
            }
            const bool taken = query->value(0).toBool();
            query->finish();
            if (taken)
                return true;
            if (waited.elapsed() > patience) {
                *error = QSqlError(QString(), QStringLiteral("jejak masih dikunci oleh sesi lain"),
                                   QSqlError::StatementError, QStringLiteral("55P03"));
                return false;
            }
            QThread::msleep(100);
        }
    }
    std::unique_ptr<RowStream> stream(QSqlDatabase &database, const QString &sql) const override
    {
        return streamOf(handleOf(database), sql);
    }
    bool beginSnapshot(QSqlDatabase &database, QSqlError *error) const override
    {
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")))
            return true;
        *error = query.lastError();
        return false;
    }

    bool keepsTimeOfDay() const override { return false; }
    bool prepareBulkWrite(QSqlDatabase &, bool, QSqlError *) const override { return true; }
    bool finishNewDatabase(QSqlDatabase &, QSqlError *) const override { return true; }
    std::unique_ptr<RowSink> sink(QSqlDatabase &database, const QString &table,
                                  const QStringList &columns) const override
    {
        return sinkOf(handleOf(database), table, columns);
    }
    bool keysGiven(QSqlDatabase &database, const QString &table, QSqlError *error) const override
    {
        // The identity's next value, past the largest key given (the program's own table name).
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), coalesce(max(%2), 0) + 1, false) "
                                      "FROM %1")
                           .arg(table, QLatin1String(kServerKey))))
            return true;
        *error = query.lastError();
        return false;
    }
    std::optional<QByteArray> unusablePassword() const override
    {
        // Operators on a server log in with a password of their own role; the
        // table holds none for them.
        return std::nullopt;
    }
    bool lockTables(QSqlDatabase &database, const QStringList &tables, QSqlError *error) const override
    {
        // The program's own table names, no operator text.
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(tables.join(QStringLiteral(", ")))))
            return true;
        *error = query.lastError();
        return false;
    }

    // A server's operators are roles of its own (serverroles in postgresoperators.cpp).
    const Roles *roles() const override
    {
        return &serverRoles();
    }
    Outcome secureOperators(QSqlDatabase &database, RoleAccess *access) const override
    {
        return serverroles::secure(database, access);
    }

    QString describeError(const QSqlError &error, const QSqlDatabase &database) const override
    {
        const pool::Entry *entry = pool::entry(database.connectionName());
        const QString where = entry ? entry->location : database.databaseName();
        if (entry && !database.isOpen() && !entry->openError.isEmpty())
            return entry->openError;
        if (linkwatch::cut(database.connectionName()))
            return silentServerText(where, deadlineSeconds());
        if (connectionLost(database))
            return lostText(where, error);
        return serverErrorText(error, where);
    }
    QString incompleteText(const QString &location, const QString &missing) const override
    {
        return serverIncompleteText(location, missing);
    }
    QString noTrailText(const QString &location, const QString &source) const override
    {
        return serverNoTrailText(location, source);
    }

private:
    static QString columnType(schema::Kind kind)
    {
        switch (kind) {
        case schema::Kind::Text: return QStringLiteral("text");
        case schema::Kind::Number: return QStringLiteral("double precision");
        case schema::Kind::Date: return QStringLiteral("date");
        }
        return QStringLiteral("text");
    }
    static QString createTable(const schema::Table &table)
    {
        QStringList columns;
        for (const schema::Column &column : table.columns) {
            // A server folds names without quotes to lower case: its columns are made so,
            // and shown with the program's spelling (findRelation).
            QString definition = schema::quoted(column.name.toLower()) + u' ' + columnType(column.kind);
            // An account number identifies a customer: never empty, at most 10 characters, unique.
            if (&table == &schema::daftar() && column.name == QLatin1String("norekening"))
                definition += QStringLiteral(" NOT NULL UNIQUE CHECK (length(norekening) BETWEEN 1 AND 10)");
            columns << definition;
        }
        // The row key, after the described columns: it orders the rows and is never shown.
        columns << QStringLiteral("%1 bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY").arg(QLatin1String(kServerKey));
        return QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, columns.join(QStringLiteral(", ")));
    }
};




} // namespace

const Dialect &postgresDialect()
{
    static const PostgresDialect dialect;
    return dialect;
}


} // namespace db
