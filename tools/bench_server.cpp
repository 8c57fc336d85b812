// The bench on a PostgreSQL server, and several counters posting at the same moment.
#include "bench.h"

#include "data/trail/auditcheck.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/base/money.h"
#include "data/operators/operators.h"
#include "data/records/recordsource.h"
#include "savings/posting.h"
#include "startline.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlQuery>
#include <cstdio>
#include <libpq-fe.h>

namespace bench {

namespace {
QString serverText(const QString &service)
{
    return QStringLiteral("Provider=PostgreSQL;Data Source=") + service;
}

// The libpq connection under a server connection of Qt's driver.
PGconn *handleOf(const QSqlDatabase &database)
{
    const QVariant handle = database.driver() ? database.driver()->handle() : QVariant();
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        qFatal("not a PostgreSQL connection");
    return *static_cast<PGconn *const *>(handle.constData());
}

// A value as COPY's text format writes it.
void appendCopyText(QByteArray *line, const QVariant &value)
{
    if (value.isNull()) {
        line->append("\\N");
        return;
    }
    const QByteArray text = value.typeId() == QMetaType::Double ? QByteArray::number(value.toDouble(), 'g', 17)
                                                                : value.toString().toUtf8();
    for (char c : text) {
        switch (c) {
        case '\\': line->append("\\\\"); break;
        case '\t': line->append("\\t"); break;
        case '\n': line->append("\\n"); break;
        case '\r': line->append("\\r"); break;
        default: line->append(c);
        }
    }
}

// Rows of a table of the file, copied into the same table on the server with
// COPY (its columns in stored order; a server's row key is numbered as they come).
void copyTable(QSqlDatabase &from, QSqlDatabase &to, const QString &table, const QStringList &columns)
{
    QSqlQuery read(from);
    read.setForwardOnly(true);
    const QString order = table == QLatin1String("jejak") ? QStringLiteral("nomor") : db::keyColumn(from);
    if (!read.exec(QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(table, order)))
        qFatal("%s", qPrintable(read.lastError().text()));
    PGconn *server = handleOf(to);
    QStringList quoted;
    for (const QString &column : columns)
        quoted << u'"' + column.toLower() + u'"';
    const QByteArray copy = QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table, quoted.join(u',')).toUtf8();
    PGresult *started = PQexec(server, copy.constData());
    if (PQresultStatus(started) != PGRES_COPY_IN)
        qFatal("%s", PQerrorMessage(server));
    PQclear(started);
    QByteArray buffer;
    const auto send = [&] {
        if (!buffer.isEmpty() && PQputCopyData(server, buffer.constData(), int(buffer.size())) != 1)
            qFatal("%s", PQerrorMessage(server));
        buffer.clear();
    };
    while (read.next()) {
        for (int c = 0; c < columns.size(); ++c) {
            if (c > 0)
                buffer.append('\t');
            appendCopyText(&buffer, read.value(c));
        }
        buffer.append('\n');
        if (buffer.size() > (1 << 20))
            send();
    }
    send();
    if (PQputCopyEnd(server, nullptr) != 1)
        qFatal("%s", PQerrorMessage(server));
    while (PGresult *result = PQgetResult(server)) {
        const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
        if (!ok)
            qFatal("COPY %s: %s", qPrintable(table), PQerrorMessage(server));
    }
}

} // namespace

namespace {
void useSetting(const QString &config, const QString &connectionText)
{
    QDir().mkpath(config + QStringLiteral("/simparo"));
    QFile setting(config + QStringLiteral("/simparo/koneksi"));
    if (!setting.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(setting.fileName()));
    setting.write(connectionText.toUtf8() + '\n');
    setting.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
}
} // namespace

void useServer(const QString &folder, const QString &service)
{
    useSetting(folder + QStringLiteral("/.config-server"), serverText(service));
}

