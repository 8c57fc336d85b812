// The cases of simparo-bench below the screens: the record sources, the naive
// design for scale, simparo-verify's check and the import of the old program's file.
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


// simparo-verify's check of the whole ledger and its trail.
void benchVerify(int rows, int runs)
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

// The old program's medium file (2,000 customers, 40,000 postings) brought across
// by simparo-import into a new database, when the file lies beside the checkout.
void benchImport(const QString &folder, int runs)
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
