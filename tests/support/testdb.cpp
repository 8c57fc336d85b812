#include "testdb.h"

#include "data/trail/audit.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/operators/operators.h"
#include "testserver.h"

#include <QDir>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

static int g_serial = 0;

bool TestDatabase::onServer()
{
    return testserver::wanted();
}

TestDatabase::TestDatabase(bool create)
{
    savedHome_ = qgetenv("HOME");
    savedConfig_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", dir_.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (dir_.path() + QStringLiteral("/.config")).toLocal8Bit());
    // A site-wide setting of the machine running the tests plays no part.
    db::setSiteSettingFileForTesting(dir_.path() + QStringLiteral("/tidak-ada/koneksi"));
    QString error;
    // Every test logs in afresh: on a server the operator who logged in before
    // was one of the database made before.
    QString problem;
    if (db::checkConnectionText(connectionText(), &problem))
        if (const db::Roles *roles = db::dialectFor(connectionText()).roles())
            roles->forget(db::connectionValue(connectionText(), QStringLiteral("Data Source")));
    db::releaseIdleConnections();
    if (onServer()) {
        testserver::clearDatabase();
        QDir().mkpath(dir_.path() + QStringLiteral("/.config/simparo"));
        QFile setting(dir_.path() + QStringLiteral("/.config/simparo/koneksi"));
        if (!setting.open(QIODevice::WriteOnly) || setting.write(testserver::connectionText().toUtf8() + '\n') < 0)
            qFatal("cannot write the setting file");
        setting.close();
        if (create && !db::createServerDatabase(testserver::service(), QStringLiteral("admin"),
                                                QStringLiteral("admin123"), &error))
            qFatal("cannot create the test database on the server: %s", qPrintable(error));
    } else if (create && !db::createDatabase(file(), QStringLiteral("admin"), QStringLiteral("admin123"), &error)) {
        qFatal("cannot create test database: %s", qPrintable(error));
    }
}

void TestDatabase::closeOwnConnection()
{
    if (connectionName_.isEmpty())
        return;
    {
        QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(connectionName_);
    connectionName_.clear();
}

TestDatabase::~TestDatabase()
{
    db::closeConnection(trailConnection_);
    db::closeConnection(serviceConnection_);
    closeOwnConnection();
    qputenv("HOME", savedHome_);
    if (savedConfig_.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", savedConfig_);
}

QString TestDatabase::file() const
{
    return dir_.path() + QStringLiteral("/SKRIP/asli.sqlite");
}

QString TestDatabase::location() const
{
    return db::describedLocation(connectionText());
}

QString TestDatabase::connectionText() const
{
    return onServer() ? testserver::connectionText() : QString::fromLatin1(db::kConnectionText);
}

QSqlDatabase TestDatabase::connection()
{
    if (connectionName_.isEmpty()) {
        connectionName_ = QStringLiteral("test-%1").arg(++g_serial);
        QSqlDatabase database = QSqlDatabase::addDatabase(onServer() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                                          connectionName_);
        if (onServer())
            database.setConnectOptions(QStringLiteral("service=%1").arg(testserver::service()));
        else
            database.setDatabaseName(file());
        if (!database.open())
            qFatal("cannot open test database: %s", qPrintable(database.lastError().text()));
        QSqlQuery(database).exec(onServer() ? QStringLiteral("SET lock_timeout = '5s'")
                                            : QStringLiteral("PRAGMA busy_timeout=5000"));
    }
    QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
    // A connection the server dropped (a test of server faults) is opened again.
    if (onServer() && !QSqlQuery(database).exec(QStringLiteral("SELECT 1"))) {
        database.close();
        database.open();
    }
    return database;
}

static bool attempt(QSqlQuery &query, QString sql, const QVariantList &values)
{
    // An INSERT that gives the row key itself (to lay out gaps) overrides the
    // server's identity, and moves its sequence past the keys given.
    static const QRegularExpression keyedInsert(QStringLiteral("^INSERT INTO (\\w+) (\\([^)]*\\browid\\b[^)]*\\)) VALUES"));
    const QRegularExpressionMatch keyed = keyedInsert.match(sql);
    if (TestDatabase::onServer()) {
        if (keyed.hasMatch())
            sql.replace(keyed.capturedStart(0), keyed.capturedLength(0),
                        QStringLiteral("INSERT INTO %1 %2 OVERRIDING SYSTEM VALUE VALUES").arg(keyed.captured(1), keyed.captured(2)));
        sql.replace(QRegularExpression(QStringLiteral("\\browid\\b")), QStringLiteral("simparo_key"));
    }
    bool ok = false;
    if (values.isEmpty()) {
        // Statements of the schema (and several at once) are run as they are.
        ok = query.exec(sql);
    } else {
        query.prepare(sql);
        for (const QVariant &value : values)
            query.addBindValue(value);
        ok = query.exec();
    }
    if (ok && keyed.hasMatch() && TestDatabase::onServer())
        ok = query.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'simparo_key'), "
                                       "(SELECT max(simparo_key) FROM %1))")
                            .arg(keyed.captured(1)));
    return ok;
}

