#pragma once

#include "data/base/schema.h"
#include "legacyreader.h"

#include <QByteArray>
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
inline constexpr const char *kSetAsideTable = schema::kSetAsideTable;

// The three tables of the old file, in the order they are read.
enum Table { kDaftar, kNabubg, kTpassword };

// Checks that an old table (kDaftar, kNabubg or kTpassword) has exactly our
// columns with the expected kinds of value (names compared without case), and
// gives where each of our columns is among its columns.
bool shape(int table, const legacy::Table &old, QList<int> *positions, QString *error);

// What the database the rows go into already holds (nothing for a new one).
struct Existing
{
    QHash<QString, QString> accounts;   // account number -> the customer's name
    QHash<QString, double> lastBalance; // balance after the account's last ledger row
    QSet<QString> users;
};

// One thing the operator must hear about. Anomalies stop a --strict import;
// notices do not.
struct Finding
{
    bool anomaly = true;
    QString table;
    qint64 row = 0; // data row in the old table, from 1 in stored order; 0: the table as a whole
    QString what;
    QString where;
    // A ledger row's account and the customer's name, both named in its line.
    bool aboutAccount = false;
    QString account, name;
    QString line() const;
};

// Follows the rows of the old file as they arrive (the register, then the
// ledger, then the operators), says what becomes of each, and keeps the lines
// of the report about them, compactly: no row is kept.
class Analysis
{
public:
    // keepsTimeOfDay: whether the target's date column keeps a time of day.
    Analysis(Existing existing, bool keepsTimeOfDay);

    // A register row in our column order: false when it goes to the side table
    // instead (*reason says why).
    bool customer(const QVariantList &row, QString *reason);
    void posting(const QVariantList &row);
    void user(const QVariantList &row);
    // The findings about the tables as a whole, once every row is in.
    void finish();

    QStringList lines() const; // every finding's line, in order
    const QByteArray &text() const { return text_; }
    qint64 anomalies() const { return anomalies_; }
    qint64 notices() const { return notices_; }
    qint64 customers() const { return customers_; }
    qint64 setAside() const { return setAside_; }
    qint64 postings() const { return postings_; }
    qint64 users() const { return users_; }
    // The operators' user names as brought over, in stored order, each as the report writes it.
    const QStringList &userNames() const { return userNames_; }

private:
    void note(const Finding &finding);
    void note(bool anomaly, const QString &table, qint64 row, const QString &what, const QString &where);

    Existing existing_;
    bool keepsTimeOfDay_;
    QHash<QString, QPair<qint64, QString>> firstRow_; // account number -> its register row and name
    QHash<QString, double> balance_;
    QHash<QString, qint64> firstUser_;
    QStringList userNames_;
    QByteArray text_; // the findings' lines, UTF-8, each ended by a newline
    qint64 anomalies_ = 0, notices_ = 0;
    qint64 customers_ = 0, setAside_ = 0, postings_ = 0, users_ = 0;
};

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