std::function<void()> useCounters(const QString &folder, const QString &service)
{
    // What a counter has: a service of its own naming the lookup role over TCP to
    // localhost (where the operators' passwords are checked), and that role's
    // password in a password file. Made afresh for each run from the owner's service.
    db::Connection opened;
    QString error;
    if (!opened.open(serverText(service), &error))
        qFatal("%s", qPrintable(error));
    QString port;
    QString database;
    {
        QSqlDatabase owner = QSqlDatabase::database(opened.name(), false);
        PGconn *handle = handleOf(owner);
        port = QString::fromUtf8(PQport(handle));
        database = QString::fromUtf8(PQdb(handle));
        const QString lookup = database + QStringLiteral("_masuk");
        const QString password = operators::newLookupPassword();
        // The password is made of letters and digits only.
        QSqlQuery query(owner);
        if (!query.exec(QStringLiteral("ALTER ROLE \"%1\" LOGIN PASSWORD '%2'").arg(lookup, password)))
            qFatal("%s", qPrintable(query.lastError().text()));
        QFile pass(folder + QStringLiteral("/.bench-pgpass"));
        if (!pass.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(pass.fileName()));
        pass.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        pass.write(QStringLiteral("localhost:%1:%2:%3:%4\n").arg(port, database, lookup, password).toUtf8());
    }
    opened.close();
    const QString counterService = service + QStringLiteral("_loket");
    const QByteArray ownServices = qgetenv("PGSERVICEFILE");
    QFile original(ownServices.isEmpty() ? QDir::homePath() + QStringLiteral("/.pg_service.conf")
                                         : QFile::decodeName(ownServices));
    QByteArray services = original.open(QIODevice::ReadOnly) ? original.readAll() : QByteArray();
    services += QStringLiteral("\n[%1]\nhost=localhost\nport=%2\ndbname=%3\nuser=%3_masuk\n")
                    .arg(counterService, port, database)
                    .toUtf8();
    QFile combined(folder + QStringLiteral("/.bench-services.conf"));
    if (!combined.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(combined.fileName()));
    combined.write(services);
    combined.close();
    const QByteArray passFile = qgetenv("PGPASSFILE");
    qputenv("PGSERVICEFILE", QFile::encodeName(combined.fileName()));
    qputenv("PGPASSFILE", QFile::encodeName(folder + QStringLiteral("/.bench-pgpass")));
    qputenv("SIMPARO_BENCH_OWNER", serverText(service).toUtf8());
    useSetting(folder + QStringLiteral("/.config-counter"), serverText(counterService));
    return [folder, service, ownServices, passFile] {
        for (const auto &[variable, value] : {std::pair{"PGSERVICEFILE", ownServices}, std::pair{"PGPASSFILE", passFile}})
            value.isEmpty() ? qunsetenv(variable) : qputenv(variable, value);
        qunsetenv("SIMPARO_BENCH_OWNER");
        useServer(folder, service);
    };
}

void useFile(const QString &folder)
{
    // The built-in connection text, whatever the machine's own setting says.
    useSetting(folder + QStringLiteral("/.config-file"), QString::fromLatin1(db::kConnectionText));
}

// Copies the file's three tables to the new database of the service: its indexes
// made after the rows, the trail as it is.
static void copyToServer(const QString &service)
{
    // Closed in the reverse order: the server's connection, then the file's.
    db::Connection fileConnection;
    db::Connection serverConnection;
    QString error;
    if (!fileConnection.openFile(db::databaseFile(), &error) || !serverConnection.open(serverText(service), &error))
        qFatal("cannot open the file or the server: %s", qPrintable(error));
    {
        QSqlDatabase file = fileConnection.database();
        QSqlDatabase server = QSqlDatabase::database(serverConnection.name(), false);
        QSqlQuery query(server);
        query.exec(QStringLiteral("SET synchronous_commit = off"));
        query.exec(QStringLiteral("SET maintenance_work_mem = '256MB'"));
        query.exec(QStringLiteral("BEGIN"));
        // The indexes are made after the rows are in, each in one pass.
        const db::Dialect &dialect = db::dialect(server);
        const auto indexes = bulkIndexes(dialect);
        for (const auto &[indexName, statement] : indexes)
            if (!query.exec(QStringLiteral("DROP INDEX %1").arg(indexName)))
                qFatal("%s", qPrintable(query.lastError().text()));
        // The trail is copied as it is, seals and all, the seals made by the same
        // canonical code when the file was built (the file's first row, the first
        // operator, stands for the server's own): the owner's maintenance, with
        // the server's sealing lifted for the copy and restored after it.
        for (const QString &statement : dialect.trailRuleStatements(false) + dialect.ruleStatements(false))
            query.exec(statement);
        query.exec(QStringLiteral("DELETE FROM jejak"));
        for (const QString &table : {QStringLiteral("daftar"), QStringLiteral("nabubg"), QStringLiteral("jejak")}) {
            db::CatalogEntry entry;
            bool found = false;
            QSqlError failure;
            if (!dialect.catalogEntry(server, table, &entry, &found, &failure) || !found)
                qFatal("no table %s on the server: %s", qPrintable(table), qPrintable(failure.text()));
            copyTable(file, server, table, entry.columns);
        }
        for (const QString &statement : dialect.trailRuleStatements(true) + dialect.ruleStatements(true))
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
        for (const auto &[indexName, statement] : indexes)
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
        if (!query.exec(QStringLiteral("COMMIT"))
            || !query.exec(QStringLiteral("VACUUM (ANALYZE) daftar, nabubg, jejak")))
            qFatal("%s", qPrintable(query.lastError().text()));
    }
}