static QSqlQuery run(QSqlDatabase database, const QString &sql, const QVariantList &values)
{
    QSqlQuery query(database);
    if (!attempt(query, sql, values))
        qFatal("test statement failed: %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    return query;
}

bool TestDatabase::tryExec(const QString &sql, const QVariantList &values, QString *error)
{
    QSqlQuery query(connection());
    const bool done = attempt(query, sql, values);
    if (error)
        *error = query.lastError().text();
    return done;
}

void TestDatabase::makeOlderRegister()
{
    exec(QStringLiteral("DROP TABLE daftar"));
    exec(QStringLiteral("CREATE TABLE daftar (norekening TEXT, nama TEXT, tempat TEXT, tgllahir TEXT, alamat TEXT, "
                        "kota TEXT, kode TEXT, PENDIDIKAN TEXT, TELPHON TEXT%1)")
             .arg(onServer() ? QStringLiteral(", simparo_key bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY")
                             : QString()));
    // The operators keep their rights on the register, as simparo-initdb --upgrade gives them.
    if (onServer())
        exec(QStringLiteral("DO $$BEGIN EXECUTE format('GRANT SELECT, INSERT, UPDATE, DELETE ON daftar TO %I', "
                            "simparo_kelompok_operator()); END$$"));
}

void TestDatabase::exec(const QString &sql, const QVariantList &values)
{
    run(connection(), sql, values);
}

QVariant TestDatabase::scalar(const QString &sql, const QVariantList &values)
{
    QSqlQuery query = run(connection(), sql, values);
    return query.next() ? query.value(0) : QVariant();
}

QStringList TestDatabase::rows(const QString &sql, const QVariantList &values)
{
    QSqlQuery query = run(connection(), sql, values);
    QStringList result;
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns << query.value(i).toString();
        result << columns.join(u'|');
    }
    return result;
}

void TestDatabase::addCustomer(const QString &norekening, const QString &nama, const QString &pendidikan)
{
    writeWithTrail(QStringLiteral("INSERT INTO daftar VALUES (?, ?, 'Medan', '01/02/2010', 'Jl. Melati 1', 'Medan', "
                                  "'20111', ?, '061-123') RETURNING %1"),
                   {norekening, nama, pendidikan}, QStringLiteral("daftar"),
                   QLatin1String(audit::action::kNewCustomer), norekening, true);
}

