#pragma once

#include "legacyreader.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>
#include <functional>

// simparo-import: brings the three tables of an old asli.mdb into a SIMPARO database.
namespace import {

enum ExitCode { kSuccess = 0, kFailed = 1, kUsage = 2, kRefused = 3 };

// The side table that holds register rows the schema does not allow, with all their values.
inline constexpr const char *kSetAsideTable = "impor_disisihkan";

// The three tables of the old file, each row's values in the order of our columns.
struct Source
{
    QList<QVariantList> daftar;    // db::daftarColumns()
    QList<QVariantList> nabubg;    // db::nabubgColumns()
    QList<QVariantList> tpassword; // user, password
};

// Checks that the old tables have exactly our columns with the expected kinds of
// value (names compared without case) and puts their values in our order.
bool shape(QList<legacy::Table> tables, Source *source, QString *error);

// What the database the rows go into already holds (nothing for a new one).
struct Existing
{
    QSet<QString> accounts;
    QHash<QString, double> lastBalance; // balance after the account's last ledger row
    QSet<QString> users;
};

// One thing the operator must hear about. Anomalies stop a --strict import;
// notices do not.
struct Finding
{
    bool anomaly = true;
    QString table;
    int row = 0; // data row in the old table, from 1 in stored order; 0: the table as a whole
    QString what;
    QString where;
    QString line() const;
};

struct Plan
{
    QList<Finding> findings;
    QList<int> daftarKept;                     // indexes into Source::daftar, in order
    QList<QPair<int, QString>> daftarSetAside; // index and reason
    int anomalies() const;
};

Plan analyse(const Source &source, const Existing &existing);

struct Options
{
    QString source; // the .mdb file
    QString target; // the SQLite file; empty: the program's own (db::databaseFile())
    QString server; // a libpq service whose database the rows go into instead of a file
    bool intoExisting = false;
    bool strict = false;
    QString reader; // the reader program
    int silenceTimeoutMs = 60000;
    std::function<void(const QString &step, qint64 done, qint64 total)> progress;
};

struct Outcome
{
    int exitCode = kFailed;
    QString error;      // Indonesian; empty on success
    QString report;     // the report, also when --strict refused
    QString reportFile; // where the report was saved; empty when nothing was written
};

Outcome run(const Options &options);

} // namespace import