void ensureServerDatabase(const QString &service, int customers, int ledgerRows)
{
    db::Connection opened;
    QString error;
    if (!opened.open(serverText(service), &error))
        qFatal("%s", qPrintable(error));
    bool present = false;
    {
        QSqlDatabase server = QSqlDatabase::database(opened.name(), false);
        QSqlQuery query(server);
        present = query.exec(QStringLiteral("SELECT (SELECT count(*) FROM daftar), (SELECT count(*) FROM nabubg), "
                                            "(SELECT count(*) FROM jejak)"));
        if (present) {
            query.next();
            if (query.value(0).toInt() != customers || query.value(1).toInt() != ledgerRows
                || query.value(2).toInt() != ledgerRows + 2)
                qFatal("The database of service %s holds other data (%d customers, %d ledger rows, %d trail rows); "
                       "the bench needs an empty database or its own.",
                       qPrintable(service), query.value(0).toInt(), query.value(1).toInt(), query.value(2).toInt());
            // An older bench numbered its accounts otherwise.
            if (customers > 0
                && (!query.exec(QStringLiteral("SELECT norekening FROM daftar ORDER BY %1 LIMIT 1").arg(db::keyColumn(server)))
                    || !query.next() || query.value(0).toString() != accountNumber(0)))
                qFatal("The database of service %s holds an older bench's copy (other account numbers); empty it "
                       "(drop and create the database) for this one.",
                       qPrintable(service));
        }
    }
    opened.close();
    if (present) {
        std::printf("Reusing the database of service %s (%d customers, %d ledger rows)\n", qPrintable(service),
                    customers, ledgerRows);
        return;
    }
    std::printf("Copying the file's %d customers and %d ledger rows to service %s ...\n", customers, ledgerRows,
                qPrintable(service));
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    if (!db::createServerDatabase(service, QStringLiteral("admin"), QStringLiteral("admin123"), &error))
        qFatal("%s", qPrintable(error));
    // The copy is one long transaction of the owner's, as a tool's.
    asTool([&] { copyToServer(service); });
    std::printf("  copied in %.1f s\n", timer.elapsed() / 1000.0);
}

int runCounterChild(int counter, int postings, int customers, bool shared)
{
    RecordSource ledger;
    if (!ledger.open(QStringLiteral("nabubg"))) {
        std::fprintf(stderr, "%s\n", qPrintable(ledger.lastError()));
        return 2;
    }
    if (!startline::awaitStart())
        return 2;
    int failed = 0;
    for (int i = 0; i < postings; ++i) {
        const int customer = shared ? i % 3 : int((qint64(counter) * 7919 + qint64(i) * 104729) % customers);
        const QString account = accountNumber(customer);
        const Money amount = Money::fromSen(100000 + 1337 * ((i * 7 + counter) % 50));
        if (!ledger.addNew({account, QString(), QDate::currentDate(), QStringLiteral("01"), QStringLiteral("Penyetoran"),
                            0.0, amount.toDouble(), QVariant()},
                           posting::postingCheck(account, posting::Code::Deposit, amount))) {
            if (++failed == 1)
                std::fprintf(stderr, "%s\n", qPrintable(ledger.lastError()));
        }
    }
    std::printf("gagal %d\n", failed);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}

void measureCounters(const QString &self, int counters, int postings, int customers, bool shared)
{
    QList<QStringList> arguments;
    for (int c = 0; c < counters; ++c)
        arguments << QStringList{QStringLiteral("--counter-child"), QString::number(c), QStringLiteral("--dir"),
                                 QDir::homePath(), QStringLiteral("--postings"),
                                 QString::number(postings), QStringLiteral("--customers"), QString::number(customers),
                                 shared ? QStringLiteral("--shared") : QStringLiteral("--spread")};
    const startline::Children children = startline::ready(self, arguments, QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    // Every counter starts at this moment, not when the loop below reaches it.
    startline::go(children);
    int failed = 0;
    for (const auto &child : children) {
        child->waitForFinished(-1);
        failed += QString::fromLatin1(child->readAllStandardOutput()).section(QStringLiteral("gagal "), 1).trimmed().toInt();
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    // In posting order each balance is the previous one plus kredit minus debet, to
    // the sen, and the trail's chain holds with every posting in it (no fork: each
    // seal over the one before): simparo-verify's check, as the tool runs it.
    QString checked = QStringLiteral("not checked");
    asTool([&] {
        withDatabase([&](QSqlDatabase &database) {
            audit::CheckResult result;
            const Outcome outcome = audit::check(database, &result);
            checked = !outcome.isOk()  ? outcome.message()
                      : result.holds() ? QStringLiteral("%1 broken chains, trail holds, 0 forks").arg(result.ledger.breaks)
                                       : QStringLiteral("check failed: %1").arg(audit::describe(result).join(u' '));
        });
    });
    const int total = counters * postings;
    const QString name = QStringLiteral("%1 counters posting at once, %2").arg(counters).arg(shared ? "3 shared accounts" : "spread accounts");
    std::printf("  %-58s %7.0f durable postings/s   (%d postings in %.2f s, %d failed, %s)\n",
                qPrintable(name), (total - failed) / seconds, total, seconds, failed, qPrintable(checked));
    std::fflush(stdout);
    record(name + QStringLiteral(": ms per posting"), 1000.0 * seconds / std::max(1, total - failed));
}

} // namespace bench