void TestDatabase::writeWithTrail(const QString &sql, const QVariantList &values, const QString &table,
                                  const QString &tindakan, const QString &norekening, bool asService)
{
    QString error;
    QString &name = asService ? serviceConnection_ : trailConnection_;
    if (name.isEmpty()
        && !(asService ? db::openServiceConnection(connectionText(), &name, &error)
                       : db::openConnection(connectionText(), &name, &error)))
        qFatal("cannot open the test database: %s", qPrintable(error));
    {
        QSqlDatabase database = db::connection(name);
        QSqlError failure;
        if (!db::beginWrite(database, &failure))
            qFatal("cannot write the test database: %s", qPrintable(failure.text()));
        // The owner lays out rows of any day, amounts and balance: the rules of a
        // clerk's rows are lifted for them.
        const db::Dialect &dialect = db::dialect(database);
        if (asService && !db::runAll(database, dialect.ruleStatements(false), &error))
            qFatal("test rules not lifted: %s", qPrintable(error));
        QSqlQuery query(database);
        query.prepare(sql.arg(db::keyColumn(database)));
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec() || !query.next())
            qFatal("test row not written: %s", qPrintable(query.lastError().text()));
        audit::Entry entry;
        entry.tindakan = tindakan;
        entry.tabel = table;
        entry.kunci = query.value(0).toLongLong();
        entry.norekening = norekening;
        query.finish();
        const Outcome recorded = audit::append(database, entry);
        if (!recorded.isOk() || (asService && !db::runAll(database, dialect.ruleStatements(true), &error))
            || !db::endWrite(database, true, &failure))
            qFatal("test row's trail not written: %s %s %s", qPrintable(recorded.message()), qPrintable(error),
                   qPrintable(failure.text()));
    }
    // The owner's connection is not kept: a test may change the file's journal,
    // which only a file no other connection holds can do.
    if (asService) {
        db::closeConnection(serviceConnection_);
        serviceConnection_.clear();
    }
}

void TestDatabase::execAsOwner(const QString &sql, const QVariantList &values)
{
    const db::Dialect &dialect = db::dialectFor(connectionText());
    exec(QStringLiteral("BEGIN"));
    for (const QString &statement : dialect.trailRuleStatements(false) + dialect.ruleStatements(false))
        exec(statement);
    exec(sql, values);
    for (const QString &statement : dialect.trailRuleStatements(true) + dialect.ruleStatements(true))
        exec(statement);
    exec(QStringLiteral("COMMIT"));
}

void TestDatabase::addLedgerRow(const QString &norekening, const QString &nama, const QString &date,
                                const QString &kode, double debet, double kredit, const QVariant &saldo)
{
    writeWithTrail(QStringLiteral("INSERT INTO nabubg VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING %1"),
                   {norekening, nama, date, kode,
                    kode == QLatin1String("01") ? QStringLiteral("Penyetoran") : QStringLiteral("Penarikan"), debet,
                    kredit, saldo},
                   QStringLiteral("nabubg"), audit::defaultAction(QStringLiteral("nabubg"), audit::Write::Insert, kode),
                   norekening, true);
}

void TestDatabase::liftRules()
{
    for (const QString &statement : db::dialectFor(connectionText()).ruleStatements(false))
        exec(statement);
}

void TestDatabase::addOperator(const QString &user, const QString &password)
{
    if (!onServer() || scalar(QStringLiteral("SELECT to_regproc('simparo_atur_peran') IS NULL")).toBool()) {
        // As an older file (or a server database made before its operators had
        // roles) keeps it: the password in clear text.
        exec(QStringLiteral("INSERT INTO tpassword (\"user\", \"password\") VALUES (?, ?)"), {user, password});
        return;
    }
    // On a server an operator is a role of his own as well, made by the owner.
    QString name, error;
    if (!db::openServiceConnection(connectionText(), &name, &error))
        qFatal("cannot open the test database: %s", qPrintable(error));
    {
        QSqlDatabase database = db::connection(name);
        QSqlError failure;
        if (!db::beginWrite(database, &failure))
            qFatal("cannot write the test database: %s", qPrintable(failure.text()));
        const Outcome made = operators::insert(database, user, password);
        if (!made.isOk() || !db::endWrite(database, true, &failure))
            qFatal("test operator not made: %s %s", qPrintable(made.message()), qPrintable(failure.text()));
    }
    db::closeConnection(name);
}

