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

// Keys below a record source's horizon that are looked at for rows still in flight at opening.
constexpr qint64 kRecentKeys = 4096;

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

// Operators as roles of the server (postgresoperators.cpp, serverlogins.cpp).
class ServerRoles final : public Roles
{
public:
    Outcome setPassword(QSqlDatabase &database, qint64 key, const QString &password, bool *canLogIn) const override
    {
        return serverroles::setOperatorPassword(database, key, password, canLogIn);
    }
    Outcome removed(QSqlDatabase &database, qint64 key) const override
    {
        return serverroles::removeOperatorRole(database, key);
    }
    Outcome logins(QSqlDatabase &database, QHash<qint64, bool> *canLogIn) const override
    {
        return serverroles::operatorLogins(database, canLogIn);
    }
    LoginProof prove(const QString &service, const ServerLogin &login, QString *message) const override
    {
        return proveServerLogin(service, login, message);
    }
    bool openAs(const QString &service, const ServerLogin &login, QString *connectionName, QString *error) const override
    {
        return openServerAs(service, login, connectionName, error);
    }
    void adopt(const QString &service, const ServerLogin &login) const override { adoptServerLogin(service, login); }
    std::optional<ServerLogin> adopted(const QString &service) const override { return adoptedServerLogin(service); }
    void forget(const QString &service) const override { forgetServerLogin(service); }
    QString verifier(const QSqlDatabase &database, const QString &role, const QString &password,
                     QString *error) const override
    {
        return passwordVerifier(database, role, password, error);
    }
};

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
        PGconn *connection = handleOf(database);
        if (!connection || PQpipelineStatus(connection) != PQ_PIPELINE_OFF || PQenterPipelineMode(connection) != 1)
            return Dialect::commitWith(database, sql, values, error);
        // The statement and the COMMIT in one pipeline: the server runs the COMMIT
        // as soon as the statement is done, without waiting for this side.
        // The trail's lock, which the statement's sealing trigger takes, is held
        // until the commit ends; a durable COMMIT would hold it while the server
        // waits for its disk, and every counter's posting would wait for that flush
        // in turn. So the COMMIT does not wait for the disk (synchronous_commit off
        // for this transaction alone) and lets the lock go at once, and a second,
        // durable transaction follows in the same pipeline. It must write to the
        // write-ahead log itself: the server flushes the log at a commit only for a
        // transaction that wrote to it, and a transaction that wrote nothing (a
        // txid_current(), say) commits without any flush. Its setval() of the
        // sequence simparo_flush writes one small record, so its commit waits until
        // the log is on disk up to its own record, past the first commit's; the
        // flushes of several counters are made together. Nothing is told stored
        // before that flush. A commit sealed after another lies after it in the log,
        // so no crash can keep the later and lose the earlier: the chain never forks.
        // Another counter may read the row in the moment before it is on disk; its
        // own posting's flush then carries this one to disk as well.
        QString numbered;
        int number = 0;
        for (const QChar c : sql)
            numbered += c == u'?' ? QStringLiteral("$%1").arg(++number) : QString(c);
        QVector<QByteArray> texts;
        std::vector<const char *> given;
        texts.reserve(values.size());
        for (const QVariant &value : values) {
            texts << value.toString().toUtf8();
            given.push_back(value.isNull() ? nullptr : texts.last().constData());
        }
        const bool sent = PQsendQueryParams(connection, "SET LOCAL synchronous_commit TO off", 0, nullptr, nullptr,
                                            nullptr, nullptr, 0)
                          && PQsendQueryParams(connection, numbered.toUtf8().constData(), int(given.size()), nullptr,
                                               given.data(), nullptr, nullptr, 0)
                          && PQsendQueryParams(connection, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0)
                          && PQsendQueryParams(connection, "SELECT setval('simparo_flush', 1)", 0, nullptr,
                                               nullptr, nullptr, nullptr, 0)
                          && PQpipelineSync(connection);
        std::optional<QSqlError> failure;
        if (!sent)
            failure = QSqlError(QString(), QString::fromUtf8(PQerrorMessage(connection)).trimmed(),
                                QSqlError::ConnectionError);
        // Every answer up to the pipeline's end; the first failure is the one told:
        // a refused statement (parts 0 and 1: nothing stored), or the COMMIT's or the
        // flush's (parts 2 and 3: the end unknown to this side).
        int part = 0;
        while (sent) {
            PGresult *result = PQgetResult(connection);
            if (!result) {
                // The end of one statement's answers, or of the connection.
                if (PQstatus(connection) != CONNECTION_BAD) {
                    ++part;
                    continue;
                }
                if (!failure)
                    failure = QSqlError(QString(), QString::fromUtf8(PQerrorMessage(connection)).trimmed(),
                                        QSqlError::ConnectionError);
                break;
            }
            const ExecStatusType status = PQresultStatus(result);
            if (status == PGRES_FATAL_ERROR && !failure)
                failure = QSqlError(QString(), QString::fromUtf8(PQresultErrorMessage(result)).trimmed(),
                                    part <= 1 ? QSqlError::StatementError : QSqlError::TransactionError,
                                    QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)));
            PQclear(result);
            if (status == PGRES_PIPELINE_SYNC)
                break;
        }
        PQexitPipelineMode(connection);
        if (!failure)
            return true;
        if (error)
            *error = *failure;
        // A failed statement leaves its transaction aborted (its COMMIT was skipped).
        if (PQstatus(connection) == CONNECTION_OK && PQtransactionStatus(connection) != PQTRANS_IDLE)
            QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
        return false;
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
                    QSqlError *error) const override;

    bool relationNames(QSqlDatabase &database, QStringList *tables, QStringList *views,
                       QSqlError *error) const override
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
    bool catalogEntry(QSqlDatabase &database, const QString &name, CatalogEntry *entry, bool *found,
                      QSqlError *error) const override;

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

    QStringList trailStatements() const override;
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
        static const ServerRoles roles;
        return &roles;
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

