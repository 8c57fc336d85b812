#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVector>
#include <QList>
#include <functional>
#include <utility>

namespace db {
class Dialect;
}

// Shared pieces of simparo-bench.
namespace bench {

struct Figures {
    QString name;
    QVector<double> millis;
};

// Runs the step `runs` times and returns its times in milliseconds.
Figures time(const QString &name, int runs, const std::function<void()> &step);
// Prints median, minimum and maximum of each figure, and keeps the median for the
// comparison of the engines (see record()).
void print(const Figures &figures);
// Keeps a median under the name of the engine now measured ("SQLite", "PostgreSQL").
void record(const QString &name, double median);
void setEngine(const QString &engine);
// Prints the kept medians of both engines side by side, with their ratio.
void printComparison();
// The process's peak resident memory so far, in MiB.
double peakMemoryMiB();
// The process's current resident memory, in MiB.
double currentMemoryMiB();

// Makes (or reuses) the benchmark database, the program's file under HOME: `customers`
// customers and `ledgerRows` ledger rows with correct balance chains.
void ensureDatabase(int customers, int ledgerRows);

// Runs work on a connection of the bench's own to the database the program's
// connection text names (the file under HOME, or the server), outside the
// program's record sources, and closes it again.
void withDatabase(const std::function<void(QSqlDatabase &)> &work);
// Runs work with the server sessions of a tool (simparo-verify's, the importer's):
// without the screens' time limits, on connections of its own; the screens' limits
// hold again afterwards.
void asTool(const std::function<void()> &work);

// The statements that make the indexes of daftar, nabubg and jejak (not their
// keys'), by the index's name: dropped before a bulk load and made after it,
// each in one pass.
QList<std::pair<QString, QString>> bulkIndexes(const db::Dialect &dialect);

// The account number of the i-th customer of the bench's databases.
QString accountNumber(int i);

// Makes (or reuses) the benchmark database on the server of a service, with the
// same customers and ledger rows as the file under HOME (which must exist).
// Refuses a database that holds other data.
void ensureServerDatabase(const QString &service, int customers, int ledgerRows);
// Points the program's connection text at a service, or at the file under HOME,
// through a setting file of the bench's own in the folder.
void useServer(const QString &folder, const QString &service);
void useFile(const QString &folder);
// Points the program (the processes started next) at the service as a counter
// does: through the database's lookup role, so that the login screen logs in as
// the operator's own role; withDatabase() stays the owner's. Returns what puts
// the owner's setting back.
std::function<void()> useCounters(const QString &folder, const QString &service);

// Eight counters (processes of `self`) posting durably at the same moment on the
// accounts of `customers` customers (spread) or on three shared accounts; prints
// postings per second and the balance chains broken afterwards.
void measureCounters(const QString &self, int counters, int postings, int customers, bool shared);
// The counter's side, in the child process.
int runCounterChild(int counter, int postings, int customers, bool shared);

} // namespace bench

// Speed cases of simparo-bench. Each works in a folder of its own under workDir,
// makes its own database there and prints its timings.

// The bench's file moved onto the empty database of a service by simparo-migrate,
// timed with its checks; the database is emptied again afterwards. Skipped, and
// said so, without a service.
void benchMigrate(const QString &service, int rows);

// The customer list of 10,000 customers laid out and saved as PDF.
void benchReports(const QString &workDir);
// The list of balances (every account at the end of today) on the database under
// HOME or the service in use: read and laid out, until its first page can show.
void benchBalances(int customers, int rows, int runs);
// The month end ("Hitung" and "Posting") on the bench's ledger, in a child process.
void benchMonthEnd(const QString &self, const QString &folder, int customers, int rows);
int runMonthEndChild(int ledgerRows);
// Deletes the month-end runs the bench posted (inside trimDatabase's transaction).
void trimMonthEnd(QSqlDatabase &database, bool server);
// Takes out what the bench's own postings, registrations, logins and month ends
// added, and their trail rows, so that the next run finds the same data.
void trimDatabase(int customers, int ledgerRows);
// The record-source layer alone, what every screen's record sources do.
void benchRecordSources(int customers, int runs);
// For scale: the naive design that reads the whole ledger into memory; its time in ms.
double benchNaive();
// simparo-verify's check of the whole ledger and its trail.
void benchVerify(int rows, int runs);
// The old program's medium file brought across by simparo-import, when it lies beside the checkout.
void benchImport(const QString &folder, int runs);

// The end-to-end cases, driven through the real screens.
// Start of a process to the login window shown (in this process: the probe's side).
int runStartupProbe();
// Times process starts of `self` with --startup-probe on the database under home.
void measureStartup(const QString &self, const QString &home, int runs);
// `saves` deposits through the transaction screen on the database under HOME, for callgrind.
int runSaveLoop(int saves, int customers);
// Every screen on the database under HOME; with openingsOnly, only the openings and lookups.
int runEndToEnd(int runs, int customers, bool openingsOnly, const QString &label);
