#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVector>
#include <functional>

// Shared pieces of simparo-bench.
namespace bench {

struct Figures {
    QString name;
    QVector<double> millis;
};

// Runs the step `runs` times and returns its times in milliseconds.
Figures time(const QString &name, int runs, const std::function<void()> &step);
// Prints median, minimum and maximum of each figure.
void print(const Figures &figures);
// The process's peak resident memory so far, in MiB.
double peakMemoryMiB();
// The process's current resident memory, in MiB.
double currentMemoryMiB();

// Makes (or reuses) the benchmark database in the folder: `customers` customers and
// `ledgerRows` ledger rows with correct balance chains. HOME must point at the folder.
void ensureDatabase(const QString &folder, int customers, int ledgerRows);

// Runs work on a connection of the bench's own to the database under HOME, outside
// the program's record sources, and closes it again.
void withDatabase(const std::function<void(QSqlDatabase &)> &work);

} // namespace bench

// Speed cases of simparo-bench. Each works in a folder of its own under workDir,
// makes its own database there and prints its timings.

// The customer list of 10,000 customers laid out and saved as PDF.
void benchReports(const QString &workDir);

// The end-to-end cases, driven through the real screens.
// Start of a process to the login window shown (in this process: the probe's side).
int runStartupProbe();
// Times process starts of `self` with --startup-probe on the database under home.
void measureStartup(const QString &self, const QString &home, int runs);
// Every screen on the database under HOME; with openingsOnly, only the openings and lookups.
int runEndToEnd(int runs, int customers, bool openingsOnly, const QString &label);