void TestDatabase::refuseWrites(const QString &name, const QString &event, const QString &table, const QString &message)
{
    // Names and message are the test's own words, not operator text.
    if (onServer()) {
        exec(QStringLiteral("CREATE FUNCTION \"%1_refuse\"() RETURNS trigger LANGUAGE plpgsql AS "
                            "$$BEGIN RAISE EXCEPTION '%2'; END$$").arg(name, message));
        exec(QStringLiteral("CREATE TRIGGER \"%1\" BEFORE %2 ON %3 FOR EACH ROW EXECUTE FUNCTION \"%1_refuse\"()")
                 .arg(name, event, table));
    } else {
        exec(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 BEGIN SELECT RAISE(ABORT, '%4'); END")
                 .arg(name, event, table, message));
    }
}

void TestDatabase::allowWrites(const QString &name, const QString &table)
{
    if (onServer()) {
        exec(QStringLiteral("DROP TRIGGER \"%1\" ON %2").arg(name, table));
        exec(QStringLiteral("DROP FUNCTION \"%1_refuse\"()").arg(name));
    } else {
        exec(QStringLiteral("DROP TRIGGER %1").arg(name));
    }
}

void TestDatabase::failCommits(bool fail)
{
    if (onServer()) {
        if (fail) {
            exec(QStringLiteral("CREATE FUNCTION commit_gagal() RETURNS trigger LANGUAGE plpgsql AS "
                                "$$BEGIN RAISE EXCEPTION 'commit gagal'; END$$"));
            exec(QStringLiteral("CREATE CONSTRAINT TRIGGER commit_gagal AFTER INSERT ON jejak "
                                "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION commit_gagal()"));
        } else {
            exec(QStringLiteral("DROP TRIGGER commit_gagal ON jejak"));
            exec(QStringLiteral("DROP FUNCTION commit_gagal()"));
        }
        return;
    }
    if (!fail) {
        exec(QStringLiteral("COMMIT"));
        return;
    }
    // The journal can change only while no other connection has the file open,
    // and the test's own is opened afresh: a page it holds from before would pass
    // for current under the rollback journal (commits in the write-ahead log do
    // not count as changes of the file).
    db::closeConnection(trailConnection_);
    trailConnection_.clear();
    db::closeConnection(serviceConnection_);
    serviceConnection_.clear();
    closeOwnConnection();
    db::setWriteAheadLogForTesting(false);
    db::setBusyTimeoutForTesting(300);
    exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    exec(QStringLiteral("BEGIN"));
    scalar(QStringLiteral("SELECT count(*) FROM jejak"));
}

void TestDatabase::lockAgainstWriters()
{
    exec(onServer() ? QStringLiteral("BEGIN; LOCK TABLE daftar, nabubg, tpassword IN EXCLUSIVE MODE")
                    : QStringLiteral("BEGIN EXCLUSIVE"));
}

void TestDatabase::releaseLock()
{
    exec(QStringLiteral("ROLLBACK"));
}

bool TestDatabase::damage(bool truncate)
{
    QFile file(this->file());
    if (!file.open(QIODevice::ReadWrite))
        return false;
    constexpr qint64 kept = 2 * 4096;
    if (truncate)
        return file.resize(kept);
    return file.seek(kept) && file.write(QByteArray(int(file.size() - kept), '\x5a')) == file.size() - kept;
}

QString tool(const QString &name)
{
    return qEnvironmentVariable("SIMPARO_TOOLS_DIR", QCoreApplication::applicationDirPath()) + u'/' + name;
}

ToolRun runTool(const QString &name, const QStringList &arguments, const QString &home,
                const QStringList &environment, const QByteArray &input)
{
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.insert(QStringLiteral("HOME"), home);
    for (const QString &pair : environment)
        variables.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    process.setProcessEnvironment(variables);
    process.setWorkingDirectory(home);
    process.start(tool(name), arguments);
    process.write(input);
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}
