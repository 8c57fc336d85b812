// The measuring, printing and database helpers every case of simparo-bench uses.
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
    db::Connection opened;
    QString error;
    // Where the program runs as a counter, the bench's own work is the owner's.
    const QString owner = qEnvironmentVariable("SIMPARO_BENCH_OWNER");
    if (!opened.open(owner.isEmpty() ? db::connectionText() : owner, &error))
        qFatal("%s", qPrintable(error));
    QSqlDatabase database = QSqlDatabase::database(opened.name(), false);
    work(database);
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


} // namespace bench
