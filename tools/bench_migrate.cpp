// The move of the bench's file onto a server by simparo-migrate, checks included.
#include "bench.h"

#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>

namespace {

// Empties the service's database of what the move made, for the next run.
void emptyService(const QString &service)
{
    QString error;
    db::Connection opened;
    if (!opened.open(QStringLiteral("Provider=PostgreSQL;Data Source=") + service, &error)) {
        std::printf("  cannot empty the service's database: %s\n", qPrintable(error));
        return;
    }
    {
        QSqlQuery query(opened.database());
        if (!query.exec(QStringLiteral(
                "DROP TABLE IF EXISTS daftar, nabubg, tpassword, jejak, impor_disisihkan CASCADE; "
                "DROP FUNCTION IF EXISTS simparo_bidang(text), simparo_sen(double precision), "
                "simparo_isi(text, bigint), simparo_jejak_operator(), simparo_jejak_segel(), "
                "simparo_hanya_ditambah() CASCADE")))
            std::printf("  cannot empty the service's database: %s\n", qPrintable(query.lastError().text()));
    }
    opened.close();
    db::releaseIdleConnections();
}

} // namespace

void benchMigrate(const QString &service, int rows)
{
    std::printf("\nThe file moved onto a server by simparo-migrate (one transaction, COPY; the checks of the "
                "target included):\n");
    if (service.isEmpty()) {
        std::printf("  skipped: name the service of an empty database of its own with --migrate-service NAME "
                    "(make bench BENCH_MIGRATE_SERVICE=NAME)\n");
        return;
    }
    std::fflush(stdout);
    QProcess migrate;
    QElapsedTimer timer;
    timer.start();
    migrate.start(QCoreApplication::applicationDirPath() + QStringLiteral("/simparo-migrate"),
                  {QStringLiteral("--to-server"), service, QStringLiteral("--from"), db::databaseFile()});
    migrate.waitForFinished(-1);
    const double seconds = timer.elapsed() / 1000.0;
    if (migrate.exitStatus() != QProcess::NormalExit || migrate.exitCode() != 0) {
        std::printf("  simparo-migrate failed (exit %d):\n%s%s", migrate.exitCode(),
                    migrate.readAllStandardOutput().constData(), migrate.readAllStandardError().constData());
    } else {
        std::printf("  %d ledger rows and their trail, file -> server, checks included: %.1f s (target: under 60 s)\n",
                    rows, seconds);
    }
    emptyService(service);
}
