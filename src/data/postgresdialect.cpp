#include "postgresdialect.h"

#include "connectiontext.h"
#include "linkwatch.h"
#include "messages.h"
#include "pool.h"
#include "serversettings.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <algorithm>

#include <libpq-fe.h>

namespace db {

namespace {

// A server that does not answer within this many seconds is reported as unreachable.
constexpr int kConnectSeconds = 4;
// The hidden row key of every table on a server, after the described columns.
const char *const kServerKey = "simparo_key";
// Keys below a record source's horizon that are looked at for rows still in flight at opening.
constexpr qint64 kRecentKeys = 4096;

// libpq's keepalives on an idle connection: the first probe after this many
// seconds of silence, then one every few seconds; with the limit on
// unacknowledged data below, a link that is gone is noticed within seconds.
constexpr int kKeepaliveIdleSeconds = 5;
constexpr int kKeepaliveIntervalSeconds = 2;
constexpr int kKeepaliveCount = 3;
// Data the server has not acknowledged for this long ends the connection.
constexpr int kUnacknowledgedMilliseconds = 10000;

// The libpq options of every connection to a service (for Qt's driver, separated
// by ";"). The service name is checked to be a plain word: it stands here as it is.
QString connectOptions(const QString &service)
{
    return QStringLiteral("service=%1;connect_timeout=%2;application_name=simparo;keepalives=1;"
                          "keepalives_idle=%3;keepalives_interval=%4;keepalives_count=%5;tcp_user_timeout=%6")
        .arg(service)
        .arg(kConnectSeconds)
        .arg(kKeepaliveIdleSeconds)
        .arg(kKeepaliveIntervalSeconds)
        .arg(kKeepaliveCount)
        .arg(kUnacknowledgedMilliseconds);
}

// The same, as libpq reads them.
serversettings::Settings settingsOf(const QString &service)
{
    return serversettings::read(connectOptions(service).replace(u';', u' '));
}

int deadlineSeconds()
{
    return (pool::sessionOptions().answerDeadline + 999) / 1000;
}

PGconn *handleOf(const QSqlDatabase &database)
{
    if (!database.driver())
        return nullptr;
    const QVariant handle = database.driver()->handle();
    // Qt names the type by libpq's structure, which libpq calls PGconn.
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

bool connectionLost(const QSqlDatabase &database)
{
    if (!database.isOpen())
        return true;
    PGconn *connection = handleOf(database);
    if (!connection)
        return true;
    // Between two actions nothing is under way on the connection: whatever the
    // server sent meanwhile (its notice of a shutdown, or the end of the socket)
    // is read without a round trip, and tells a connection that is gone.
    // A shutdown notice comes first and the end of the socket after it: two reads.
    for (int read = 0; read < 2 && PQstatus(connection) == CONNECTION_OK
                       && PQtransactionStatus(connection) == PQTRANS_IDLE;
         ++read)
        PQconsumeInput(connection);
    return PQstatus(connection) == CONNECTION_BAD;
}

// Why a server could not be reached, could not be trusted or refused the login,
// as the operator hears it.
QString connectFailureText(const QString &service, const serversettings::Settings &settings, const QSqlError &error)
{
    const QString detail = detailOf(error).toLower();
    ConnectContext context{serversettings::serviceFiles(), serversettings::passwordFile(settings), {},
                           serversettings::rootCertificate(settings)};
    const auto has = [&detail](const char *words) { return detail.contains(QLatin1String(words)); };
    ConnectFailure cause = ConnectFailure::Unreachable;
    if (!serversettings::defined(service) || (has("service") && has("not found")))
        cause = ConnectFailure::UnknownService;
    else if (has("does not support ssl"))
        cause = ConnectFailure::SslOff;
    else if (has("root certificate file") && has("does not exist"))
        cause = ConnectFailure::NoRootCertificate;
    else if (has("certificate verify failed"))
        cause = ConnectFailure::UntrustedCertificate;
    else if (has("does not match host name"))
        cause = ConnectFailure::WrongHostName;
    else if (has("channel binding"))
        cause = ConnectFailure::NoChannelBinding;
    else if (has("password") || has("authentication") || has("pg_hba.conf") || has("role")) {
        cause = ConnectFailure::LoginRefused;
        // libpq says on its standard error only that it passed the file over.
        context.passwordFileProblem = serversettings::passwordFileProblem(context.passwordFile);
    } else if (has("database") && has("does not exist"))
        cause = ConnectFailure::NoDatabase;
    return db::connectFailureText(cause, service, context, error);
}

// A new session: durable commits, the limits that keep a counter whose link
// goes silent from holding anything for long, and no more. Over the network to
// another machine only with a server certificate that is checked in full:
// otherwise nothing is sent.
bool startSession(QSqlDatabase &database, const QString &service, QString *error)
{
    const QString name = database.connectionName();
    linkwatch::unwatch(name);
    pool::sessionStarted(name);
    const serversettings::Settings settings = settingsOf(service);
    if (const std::optional<QString> refused = serversettings::weakTls(service, settings)) {
        *error = *refused;
        return false;
    }
    if (!database.open()) {
        *error = connectFailureText(service, settings, database.lastError());
        return false;
    }
    const pool::SessionOptions &options = pool::sessionOptions();
    // The watch asks from its own thread whether a request waits for its answer:
    // PQtransactionStatus() only reads the connection's state, and the connection
    // is unwatched before it is closed (closing()).
    if (PGconn *handle = handleOf(database))
        linkwatch::watch(
            name, PQsocket(handle), [handle] { return PQtransactionStatus(handle) == PQTRANS_ACTIVE; },
            options.answerDeadline);
    const auto fail = [&](const QString &text, QSqlQuery &query) {
        *error = text;
        query.finish();
        linkwatch::unwatch(name);
        database.close();
        return false;
    };
    QSqlQuery query(database);
    query.setForwardOnly(true);
    // Numbers of the program's own, no operator text. A lock another counter holds
    // is waited for briefly; a statement that runs long is ended by the server, and
    // so is a session that stays inside a transaction without a word from the
    // program (its link gone silent), which frees the locks it holds.
    if (!query.exec(QStringLiteral("SELECT set_config('synchronous_commit', 'on', false), "
                                   "set_config('lock_timeout', '%1ms', false), "
                                   "set_config('statement_timeout', '%2ms', false), "
                                   "set_config('idle_in_transaction_session_timeout', '%3ms', false), "
                                   "set_config('default_transaction_read_only', '%4', false), "
                                   "current_setting('fsync')")
                        .arg(options.busyTimeout)
                        .arg(options.statementTimeout)
                        .arg(options.idleInTransactionTimeout)
                        .arg(options.readOnly ? QStringLiteral("on") : QStringLiteral("off")))
        || !query.next()) {
        if (linkwatch::cut(name))
            return fail(silentServerText(serverLocation(service), deadlineSeconds()), query);
        return fail(connectionLost(database) ? connectFailureText(service, settings, query.lastError())
                                             : serverErrorText(query.lastError(), serverLocation(service)),
                    query);
    }
    if (query.value(5).toString() != QLatin1String("on"))
        return fail(unsafeServerText(serverLocation(service)), query);
    pool::sessionStarted(name);
    return true;
}

class PostgresDialect final : public Dialect
{
public:
    QString describedLocation(const QString &connectionText) const override
    {
        return serverLocation(connectionValue(connectionText, QStringLiteral("Data Source")));
    }
    std::optional<QString> fileOf(const QString &) const override { return std::nullopt; }
    bool open(const QString &connectionText, QString *connectionName, QString *error) const override
    {
        return openServer(connectionValue(connectionText, QStringLiteral("Data Source")), connectionName, error);
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
    bool keepsStatements() const override { return true; }
    void closing(const QString &connectionName) const override { linkwatch::unwatch(connectionName); }

    QString keyColumn() const override { return QString::fromLatin1(kServerKey); }
    bool keyIsColumn() const override { return true; }
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
    bool writeLock(QSqlDatabase &database, const QString &scope, const QString &value,
                   QSqlError *error) const override
    {
        // A lock of the transaction on the pair (scope, value), released when it ends.
        // Two values that hash alike only wait for each other a moment longer.
        Statement query;
        const bool prepared =
            prepare(&query, database, QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?), hashtext(?))"));
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
        return {
            createTable(schema::daftar()),
            QStringLiteral("CREATE INDEX daftar_nama ON daftar (nama, %1)").arg(QLatin1String(kServerKey)),
            createTable(schema::nabubg()),
            QStringLiteral("CREATE INDEX nabubg_norekening ON nabubg (norekening, %1)").arg(QLatin1String(kServerKey)),
            createTable(schema::tpassword()),
            QStringLiteral("CREATE INDEX tpassword_user ON tpassword (\"user\", %1)").arg(QLatin1String(kServerKey)),
            QStringLiteral("CREATE VIEW Qpass AS SELECT \"user\", \"password\" FROM tpassword ORDER BY %1")
                .arg(QLatin1String(kServerKey)),
        };
    }

    bool keepsTimeOfDay() const override { return false; }
    bool prepareBulkWrite(QSqlDatabase &, bool, QSqlError *) const override { return true; }
    bool finishNewDatabase(QSqlDatabase &, QSqlError *) const override { return true; }
    bool lockTables(QSqlDatabase &database, const QStringList &tables, QSqlError *error) const override
    {
        // The program's own table names, no operator text.
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(tables.join(QStringLiteral(", ")))))
            return true;
        *error = query.lastError();
        return false;
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

bool openServer(const QString &service, QString *connectionName, QString *error)
{
    const QString kept = pool::takeKept(&postgresDialect(), service);
    if (!kept.isEmpty()) {
        *connectionName = kept;
        return true;
    }
    QString name;
    bool ok = false;
    {
        QSqlDatabase database = pool::add(QStringLiteral("QPSQL"), &postgresDialect(), serverLocation(service), service, &name);
        if (!database.isValid()) {
            *error = noServerDriverText(serverLocation(service));
        } else {
            database.setConnectOptions(connectOptions(service));
            ok = startSession(database, service, error);
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