// Keys come from a sequence and two counters' inserts may commit out of key
// order: a row with a key below the horizon may still be in flight when a record
// source opens. So the opening also lists the keys that are missing in a recent
// window below the horizon (kRecentKeys): those rows are not in the snapshot,
// whenever they commit. Rows older than the window are taken as settled: a write
// holds its key for one insert and its commit, and thousands of later keys do not
// commit in that time.
bool PostgresDialect::fixHorizon(QSqlDatabase &database, const QString &table, const QString &key, Horizon *horizon,
                                 QSqlError *error) const
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

// The trail on a server. A trigger numbers, dates and seals every row of jejak as
// it is inserted, and fills in who wrote it (the operator of the session's role,
// else the role: what a client cannot fake) and the content of the row written,
// read by its table and key: whatever a client sends for those is overwritten,
// and a row a client sends in another's name is refused. The trigger first takes one
// lock for the whole trail, held until the transaction ends; in READ COMMITTED
// each statement after it sees every row committed before, so it reads the real
// last row and the chain cannot fork (the number's key refuses a fork as well).
// The jejak row is the last statement before the commit, so the lock is held only
// for that insert and the commit. Functions that run with the owner's rights have
// a fixed search path (the schema of the tables), so that no object of another
// schema can stand in for ours.
QStringList PostgresDialect::trailStatements() const
{
    // The canonical text of audit.cpp, the same bytes: a field is '-' for NULL,
    // else its length in UTF-8 bytes, ':' and the value; amounts in whole sen,
    // rounded half away from zero; dates yyyy-MM-dd.
    const QString field = QStringLiteral("simparo_bidang(%1)");
    QStringList nabubg, daftar;
    for (const QString &column : {QStringLiteral("norekening"), QStringLiteral("nama"),
                                  QStringLiteral("to_char(tanggal, 'YYYY-MM-DD')"), QStringLiteral("kode"),
                                  QStringLiteral("jenis"), QStringLiteral("simparo_sen(debet)"),
                                  QStringLiteral("simparo_sen(kredit)"), QStringLiteral("simparo_sen(saldo)")})
        nabubg << field.arg(column);
    for (const schema::Column &column : schema::daftar().columns)
        daftar << field.arg(column.name.toLower());
    QStringList statements{
        QStringLiteral("CREATE TABLE jejak (nomor bigint PRIMARY KEY, waktu text, zona text, \"operator\" text, "
                       "peran text, loket text, alamat text, tindakan text, tabel text, kunci bigint, "
                       "norekening text, rincian text, isi text, token text, segel text)"),
        QStringLiteral("CREATE UNIQUE INDEX jejak_token ON jejak (token) WHERE token IS NOT NULL"),
        QStringLiteral("CREATE INDEX jejak_tabel_kunci ON jejak (tabel, kunci)"),
        QStringLiteral("CREATE INDEX jejak_waktu ON jejak (waktu)"),
        QStringLiteral("CREATE FUNCTION simparo_bidang(nilai text) RETURNS text LANGUAGE sql IMMUTABLE AS $$"
                       "SELECT CASE WHEN nilai IS NULL THEN '-' "
                       "ELSE CAST(octet_length(convert_to(nilai, 'UTF8')) AS text) || ':' || nilai END$$"),
        QStringLiteral("CREATE FUNCTION simparo_sen(nilai double precision) RETURNS text LANGUAGE sql IMMUTABLE AS $$"
                       "SELECT CASE WHEN nilai IS NULL THEN NULL "
                       "WHEN nilai * 100 BETWEEN -9.2e18 AND 9.2e18 THEN CAST(CAST(trunc(nilai * 100) "
                       "+ CASE WHEN abs(nilai * 100 - trunc(nilai * 100)) >= 0.5 THEN sign(nilai * 100) ELSE 0 END "
                       "AS bigint) AS text) "
                       "ELSE '!' || CAST(nilai AS text) END$$"),
        QStringLiteral("CREATE FUNCTION simparo_isi(nama_tabel text, kunci_baris bigint) RETURNS text "
                       "LANGUAGE plpgsql STABLE AS $$DECLARE hasil text; BEGIN "
                       "IF nama_tabel = 'nabubg' THEN SELECT %1 INTO hasil FROM nabubg WHERE %4 = kunci_baris; "
                       "ELSIF nama_tabel = 'daftar' THEN SELECT %2 INTO hasil FROM daftar WHERE %4 = kunci_baris; "
                       "ELSIF nama_tabel = 'tpassword' THEN SELECT %3 INTO hasil FROM tpassword WHERE %4 = kunci_baris; "
                       "END IF; RETURN hasil; END$$")
            .arg(nabubg.join(QStringLiteral(" || ")), daftar.join(QStringLiteral(" || ")),
                 field.arg(QStringLiteral("\"user\"")), QLatin1String(kServerKey)),
    };
    // Who wrote a row (the operator of the session's role, else the role), and the seal.
    statements << serverroles::attributionStatements() << sealFunctionStatement();
    statements << QStringList{
        QStringLiteral("CREATE TRIGGER jejak_segel BEFORE INSERT ON jejak FOR EACH ROW EXECUTE FUNCTION simparo_jejak_segel()"),
        QStringLiteral("CREATE FUNCTION simparo_hanya_ditambah() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN "
                       "RAISE EXCEPTION USING MESSAGE = TG_ARGV[0], ERRCODE = 'integrity_constraint_violation'; END$$"),
        // Each function finds the tables and its helpers in the schema they were made in, and nowhere else.
        QStringLiteral("DO $$DECLARE f text; BEGIN FOREACH f IN ARRAY ARRAY['simparo_bidang(text)', "
                       "'simparo_sen(double precision)', 'simparo_isi(text, bigint)', 'simparo_jejak_operator()', "
                       "'simparo_jejak_segel()', 'simparo_hanya_ditambah()'] LOOP "
                       "EXECUTE format('ALTER FUNCTION %s SET search_path = pg_catalog, %I, pg_temp', f, current_schema()); "
                       "END LOOP; END$$"),
    };
    // Statement triggers: they refuse also a statement that would touch no row, and TRUNCATE.
    for (const auto &[table, message] : {std::pair{"nabubg", audit::kLedgerAppendOnly},
                                         std::pair{"jejak", audit::kTrailAppendOnly}})
        statements << QStringLiteral("CREATE TRIGGER %1_hanya_ditambah BEFORE UPDATE OR DELETE OR TRUNCATE ON %1 "
                                     "FOR EACH STATEMENT EXECUTE FUNCTION simparo_hanya_ditambah('%2')")
                          .arg(QLatin1String(table), QString::fromUtf8(message));
    return statements;
}

