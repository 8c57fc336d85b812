// Speed and memory of the month end on the bench's whole ledger: "Hitung" (every
// account's share from one pass over the ledger) and "Posting" (the share and tax
// rows of every account, the run's row and its trail row, in one write), in a
// process of their own so that the peak memory printed is the program's.
#include "bench.h"

#include "data/base/session.h"
#include "data/engine/connectiontext.h"
#include "savings/monthend.h"
#include "savings/profitshare.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>

namespace {

// The last full month of the bench's ledger: its rows run day by day from
// 2 January 2012, as many a day as ensureDatabase() puts on one.
profitshare::Month lastFullMonth(int ledgerRows)
{
    const int perDay = std::max(400, int((qint64(ledgerRows) + 4999) / 5000));
    const QDate last = QDate(2012, 1, 2).addDays(ledgerRows / perDay);
    const QDate before = QDate(last.year(), last.month(), 1).addMonths(-1);
    return *profitshare::Month::of(before.year(), before.month());
}

} // namespace

int runMonthEndChild(int ledgerRows)
{
    // The bench's database was made with "admin", its first supervisor.
    session::setOperator(QStringLiteral("admin"));
    const profitshare::Month month = lastFullMonth(ledgerRows);
    profitshare::Inputs inputs;
    inputs.contract = profitshare::Contract::Mudharabah;
    inputs.revenue = Money::fromRupiah(250000000);
    inputs.nisbahBasisPoints = 4000;

    profitshare::Result result;
    QElapsedTimer timer;
    timer.start();
    Outcome outcome = monthend::compute(db::connectionText(), inputs, month, &result);
    const double computed = timer.nsecsElapsed() / 1e9;
    if (!outcome.isOk()) {
        std::printf("  month end: Hitung failed: %s\n", qPrintable(outcome.message()));
        return 1;
    }
    std::printf("  month end %s: Hitung %.2f s (%lld accounts; target: under 30 s)\n", qPrintable(month.text()),
                computed, static_cast<long long>(result.shares.size()));
    const double afterComputing = bench::peakMemoryMiB();

    monthend::Run run;
    timer.restart();
    outcome = monthend::post(db::connectionText(), inputs, month, &result, &run);
    const double posted = timer.nsecsElapsed() / 1e9;
    if (!outcome.isOk()) {
        std::printf("  month end: Posting failed: %s\n", qPrintable(outcome.message()));
        return 1;
    }
    std::printf("  month end %s: Posting %.2f s (%lld ledger rows written; target: under 60 s)\n",
                qPrintable(month.text()), posted, static_cast<long long>(run.rows));
    std::printf("  month end: peak memory %.1f MiB after Hitung, %.1f MiB after Posting (target: under 150 MiB)\n",
                afterComputing, bench::peakMemoryMiB());
    return 0;
}

void benchMonthEnd(const QString &self, const QString &folder, int customers, int rows)
{
    std::printf("\nThe month end on %d customers, %d ledger rows (each in a process of its own):\n", customers, rows);
    std::fflush(stdout);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(self, {QStringLiteral("--monthend-child"), QStringLiteral("--dir"), folder, QStringLiteral("--customers"),
                       QString::number(customers), QStringLiteral("--rows"), QString::number(rows)});
    child.waitForFinished(-1);
}

// Takes the bench's month-end runs out again (the owner's maintenance): a run's
// row may not be deleted, so the table's own triggers step aside for a moment.
void trimMonthEnd(QSqlDatabase &database, bool server)
{
    QSqlQuery query(database);
    if (server) {
        for (const char *statement : {"ALTER TABLE bagi_hasil DISABLE TRIGGER USER", "DELETE FROM bagi_hasil",
                                      "ALTER TABLE bagi_hasil ENABLE TRIGGER USER"})
            if (!query.exec(QLatin1String(statement)))
                qFatal("%s", qPrintable(query.lastError().text()));
        return;
    }
    QStringList names, made;
    if (!query.exec(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'trigger' AND tbl_name = 'bagi_hasil'")))
        return; // a database without month ends
    while (query.next()) {
        names << query.value(0).toString();
        made << query.value(1).toString();
    }
    for (const QString &name : names)
        if (!query.exec(QStringLiteral("DROP TRIGGER \"%1\"").arg(name)))
            qFatal("%s", qPrintable(query.lastError().text()));
    if (!query.exec(QStringLiteral("DELETE FROM bagi_hasil")))
        qFatal("%s", qPrintable(query.lastError().text()));
    for (const QString &statement : made)
        if (!query.exec(statement))
            qFatal("%s", qPrintable(query.lastError().text()));
}
