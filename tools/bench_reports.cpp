// Speed of the reports: the customer list of 10,000 customers read from the
// database, laid out and saved as a PDF file, as the operator does it from the
// report window.
#include "bench.h"

#include "data/database.h"
#include "reports/dataenvironment.h"
#include "reports/reportdefinition.h"
#include "reports/reportengine.h"
#include "reports/reports.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <algorithm>
#include <memory>

namespace {
constexpr int kCustomers = 10000;
constexpr int kRuns = 5;

bool fillRegister(const QString &file, int customers, QString *error)
{
    const QString name = QStringLiteral("bench-reports-fill");
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(file);
        if (!database.open()) {
            *error = database.lastError().text();
            ok = false;
        } else {
            QSqlQuery query(database);
            const char *levels[] = {"SD", "SMP", "SMU", "MAHASISWA"};
            ok = query.exec(QStringLiteral("BEGIN"))
                && query.prepare(QStringLiteral("INSERT INTO daftar VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
            for (int i = 0; ok && i < customers; ++i) {
                query.addBindValue(QStringLiteral("01%1").arg(i, 8, 10, QLatin1Char('0')));
                query.addBindValue(QStringLiteral("Nasabah Pelajar Nomor %1").arg(i + 1));
                query.addBindValue(QStringLiteral("Medan"));
                query.addBindValue(QStringLiteral("%1/%2/2008").arg(i % 28 + 1, 2, 10, QLatin1Char('0'))
                                       .arg(i % 12 + 1, 2, 10, QLatin1Char('0')));
                query.addBindValue(QStringLiteral("Jl. Gatot Subroto No. %1").arg(i % 500 + 1));
                query.addBindValue(QStringLiteral("Deli Serdang"));
                query.addBindValue(QStringLiteral("20%1").arg(i % 1000, 3, 10, QLatin1Char('0')));
                query.addBindValue(QString::fromLatin1(levels[i % 4]));
                query.addBindValue(QStringLiteral("0812%1").arg(i, 7, 10, QLatin1Char('0')));
                ok = query.exec();
            }
            ok = ok && query.exec(QStringLiteral("COMMIT"));
            if (!ok)
                *error = query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}
} // namespace

void benchReports(const QString &workDir)
{
    QTextStream out(stdout);
    std::unique_ptr<QGuiApplication> ownApp;
    static int argc = 1;
    static char arg0[] = "simparo-bench";
    static char *argv[] = {arg0, nullptr};
    if (!QCoreApplication::instance())
        ownApp = std::make_unique<QGuiApplication>(argc, argv);

    // The program finds its database under HOME; the case gets a home of its own.
    const QString home = QDir(workDir).filePath(QStringLiteral("reports"));
    QDir(home).removeRecursively();
    QDir().mkpath(home);
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home));

    QString error;
    const QString file = db::databaseFile();
    if (!db::createDatabase(file, QStringLiteral("admin"), QStringLiteral("admin123"), &error)
        || !fillRegister(file, kCustomers, &error)) {
        out << "reports: cannot prepare the database: " << error << Qt::endl;
        qputenv("HOME", savedHome);
        return;
    }

    const QString pdf = QDir(home).filePath(QStringLiteral("LAPNASABAH.pdf"));
    QList<qint64> total, reading, layout, saving;
    int pages = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        reports::ReportRows rows;
        reports::CommandSource *source = reports::DE()->command(QStringLiteral("NASABAH"));
        if (!source->read(&rows)) {
            out << "reports: reading failed: " << source->lastError() << Qt::endl;
            break;
        }
        const qint64 read = timer.elapsed();
        auto document = reports::ReportDocument::layOut(reports::lapnasabah(), rows, &error);
        if (!document) {
            out << "reports: layout failed: " << error << Qt::endl;
            break;
        }
        const qint64 laidOut = timer.elapsed();
        if (!document->savePdf(pdf, &error)) {
            out << "reports: saving failed: " << error << Qt::endl;
            break;
        }
        const qint64 saved = timer.elapsed();
        pages = document->pageCount();
        reading << read;
        layout << laidOut - read;
        saving << saved - laidOut;
        total << saved;
    }
    auto summary = [](QList<qint64> times) {
        if (times.isEmpty())
            return QStringLiteral("no runs");
        std::sort(times.begin(), times.end());
        return QStringLiteral("median %1 ms, min %2 ms, max %3 ms")
            .arg(times.at(times.size() / 2))
            .arg(times.first())
            .arg(times.last());
    };
    out << "reports: customer list of " << kCustomers << " customers saved as PDF (" << pages << " pages, "
        << QFileInfo(pdf).size() / 1024 << " KiB), " << total.size() << " runs" << Qt::endl;
    out << "  total  (read + lay out + save): " << summary(total) << Qt::endl;
    out << "  read:   " << summary(reading) << Qt::endl;
    out << "  layout: " << summary(layout) << Qt::endl;
    out << "  save:   " << summary(saving) << Qt::endl;

    reports::closeReports();
    qputenv("HOME", savedHome);
}
