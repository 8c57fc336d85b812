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
                      QStringLiteral("Only the list of balances and the month end (Hitung and Posting), on the file "
                                     "in --dir (built first when it is not there yet).")});
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
        benchBalances(customers, rows, std::min(runs, 5));
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
