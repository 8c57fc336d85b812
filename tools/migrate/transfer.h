#pragma once

#include "data/trail/auditcheck.h"
#include "data/trail/ledgerchain.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <functional>

// Moving a whole database from one engine to the other: a file onto a server's
// database, or a server's database into a new file.
// - The source is read in one read transaction (one snapshot), so that counters
//   still at work do not make it half old, half new.
// - The target must hold none of the program's tables (a file: must not exist).
//   It is filled in one transaction (db::Fill): nobody sees it half done, and a
//   failure, or the process ending, leaves it as it was.
// - Every table moves with its rows' keys, in key order: jejak with its stored
//   rows and seals exactly (the trail's rules are lifted for the copy inside the
//   transaction that made the tables, and restored before it ends), so every seal
//   still verifies. The operators arrive without a usable password
//   (db::operatorsArrived).
// - The move appends its own jejak row (pindah) after the copied rows: from
//   where, and each table's count and digest.
// - After the commit the target is read again: each table's count and digest
//   (the move's own jejak rows left out) against the source's, the balance
//   chains against the source's, and the check of simparo-verify.
namespace transfer {

// A database: a file, or the database of a libpq service.
struct Place {
    QString file;
    QString service;
    bool isServer() const { return !service.isEmpty(); }
};

// A table's rows as read on one side: their number and the lower-hex SHA-256 of
// their canonical records in key order (each record: the row's key, then its
// content as the trail writes it; an operator's password is left out).
struct TableDigest {
    QString table;
    qint64 rows = 0;
    QByteArray digest;
    friend bool operator==(const TableDigest &, const TableDigest &) = default;
};

// An operator who arrived without a usable password.
struct Operator {
    qint64 key = 0;
    QString user;
};

struct Result {
    bool moved = false;   // the target was filled and committed
    QString error;        // why nothing was moved, or why the target could not be checked
    QString from, to;     // as messages name them
    QList<TableDigest> source, target;
    ledger::Summary sourceChains, targetChains;
    bool checked = false; // the target was read again and checked
    audit::CheckResult trail;
    QList<Operator> operators;
    QString service;        // the target's service, when it is a server's database
    QString file;           // the target file, when it is one
    qint64 copiedTrail = 0; // the last jejak row copied
    bool chainsAgree() const;
    bool tablesAgree() const;
    // Moved, and every check agrees.
    bool holds() const;
};

// What is being done: a step (a table), how far, and of how much.
using Progress = std::function<void(const QString &step, qint64 done, qint64 total)>;

Result move(const Place &from, const Place &to, const Progress &progress = {});

// The lines of the report: what was moved, what was checked, the operators to
// be given a password.
QStringList describe(const Result &result);

// The canonical digest of every table that moves, read on an open database
// inside the caller's read transaction, and the balance chains walked (as
// ledger::checkChains() walks them) on the same read of the ledger. The trail
// only up to `trailTop` when given.
bool digestTables(QSqlDatabase &database, QList<TableDigest> *digests, ledger::Summary *chains,
                  std::optional<qint64> trailTop, QString *error);

} // namespace transfer

namespace db {

// Writes the operators into the new database's tpassword, each with his key and
// name and no usable password: on a file a stored value that no typed password
// matches, on a server none (NULL), each with his role that cannot log in yet.
// Inside the caller's write transaction.
bool operatorsArrived(QSqlDatabase &target, const QList<transfer::Operator> &operators, QSqlError *error);

} // namespace db
