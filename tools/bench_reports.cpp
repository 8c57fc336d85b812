// Speed of the reports: the customer list of 10,000 customers read from the
// database, laid out and saved as a PDF file, as the operator does it from the
// report window; and the list of balances on the bench's whole ledger.
#include "bench.h"

#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/records/dataenvironment.h"
#include "reports/reportdefinition.h"
#include "reports/reportengine.h"
#include "reports/reports.h"
#include "data/base/textforms.h"
#include "data/base/wallclock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <cstdio>

namespace {
constexpr int kCustomers = 10000;
constexpr int kRuns = 5;
} // namespace

void benchReports(const QString &workDir)
{
    // The program finds its database under HOME; the case gets a home of its own,
    // with the customers only.
    const QString home = QDir(workDir).filePath(QStringLiteral("reports"));
    QDir().mkpath(home);
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home));
    bench::ensureDatabase(kCustomers, 0);

    QString error;
    const QString pdf = QDir(home).filePath(QStringLiteral("LAPNASABAH.pdf"));
    bench::Figures total{QStringLiteral("customer list: read + lay out + save as PDF"), {}};
    bench::Figures reading{QStringLiteral("customer list: read"), {}};
    bench::Figures layout{QStringLiteral("customer list: lay out"), {}};
    bench::Figures saving{QStringLiteral("customer list: save as PDF"), {}};
    int pages = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        dataenv::ReportRows rows;
        dataenv::CommandSource *source = dataenv::DE()->command(QStringLiteral("NASABAH"));
        if (!source->read(&rows)) {
            std::printf("reports: reading failed: %s\n", qPrintable(source->lastError()));
            break;
        }
        const double read = timer.nsecsElapsed() / 1e6;
        auto document = reports::ReportDocument::layOut(reports::lapnasabah(), rows, &error);
        if (!document) {
            std::printf("reports: layout failed: %s\n", qPrintable(error));
            break;
        }
        const double laidOut = timer.nsecsElapsed() / 1e6;
        if (!document->savePdf(pdf, &error)) {
            std::printf("reports: saving failed: %s\n", qPrintable(error));
            break;
        }
        const double saved = timer.nsecsElapsed() / 1e6;
        pages = document->pageCount();
        reading.millis << read;
        layout.millis << laidOut - read;
        saving.millis << saved - laidOut;
        total.millis << saved;
    }
    std::printf("\nReports: customer list of %d customers as PDF (%d pages, %lld KiB):\n", kCustomers, pages,
                static_cast<long long>(QFileInfo(pdf).size() / 1024));
    for (const bench::Figures &figures : {total, reading, layout, saving})
        bench::print(figures);

    reports::closeReports();
    qputenv("HOME", savedHome);
}

void benchBalances(int customers, int rows, int runs)
{
    reports::closeReports();
    dataenv::CommandSource *source = dataenv::DMN()->command(QStringLiteral("SALDO"));
    const QString tomorrow = textform::storedDateText(wallclock::today().addDays(1));
    source->setValues({tomorrow, tomorrow});
    QString error;
    int accounts = 0;
    const bench::Figures shown = bench::time(
        QStringLiteral("list of balances of today: read + lay out (first page ready)"), runs, [&] {
            reports::ReportDocument::Builder builder(reports::lapsaldo());
            QHash<QString, QString> texts;
            const dataenv::RowStream stream{[&](const QStringList &columns) { return builder.begin(columns, &error); },
                                            [&](const QVector<QVariant> &values) { builder.add(values); }};
            if (!source->read(stream, &texts)) {
                error = source->lastError();
                return;
            }
            accounts = builder.finish(texts).rowCount();
        });
    std::printf("\nList of balances (%d customers, %d ledger rows, %d accounts listed; target: under 2 s):\n",
                customers, rows, accounts);
    if (!error.isEmpty())
        std::printf("balances: %s\n", qPrintable(error));
    bench::print(shown);
    reports::closeReports();
}
