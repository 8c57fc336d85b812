// simparo-bench: speed and memory of SIMPARO on a bank's full-size data.
// It prints figures; it is not a test and fails nothing.
#include "bench.h"

#include "data/trail/audit.h"
#include "data/trail/auditcheck.h"
#include "data/base/criteria.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/records/recordsource.h"
#include "data/trail/registertrail.h"
#include "data/base/textforms.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QCommandLineParser>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimeZone>
#include <algorithm>
#include <cstdio>
#include <tuple>

namespace bench {

Figures time(const QString &name, int runs, const std::function<void()> &step)
{
    Figures figures{name, {}};
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        figures.millis << timer.nsecsElapsed() / 1e6;
    }
    return figures;
}

namespace {
QString g_engine = QStringLiteral("SQLite");
QStringList g_order;
QHash<QString, QHash<QString, double>> g_medians; // step -> engine -> median
} // namespace

void setEngine(const QString &engine)
{
    g_engine = engine;
}

void record(const QString &name, double median)
{
    if (!g_order.contains(name))
        g_order << name;
    g_medians[name][g_engine] = median;
}

void printComparison()
{
    std::printf("\nThe same steps on both engines (medians; PostgreSQL over SQLite):\n");
    for (const QString &name : std::as_const(g_order)) {
        const QHash<QString, double> &m = g_medians.value(name);
        if (!m.contains(QStringLiteral("SQLite")) || !m.contains(QStringLiteral("PostgreSQL")))
            continue;
        const double lite = m.value(QStringLiteral("SQLite"));
        const double server = m.value(QStringLiteral("PostgreSQL"));
        std::printf("  %-58s SQLite %9.3f ms   PostgreSQL %9.3f ms   %5.2fx%s\n", qPrintable(name), lite, server,
                    lite > 0 ? server / lite : 0.0, lite > 0 && server > 3 * lite ? "  (over 3x)" : "");
    }
    std::fflush(stdout);
}

void print(const Figures &figures)
{
    QVector<double> sorted = figures.millis;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.isEmpty() ? 0 : sorted.at(sorted.size() / 2);
    record(figures.name, median);
    std::printf("  %-58s median %9.3f ms   min %9.3f ms   max %9.3f ms   (%lld runs)\n", qPrintable(figures.name),
                median, sorted.isEmpty() ? 0.0 : sorted.first(), sorted.isEmpty() ? 0.0 : sorted.last(),
                static_cast<long long>(sorted.size()));
    std::fflush(stdout);
}

static double statusMiB(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines)
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

double peakMemoryMiB()
{
    return statusMiB("VmHWM:");
}

double currentMemoryMiB()
{
    return statusMiB("VmRSS:");
}

QList<std::pair<QString, QString>> bulkIndexes(const db::Dialect &dialect)
{
    static const QRegularExpression index(
        QStringLiteral("^CREATE (?:UNIQUE )?INDEX (\\w+) ON (daftar|nabubg|jejak)\\b"));
    QList<std::pair<QString, QString>> found;
    for (const QString &statement : dialect.schemaStatements()) {
        const QRegularExpressionMatch match = index.match(statement);
        if (match.hasMatch())
            found << std::pair{match.captured(1), statement};
    }
    return found;
}

QString accountNumber(int i)
{
    // Ten characters, the most a number may have: room for 999,999 customers.
    return QStringLiteral("0120%1").arg(i + 1, 6, 10, QLatin1Char('0'));
}

void withDatabase(const std::function<void(QSqlDatabase &)> &work)
{
    QString name;
    QString error;
    // Where the program runs as a counter, the bench's own work is the owner's.
    const QString owner = qEnvironmentVariable("SIMPARO_BENCH_OWNER");
    if (!db::openConnection(owner.isEmpty() ? db::connectionText() : owner, &name, &error))
        qFatal("%s", qPrintable(error));
    {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        work(database);
    }
    db::closeConnection(name);
}

void asTool(const std::function<void()> &work)
{
    const db::pool::SessionOptions screens = db::pool::sessionOptions();
    db::setToolSession();
    db::releaseIdleConnections(); // none kept with the screens' limits is taken again
    work();
    db::releaseIdleConnections();
    db::setServerLimitsForTesting(screens.statementTimeout, screens.idleInTransactionTimeout, screens.answerDeadline);
}