bool PostgresDialect::catalogEntry(QSqlDatabase &database, const QString &name, CatalogEntry *entry, bool *found,
                                   QSqlError *error) const
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

} // namespace

const Dialect &postgresDialect()
{
    static const PostgresDialect dialect;
    return dialect;
}

// The function of the trigger that seals every row of jejak as it is inserted
// (see trailStatements()). A row that names another operator or role than the
// session's own is refused: no one writes in someone else's name. What does not
// depend on the row before (the written row's content, the client's address) is
// made before the trail's lock is taken, so that the writers wait for each other
// only while the number, the moment and the seal are made.
QString sealFunctionStatement()
{
    QStringList operatorActions;
    for (const char *action : {audit::action::kDeposit, audit::action::kWithdrawal, audit::action::kNewCustomer,
                               audit::action::kCustomerChange, audit::action::kCustomerDeletion,
                               audit::action::kPasswordChange, audit::action::kLogin, audit::action::kFailedLogin,
                               audit::action::kApproval, audit::action::kSettingChange, audit::action::kBlock,
                               audit::action::kUnblock, audit::action::kCorrection,
                               audit::action::kMonthEnd,
                               audit::action::kMonthEndTakeBack})
        operatorActions << QStringLiteral("'%1'").arg(QLatin1String(action));
    // The passbook's prints.
    for (const char *action : {audit::action::kPassbookPrint, audit::action::kPassbookReprint,
                               audit::action::kNewPassbook, audit::action::kPassbookPosition})
        operatorActions << QStringLiteral("'%1'").arg(QLatin1String(action));
    QStringList row;
    for (const char *column : {"CAST(NEW.nomor AS text)", "NEW.waktu", "NEW.zona", "NEW.\"operator\"", "NEW.peran",
                               "NEW.loket", "NEW.alamat", "NEW.tindakan", "NEW.tabel", "CAST(NEW.kunci AS text)",
                               "NEW.norekening", "NEW.rincian", "NEW.isi", "NEW.token"})
        row << QStringLiteral("simparo_bidang(%1)").arg(QLatin1String(column));
    return QStringLiteral(
               "CREATE OR REPLACE FUNCTION simparo_jejak_segel() RETURNS trigger LANGUAGE plpgsql VOLATILE "
               "SECURITY DEFINER AS $$DECLARE sebelumnya text; pelaku text; BEGIN "
               "IF current_setting('transaction_isolation') <> 'read committed' THEN "
               "RAISE EXCEPTION USING MESSAGE = 'jejak hanya bisa ditambah dalam transaksi READ COMMITTED', "
               "ERRCODE = 'invalid_transaction_state'; END IF; "
               "pelaku := simparo_jejak_operator(); "
               "IF (NEW.\"operator\" IS NOT NULL AND NEW.\"operator\" IS DISTINCT FROM pelaku) "
               "OR (NEW.peran IS NOT NULL AND NEW.peran IS DISTINCT FROM CAST(session_user AS text)) THEN "
               "RAISE EXCEPTION USING MESSAGE = 'jejak hanya mencatat operator sesi ini sendiri: baris atas nama "
               "operator atau peran lain ditolak', ERRCODE = 'insufficient_privilege'; END IF; "
               // Only the owner's tools write the rows that vouch for other rows (an
               // import, a move, the trail installed, an accepted break) and those of
               // the operators; another role writes only what the screens write.
               "IF CAST(session_user AS text) IS DISTINCT FROM simparo_pemilik() "
               "AND NOT coalesce(NEW.tindakan = ANY (ARRAY[%3]), false) THEN "
               "RAISE EXCEPTION USING MESSAGE = format('jejak: tindakan %s hanya untuk pemilik database', "
               "NEW.tindakan), ERRCODE = 'insufficient_privilege'; END IF; "
               "NEW.alamat := host(inet_client_addr()); "
               "NEW.isi := simparo_isi(NEW.tabel, NEW.kunci); "
               "PERFORM pg_advisory_xact_lock(%1); "
               "NEW.nomor := NULL; "
               "SELECT j.nomor, j.segel INTO NEW.nomor, sebelumnya FROM jejak j ORDER BY j.nomor DESC LIMIT 1; "
               "NEW.nomor := coalesce(NEW.nomor, 0) + 1; "
               "NEW.waktu := to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'); "
               "NEW.\"operator\" := pelaku; "
               "NEW.peran := CAST(session_user AS text); "
               "NEW.segel := encode(sha256(decode(coalesce(sebelumnya, repeat('0', 64)), 'hex') "
               "|| convert_to(%2, 'UTF8')), 'hex'); "
               "RETURN NEW; END$$")
        .arg(QString::number(kTrailLock), row.join(QStringLiteral(" || ")), operatorActions.join(QStringLiteral(", ")));
}

} // namespace db