void ensureDatabase(int customers, int ledgerRows)
{
    const QString file = db::databaseFile();
    if (QFileInfo::exists(file)) {
        bool ready = false;
        withDatabase([&](QSqlDatabase &check) {
            QSqlQuery query(check);
            ready = query.exec(QStringLiteral("SELECT (SELECT count(*) FROM daftar), (SELECT count(*) FROM nabubg), "
                                              "(SELECT count(*) FROM jejak)"))
                    && query.next() && query.value(0).toInt() == customers && query.value(1).toInt() == ledgerRows
                    && query.value(2).toInt() == ledgerRows + 2;
            // Data of an older bench numbers its accounts otherwise.
            ready = ready && query.exec(QStringLiteral("SELECT norekening FROM daftar ORDER BY rowid LIMIT 1"))
                    && query.next() && query.value(0).toString() == accountNumber(0);
        });
        if (ready) {
            std::printf("Reusing %s (%d customers, %d ledger rows)\n", qPrintable(file), customers, ledgerRows);
            return;
        }
        QFile::remove(file);
        QFile::remove(file + QStringLiteral("-wal"));
        QFile::remove(file + QStringLiteral("-shm"));
    }
    std::printf("Building %s: %d customers, %d ledger rows ...\n", qPrintable(file), customers, ledgerRows);
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    QString error;
    if (!db::createDatabase(file, QStringLiteral("admin"), QStringLiteral("admin123"), &error))
        qFatal("%s", qPrintable(error));
    withDatabase([&](QSqlDatabase &build) {
        QSqlQuery query(build);
        query.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        query.exec(QStringLiteral("PRAGMA cache_size=-262144"));
        query.exec(QStringLiteral("BEGIN"));
        // Rows go in by their keys alone; the indexes are made after them, each in one
        // sorted pass (a new row of an index at a random place, ten million times over,
        // rewrites its pages many times).
        const auto indexes = bulkIndexes(db::dialect(build));
        for (const auto &[indexName, statement] : indexes)
            if (!query.exec(QStringLiteral("DROP INDEX %1").arg(indexName)))
                qFatal("%s", qPrintable(query.lastError().text()));
        // Years of postings, dated in the past: the owner's bulk load, with the rules
        // of a clerk's rows lifted until the rows are in.
        for (const QString &statement : db::dialect(build).ruleStatements(false))
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
        query.prepare(QStringLiteral("INSERT INTO daftar VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        const QStringList levels = {QStringLiteral("SD"), QStringLiteral("SMP"), QStringLiteral("SMU"),
                                    QStringLiteral("MAHASISWA")};
        for (int i = 0; i < customers; ++i) {
            query.addBindValue(accountNumber(i));
            query.addBindValue(QStringLiteral("Nasabah Siswa %1").arg(i + 1));
            query.addBindValue(QStringLiteral("Padang"));
            query.addBindValue(QStringLiteral("%1/%2/2008").arg(i % 28 + 1, 2, 10, QLatin1Char('0'))
                                   .arg(i % 12 + 1, 2, 10, QLatin1Char('0')));
            query.addBindValue(QStringLiteral("Jl. Merdeka No. %1").arg(i % 300 + 1));
            query.addBindValue(QStringLiteral("Padang"));
            query.addBindValue(QStringLiteral("25111"));
            query.addBindValue(levels.at(i % 4));
            query.addBindValue(QStringLiteral("0751-%1").arg(700000 + i));
            if (!query.exec())
                qFatal("%s", qPrintable(query.lastError().text()));
        }
        QVector<double> balance(customers, 0.0);
        // Each ledger row has its posting row in the audit trail, sealed as "SAVE" seals it.
        QSqlQuery trail(build);
        trail.prepare(QStringLiteral("INSERT INTO jejak (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                          .arg(audit::recordColumns()));
        audit::Record record;
        QByteArray seal;
        if (query.exec(QStringLiteral("SELECT nomor, segel FROM jejak ORDER BY nomor DESC LIMIT 1")) && query.next()) {
            record.nomor = query.value(0).toLongLong();
            seal = query.value(1).toString().toLatin1();
        }
        // The customers came in as an import brings them: one trail row records them
        // (their key range, count and digest), so that the check vouches for each.
        {
            audit::RegisterCoverage customersIn;
            if (!audit::coverRegister(build, &customersIn).isOk())
                qFatal("the customers could not be read");
            audit::Coverage noLedger;
            noLedger.digest = QCryptographicHash::hash(QByteArray(), QCryptographicHash::Sha256).toHex();
            audit::Record imported;
            imported.nomor = ++record.nomor;
            imported.waktu = QDateTime(QDate(2012, 1, 1), QTime(1, 0), QTimeZone::utc()).toString(Qt::ISODateWithMs);
            imported.zona = QStringLiteral("+07:00");
            imported.operatorName = QStringLiteral("simparo-bench");
            imported.tindakan = QLatin1String(audit::action::kImport);
            imported.tabel = QStringLiteral("nabubg");
            imported.rincian = audit::coverageDetails(noLedger) + u'\n' + audit::registerCoverageDetails(customersIn)
                + QStringLiteral("\nsumber=simparo-bench");
            seal = audit::seal(seal, audit::content(imported));
            imported.segel = QString::fromLatin1(seal);
            for (const QVariant &value : {QVariant(imported.nomor), QVariant(imported.waktu), QVariant(imported.zona),
                                          QVariant(imported.operatorName), QVariant(), QVariant(), QVariant(),
                                          QVariant(imported.tindakan), QVariant(imported.tabel), QVariant(), QVariant(),
                                          QVariant(imported.rincian), QVariant(), QVariant(), QVariant(imported.segel)})
                trail.addBindValue(value);
            if (!trail.exec())
                qFatal("%s", qPrintable(trail.lastError().text()));
        }
        query.prepare(QStringLiteral("INSERT INTO nabubg VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
        record.zona = QStringLiteral("+07:00");
        record.operatorName = QStringLiteral("admin");
        record.loket = QStringLiteral("bench");
        record.tabel = QStringLiteral("nabubg");
        const QDateTime start(QDate(2012, 1, 2), QTime(1, 0), QTimeZone::utc());
        QDate date(2012, 1, 2);
        // 400 postings a day, more on a larger ledger, so that every posting and its
        // trail row lie in the past (within 5,000 days): a moment still to come would
        // fall within every window "since" a recent moment (the failed logins of the
        // last minutes), which no real trail holds.
        const int perDay = std::max(400, int((qint64(ledgerRows) + 4999) / 5000));
        const int spacing = std::min(60, 86400 / perDay);
        quint32 state = 12345;
        for (int r = 0; r < ledgerRows; ++r) {
            state = state * 1664525u + 1013904223u;
            const int account = int((state >> 8) % quint32(customers));
            const double amount = 500.0 * (2 + (state >> 20) % 200);
            const bool withdraw = balance[account] >= amount && (state & 3) == 0;
            balance[account] += withdraw ? -amount : amount;
            if (r % perDay == perDay - 1)
                date = date.addDays(1);
            query.addBindValue(accountNumber(account));
            query.addBindValue(QStringLiteral("Nasabah Siswa %1").arg(account + 1));
            query.addBindValue(textform::storedDateText(date));
            query.addBindValue(withdraw ? QStringLiteral("02") : QStringLiteral("01"));
            query.addBindValue(withdraw ? QStringLiteral("Penarikan") : QStringLiteral("Penyetoran"));
            query.addBindValue(withdraw ? amount : 0.0);
            query.addBindValue(withdraw ? 0.0 : amount);
            query.addBindValue(balance[account]);
            if (!query.exec())
                qFatal("%s", qPrintable(query.lastError().text()));
            ++record.nomor;
            record.waktu = start.addDays(date.toJulianDay() - QDate(2012, 1, 2).toJulianDay())
                               .addSecs(qint64(r % perDay) * spacing)
                               .toString(Qt::ISODateWithMs);
            record.tindakan = QLatin1String(withdraw ? audit::action::kWithdrawal : audit::action::kDeposit);
            record.kunci = r + 1;
            record.norekening = accountNumber(account);
            record.isi = audit::rowContent(QStringLiteral("nabubg"),
                                           {accountNumber(account), QStringLiteral("Nasabah Siswa %1").arg(account + 1),
                                            textform::storedDateText(date),
                                            withdraw ? QStringLiteral("02") : QStringLiteral("01"),
                                            withdraw ? QStringLiteral("Penarikan") : QStringLiteral("Penyetoran"),
                                            withdraw ? amount : 0.0, withdraw ? 0.0 : amount, balance[account]});
            record.token = audit::newToken();
            seal = audit::seal(seal, audit::content(record));
            record.segel = QString::fromLatin1(seal);
            for (const QVariant &value : {QVariant(record.nomor), QVariant(record.waktu), QVariant(record.zona),
                                          QVariant(record.operatorName), QVariant(), QVariant(record.loket), QVariant(),
                                          QVariant(record.tindakan), QVariant(record.tabel), QVariant(*record.kunci),
                                          QVariant(record.norekening), QVariant(), QVariant(record.isi),
                                          QVariant(record.token), QVariant(record.segel)})
                trail.addBindValue(value);
            if (!trail.exec())
                qFatal("%s", qPrintable(trail.lastError().text()));
        }
        for (const auto &[indexName, statement] : indexes)
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
        for (const QString &statement : db::dialect(build).ruleStatements(true))
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
        query.exec(QStringLiteral("COMMIT"));
        query.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    });
    std::printf("  built in %.1f s\n", timer.elapsed() / 1000.0);
}

} // namespace bench

namespace {

// The record-source layer alone: what every screen's record sources do.
void benchRecordSources(int customers, int runs)
{
    std::printf("\nRecord sources on the ledger (nabubg):\n");
    const int gridRows = 30;
    bench::print(bench::time(QStringLiteral("open nabubg and fetch the first grid page"), runs, [&] {
        RecordSource ledger;
        ledger.open(QStringLiteral("nabubg"));
        for (int r = 0; r < gridRows; ++r)
            for (int c = 0; c < 8; ++c)
                ledger.data(ledger.index(r, c));
    }));

    RecordSource ledger;
    ledger.open(QStringLiteral("nabubg"));
    int account = 0;
    double balance = 0;
    bench::print(bench::time(QStringLiteral("find an account, filter to it, move to its last row"), runs, [&] {
        const QString wanted = criteria::build(QStringLiteral("NOREKENING"),
                                               bench::accountNumber((account++ * 7919) % customers));
        ledger.clearFilter();
        ledger.moveFirst();
        if (ledger.find(wanted)) {
            ledger.setFilter(wanted);
            ledger.moveLast();
            balance = ledger.value(7).toDouble();
        }
    }));

    RecordSource writer;
    writer.open(QStringLiteral("nabubg"));
    bench::print(bench::time(QStringLiteral("append and commit one ledger row"), runs, [&] {
        writer.addNew({bench::accountNumber(0), QStringLiteral("Nasabah Siswa 1"), QDate::currentDate(),
                       QStringLiteral("01"), QStringLiteral("Penyetoran"), 0.0, 1000.0, balance + 1000.0});
    }));
    std::printf("  peak memory of the process so far: %.1f MiB\n", bench::peakMemoryMiB());
}

// For scale: the naive design that reads the whole ledger into memory.
double benchNaive()
{
    std::printf("\nFor comparison, reading the whole ledger into memory:\n");
    const double before = bench::currentMemoryMiB();
    QVector<QVector<QVariant>> rows;
    QElapsedTimer timer;
    timer.start();
    bench::withDatabase([&](QSqlDatabase &naive) {
        QSqlQuery query(naive);
        query.setForwardOnly(true);
        query.exec(QStringLiteral("SELECT * FROM nabubg"));
        while (query.next()) {
            QVector<QVariant> row;
            row.reserve(8);
            for (int c = 0; c < 8; ++c)
                row << query.value(c);
            rows << row;
        }
    });
    const double millis = timer.nsecsElapsed() / 1e6;
    std::printf("  read %lld rows in %.1f ms, memory grew by %.1f MiB\n", static_cast<long long>(rows.size()), millis,
                bench::currentMemoryMiB() - before);
    return millis;
}

} // namespace

// Takes out what the bench's own postings, registrations and logins added, and
// their rows of the audit trail, so that the next run finds the same data: the
// owner's maintenance, with the trail's rules lifted for a moment.
static void trimDatabase(int customers, int ledgerRows)
{
    bench::withDatabase([&](QSqlDatabase &trim) {
        const QString key = db::keyColumn(trim);
        const db::Dialect &dialect = db::dialect(trim);
        QSqlQuery query(trim);
        query.exec(QStringLiteral("BEGIN"));
        for (const QString &statement : dialect.trailRuleStatements(false))
            query.exec(statement);
        for (const auto &[table, column, kept] : {std::tuple{"daftar", key, qint64(customers)},
                                                  std::tuple{"nabubg", key, qint64(ledgerRows)},
                                                  std::tuple{"jejak", QStringLiteral("nomor"), qint64(ledgerRows) + 2}}) {
            query.prepare(QStringLiteral("DELETE FROM %1 WHERE %2 > ?").arg(QLatin1String(table), column));
            query.addBindValue(kept);
            if (!query.exec())
                qFatal("%s", qPrintable(query.lastError().text()));
        }
        trimMonthEnd(trim, trim.driverName() == QLatin1String("QPSQL"));
        // The next keys follow the kept rows: a run of deleted keys just below the
        // newest would be taken by every record source for rows still in flight.
        QSqlError error;
        for (const char *table : {"daftar", "nabubg"})
            if (!dialect.keysGiven(trim, QString::fromLatin1(table), &error))
                qFatal("%s", qPrintable(error.text()));
        for (const QString &statement : dialect.trailRuleStatements(true))
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
        query.exec(QStringLiteral("COMMIT"));
    });
}

// simparo-verify's check of the whole ledger and its trail.
static void benchVerify(int rows, int runs)
{
    std::printf("\nThe check of simparo-verify (every seal, every ledger row against its trail row, every "
                "balance chain):\n");
    // On a session of a tool's, as simparo-verify's own.
    bench::asTool([&] {
        bench::print(bench::time(QStringLiteral("simparo-verify: %1 ledger rows and their trail").arg(rows), runs, [&] {
            bench::withDatabase([&](QSqlDatabase &database) {
                audit::CheckResult result;
                const Outcome checked = audit::check(database, &result);
                if (!checked.isOk() || !result.holds())
                    std::printf("  the check found something: %s\n",
                                qPrintable(checked.isOk() ? audit::describe(result).join(u'\n') : checked.message()));
            });
        }));
    });
}

// Runs the end-to-end cases in a process of their own, so that its peak memory is
// that of the program, and returns what it printed.
static QString runChild(const QString &self, const QString &folder, int customers, int rows, int runs,
                        bool openingsOnly)
{
    QProcess child;
    QStringList arguments = {QStringLiteral("--e2e-child"), QStringLiteral("--dir"), folder,
                             QStringLiteral("--customers"), QString::number(customers),
                             QStringLiteral("--rows"), QString::number(rows),
                             QStringLiteral("--runs"), QString::number(runs)};
    if (openingsOnly)
        arguments << QStringLiteral("--openings-only");
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(self, arguments);
    child.waitForFinished(-1);
    QString output;
    for (const QString &line : QString::fromLocal8Bit(child.readAll()).split(u'\n')) {
        if (line.startsWith(QLatin1String("  ")) || line.startsWith(QLatin1String("Reusing")))
            output += line + u'\n';
        const int median = line.indexOf(QLatin1String(" median "));
        if (line.startsWith(QLatin1String("  ")) && median > 0)
            bench::record(line.left(median).trimmed(), line.mid(median + 8).trimmed().section(u' ', 0, 0).toDouble());
    }
    std::printf("%s", qPrintable(output));
    std::fflush(stdout);
    return output;
}

// The old program's medium file (2,000 customers, 40,000 postings) brought across
// by simparo-import into a new database, when the file lies beside the checkout.
static void benchImport(const QString &folder, int runs)
{
    const QString medium = qEnvironmentVariable("SIMPARO_LEGACY_FIXTURES", QStringLiteral(SIMPARO_LEGACY_FIXTURES))
                           + QStringLiteral("/asli-medium.mdb");
    if (!QFileInfo::exists(medium)) {
        std::printf("\nImport of an old file: skipped, %s is not there\n", qPrintable(medium));
        return;
    }
    const QString target = folder + QStringLiteral("/import/asli.sqlite");
    std::printf("\nImport of the old medium file (2,000 customers, 40,000 postings):\n");
    bench::print(bench::time(QStringLiteral("simparo-import of asli-medium.mdb"), std::min(runs, 5), [&] {
        for (const QString &leftover : QDir(folder + QStringLiteral("/import")).entryList(QDir::Files))
            QFile::remove(folder + QStringLiteral("/import/") + leftover);
        QProcess import;
        import.start(QCoreApplication::applicationDirPath() + QStringLiteral("/simparo-import"),
                     {QStringLiteral("--to"), target, medium});
        import.waitForFinished(-1);
        if (import.exitCode() != 0)
            std::printf("  simparo-import failed: %s\n", import.readAllStandardError().constData());
    }));
}

static double medianOf(const QString &output, const QString &name)
{
    for (const QString &line : output.split(u'\n')) {
        if (!line.contains(name))
            continue;
        const int at = line.indexOf(QLatin1String("median"));
        if (at >= 0)
            return line.mid(at + 6).trimmed().split(u' ').first().toDouble();
    }
    return 0;
}

// Each step of the screens at the bench's size beside its figure on the ledger a
// tenth as large, with the ratio; and the peak memory of both.
static void printBesideSmaller(const QString &full, const QString &small, int rows, int smallRows)
{
    const auto medians = [](const QString &output) {
        QList<std::pair<QString, double>> found;
        static const QRegularExpression label(QStringLiteral(" \\[\\d+ rows\\]$"));
        for (const QString &line : output.split(u'\n')) {
            const int median = line.indexOf(QLatin1String(" median "));
            if (median > 0)
                found << std::pair{line.left(median).trimmed().remove(label),
                                   line.mid(median + 8).trimmed().section(u' ', 0, 0).toDouble()};
            const QLatin1String memory("peak memory with every screen and both reports open: ");
            const int peak = line.indexOf(memory);
            if (peak >= 0)
                found << std::pair{QStringLiteral("peak memory, every screen and both reports open (MiB)"),
                                   line.mid(peak + memory.size()).section(u' ', 0, 0).toDouble()};
        }
        return found;
    };
    QHash<QString, double> smaller;
    for (const auto &[name, value] : medians(small))
        smaller.insert(name, value);
    std::printf("\nEach step at %d rows beside its figure at %d rows (target: at most 1.5 times):\n", rows, smallRows);
    for (const auto &[name, value] : medians(full)) {
        const double before = smaller.value(name);
        if (before <= 0)
            continue;
        std::printf("  %-62s %9.3f   %9.3f   %5.2fx%s\n", qPrintable(name), before, value, value / before,
                    value > 1.5 * before ? "  (over 1.5x)" : "");
    }
    std::fflush(stdout);
}

struct Size {
    QString folder;
    int customers;
    int rows;
};

// The screens alone at both sizes, on the file or on the server (its databases
// already built), side by side: the figures to watch while mending a step.
static int runScreensOnly(const QString &self, const QString &service, const QString &smallService, const Size &full,
                          const Size &small, int runs)
{
    if (!service.isEmpty() && smallService.isEmpty()) {
        std::fprintf(stderr, "--screens-only on the server needs --small-service too.\n");
        return 1;
    }
    QString output[2];
    for (int i = 0; i < 2; ++i) {
        const Size &size = i == 0 ? full : small;
        const QString &own = i == 0 ? service : smallService;
        QDir().mkpath(size.folder);
        qputenv("HOME", size.folder.toLocal8Bit());
        bench::useFile(size.folder);
        std::function<void()> ownerAgain;
        if (own.isEmpty()) {
            bench::ensureDatabase(size.customers, size.rows);
        } else {
            bench::setEngine(QStringLiteral("PostgreSQL"));
            bench::ensureServerDatabase(own, size.customers, size.rows);
            ownerAgain = bench::useCounters(size.folder, own);
        }
        std::printf("\n%s, %d customers, %d ledger rows:\n", own.isEmpty() ? "The file" : "PostgreSQL",
                    size.customers, size.rows);
        trimDatabase(size.customers, size.rows); // what an interrupted run left
        output[i] = runChild(self, size.folder, size.customers, size.rows, runs, false);
        if (ownerAgain)
            ownerAgain();
        trimDatabase(size.customers, size.rows);
    }
    printBesideSmaller(output[0], output[1], full.rows, small.rows);
    return 0;
}

int main(int argc, char *argv[])
{
    // The bench drives screens headless unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Speed and memory of SIMPARO on a bank's full-size data."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("dir"), QStringLiteral("Folder for the benchmark databases (default ./bench-data)."),
                      QStringLiteral("folder"), QStringLiteral("bench-data")});
    parser.addOption({QStringLiteral("customers"), QStringLiteral("Number of customers."), QStringLiteral("n"),
                      QStringLiteral("10000")});
    parser.addOption({QStringLiteral("rows"), QStringLiteral("Number of ledger rows."), QStringLiteral("n"),
                      QStringLiteral("1000000")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Runs of each measured step."), QStringLiteral("n"),
                      QStringLiteral("20")});
    parser.addOption({QStringLiteral("engine"),
                      QStringLiteral("sqlite (the file), or postgresql: the same steps on the file and on the server of "
                                     "--service, side by side."),
                      QStringLiteral("engine"), QStringLiteral("sqlite")});
    parser.addOption({QStringLiteral("service"),
                      QStringLiteral("libpq service (pg_service.conf) of an empty PostgreSQL database for the bench."),
                      QStringLiteral("name")});
    parser.addOption({QStringLiteral("small-service"),
                      QStringLiteral("libpq service of a second empty PostgreSQL database, for the server's figures on "
                                     "the ledger a tenth as large beside its full-size ones."),
                      QStringLiteral("name")});
    parser.addOption({QStringLiteral("migrate-service"),
                      QStringLiteral("libpq service of an empty PostgreSQL database (not --service's) that the file is "
                                     "moved onto by simparo-migrate, timed; emptied again afterwards."),
                      QStringLiteral("name")});
    parser.addOption({QStringLiteral("counters"), QStringLiteral("Counters posting at the same moment."), QStringLiteral("n"),
                      QStringLiteral("8")});
    parser.addOption({QStringLiteral("postings"), QStringLiteral("Postings of each counter."), QStringLiteral("n"),
                      QStringLiteral("250")});
    parser.addOption({QStringLiteral("counter-child"), QStringLiteral("(internal) one counter."), QStringLiteral("n")});
    parser.addOption({QStringLiteral("shared"), QStringLiteral("(internal) post on three shared accounts.")});
    parser.addOption({QStringLiteral("spread"), QStringLiteral("(internal) post on accounts of all customers.")});
    parser.addOption({QStringLiteral("counters-only"),
                      QStringLiteral("Only the counters posting at the same moment, on the data already built (the "
                                     "file in --dir, or with --engine postgresql the database of --service).")});
    parser.addOption({QStringLiteral("screens-only"),
                      QStringLiteral("Only the steps through the real screens, at the full size and at a tenth of it, "
                                     "on the data already built (with --engine postgresql on the databases of --service "
                                     "and --small-service).")});
    parser.addOption({QStringLiteral("startup-probe"), QStringLiteral("(internal) start and show the login window.")});
    parser.addOption({QStringLiteral("monthend-child"), QStringLiteral("(internal) the month end.")});
    parser.addOption({QStringLiteral("monthend-only"),
                      QStringLiteral("Only the month end (Hitung and Posting) on the file already built in --dir.")});
    parser.addOption({QStringLiteral("e2e-child"), QStringLiteral("(internal) the end-to-end cases.")});
    parser.addOption({QStringLiteral("openings-only"), QStringLiteral("(internal) openings and lookups only.")});
    parser.addOption({QStringLiteral("save-loop"),
                      QStringLiteral("Only N deposits through the transaction screen, untimed, on a database of "
                                     "--customers and --rows in --dir: for counting the instructions of SAVE with "
                                     "valgrind --tool=callgrind --collect-atstart=no "
                                     "--toggle-collect='TransactionScreen::save()'."),
                      QStringLiteral("n")});
    parser.process(app);

    const QString folder = QDir(parser.value(QStringLiteral("dir"))).absolutePath();
    QDir().mkpath(folder);
    // The program's database lives in $HOME/SKRIP; the bench gives it a home of its own.
    qputenv("HOME", folder.toLocal8Bit());
    const int customers = parser.value(QStringLiteral("customers")).toInt();
    const int rows = parser.value(QStringLiteral("rows")).toInt();
    const int runs = std::max(3, parser.value(QStringLiteral("runs")).toInt());

    const int counters = std::max(1, parser.value(QStringLiteral("counters")).toInt());
    const int postings = std::max(1, parser.value(QStringLiteral("postings")).toInt());
    const bool server = parser.value(QStringLiteral("engine")).compare(QLatin1String("postgresql"), Qt::CaseInsensitive) == 0;
    const QString service = parser.value(QStringLiteral("service"));
    if (server && service.isEmpty()) {
        std::fprintf(stderr, "--engine postgresql needs --service NAME (a libpq service of an empty database).\n");
        return 1;
    }

    if (parser.isSet(QStringLiteral("counter-child")))
        return bench::runCounterChild(parser.value(QStringLiteral("counter-child")).toInt(), postings, customers,
                                      parser.isSet(QStringLiteral("shared")));
    if (parser.isSet(QStringLiteral("startup-probe")))
        return runStartupProbe();
    if (parser.isSet(QStringLiteral("monthend-child")))
        return runMonthEndChild(rows);
    if (parser.isSet(QStringLiteral("e2e-child")))
        return runEndToEnd(runs, customers, parser.isSet(QStringLiteral("openings-only")),
                           QStringLiteral(" [%1 rows]").arg(rows));

    const QString self = QCoreApplication::applicationFilePath();
    bench::useFile(folder);
    if (parser.isSet(QStringLiteral("save-loop"))) {
        bench::ensureDatabase(customers, rows);
        const int saves = runSaveLoop(parser.value(QStringLiteral("save-loop")).toInt(), customers);
        trimDatabase(customers, rows);
        return saves;
    }
    if (parser.isSet(QStringLiteral("monthend-only"))) {
        bench::ensureDatabase(customers, rows);
        benchMonthEnd(self, folder, customers, rows);
        trimDatabase(customers, rows);
        return 0;
    }
    if (parser.isSet(QStringLiteral("counters-only"))) {
        if (server) {
            bench::setEngine(QStringLiteral("PostgreSQL"));
            bench::ensureServerDatabase(service, customers, rows);
            bench::useServer(folder, service);
        } else {
            bench::ensureDatabase(customers, rows);
        }
        std::printf("Counters posting at the same moment on %s, each posting committed durably:\n",
                    server ? "PostgreSQL" : "the file");
        bench::measureCounters(self, counters, postings, customers, false);
        bench::measureCounters(self, counters, postings, customers, true);
        trimDatabase(customers, rows);
        return 0;
    }
    const int smallRows = std::max(1, rows / 10);
    const int smallCustomers = std::max(1, customers / 10);
    const QString smallFolder = folder + QStringLiteral("/ledger-%1").arg(smallRows);
    if (parser.isSet(QStringLiteral("screens-only")))
        return runScreensOnly(self, server ? service : QString(), parser.value(QStringLiteral("small-service")),
                              {folder, customers, rows}, {smallFolder, smallCustomers, smallRows}, runs);
    benchImport(folder, runs);
    bench::ensureDatabase(customers, rows);
    benchRecordSources(customers, runs);
    benchBalances(customers, rows, std::min(runs, 5));
    benchMonthEnd(self, folder, customers, rows);
    trimDatabase(customers, rows);
    benchVerify(rows, std::min(runs, 3));
    benchMigrate(parser.value(QStringLiteral("migrate-service")), rows);
    std::printf("\nPeak memory of the process: %.1f MiB\n", bench::peakMemoryMiB());
    benchReports(folder);

    std::printf("\nThrough the real screens (%d customers, %d ledger rows):\n", customers, rows);
    measureStartup(self, folder, std::min(runs, 10));
    const QString full = runChild(self, folder, customers, rows, runs, false);
    trimDatabase(customers, rows);

    // A tenth of the rows and of the customers: each account has as many rows at
    // both sizes, so what differs is the size of the table alone.
    QDir().mkpath(smallFolder);
    qputenv("HOME", smallFolder.toLocal8Bit());
    std::printf("\nThe same screens on a ledger of %d rows, %d customers:\n", smallRows, smallCustomers);
    bench::ensureDatabase(smallCustomers, smallRows);
    const QString small = runChild(self, smallFolder, smallCustomers, smallRows, runs, false);
    trimDatabase(smallCustomers, smallRows);
    qputenv("HOME", folder.toLocal8Bit());

    printBesideSmaller(full, small, rows, smallRows);
    const QString opening = QStringLiteral("open the transaction screen with its ledger grid");
    const double openSmall = medianOf(small, opening);
    const double openFull = medianOf(full, opening);
    if (openSmall > 0)
        std::printf("  opening the transaction screen: %.1f ms at %d rows against %.1f ms at %d rows, %.2f times "
                    "(target: at most 1.5)\n",
                    openFull, rows, openSmall, smallRows, openFull / openSmall);
    const double save = medianOf(full, QStringLiteral("deposit: SAVE handler until the row is committed"));
    const double raw = medianOf(full, QStringLiteral("raw durable insert of one ledger row, at the SAVEs' pace"));
    const double rawBackToBack = medianOf(full, QStringLiteral("raw durable insert of one ledger row, back to back"));
    if (raw > 0)
        std::printf("  deposit SAVE with its audit row %.2f ms against a raw durable insert at the same pace %.2f ms, "
                    "%.2f times (target: at most 2); back to back the raw insert takes %.2f ms\n",
                    save, raw, save / raw, rawBackToBack);

    const double naive = benchNaive();
    const double ours = medianOf(full, QStringLiteral("open the transaction screen with its ledger grid"));
    if (ours > 0)
        std::printf("  opening the transaction screen: naive %.0f ms against %.1f ms, %.0f times faster\n", naive, ours,
                    naive / ours);

    std::printf("\nCounters posting at the same moment, each posting committed durably:\n");
    bench::measureCounters(self, counters, postings, customers, false);
    bench::measureCounters(self, counters, postings, customers, true);
    trimDatabase(customers, rows);
    if (!server)
        return 0;

    // The same on the server, with the file's data.
    bench::setEngine(QStringLiteral("PostgreSQL"));
    std::printf("\nOn PostgreSQL, service %s:\n", qPrintable(service));
    bench::ensureServerDatabase(service, customers, rows);
    bench::useServer(folder, service);
    benchRecordSources(customers, runs);
    benchBalances(customers, rows, std::min(runs, 5));
    trimDatabase(customers, rows);
    benchVerify(rows, std::min(runs, 3));
    std::printf("\nThrough the real screens on PostgreSQL (%d customers, %d ledger rows):\n", customers, rows);
    measureStartup(self, folder, std::min(runs, 10));
    auto ownerAgain = bench::useCounters(folder, service);
    const QString serverFull = runChild(self, folder, customers, rows, runs, false);
    ownerAgain();
    trimDatabase(customers, rows);
    const QString smallService = parser.value(QStringLiteral("small-service"));
    if (!smallService.isEmpty()) {
        // The file a tenth as large, copied to a database of its own.
        qputenv("HOME", smallFolder.toLocal8Bit());
        bench::useFile(smallFolder);
        std::printf("\nThe same screens on PostgreSQL, service %s, a ledger of %d rows:\n", qPrintable(smallService),
                    smallRows);
        bench::ensureServerDatabase(smallService, smallCustomers, smallRows);
        ownerAgain = bench::useCounters(smallFolder, smallService);
        const QString serverSmall = runChild(self, smallFolder, smallCustomers, smallRows, runs, false);
        ownerAgain();
        trimDatabase(smallCustomers, smallRows);
        qputenv("HOME", folder.toLocal8Bit());
        bench::useServer(folder, service);
        printBesideSmaller(serverFull, serverSmall, rows, smallRows);
    }
    std::printf("\nCounters posting at the same moment on PostgreSQL, each posting committed durably:\n");
    bench::measureCounters(self, counters, postings, customers, false);
    bench::measureCounters(self, counters, postings, customers, true);
    trimDatabase(customers, rows);
    bench::printComparison();
    return 0;
}
