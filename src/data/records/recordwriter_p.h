#pragma once

#include "data/records/recordwriter.h"
#include "data/engine/pool.h"
#include "data/trail/audit.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>

// What the record writer's insert, update and delete share.
namespace recordwrite::detail {

// A failed statement as the operator is told it: a number in use is a refusal.
Outcome failure(const QSqlError &error, const QSqlDatabase &database);

// Runs the guard (it may refuse), the check (it may change the row or refuse it),
// then the work; commits, or rolls everything back. *broken (when given) tells a
// failure after which the write's end is not known from its own answers: the
// COMMIT failed, or the connection was lost on the way.
Outcome run(const Target &target, QVector<QVariant> *row, const Check &check,
            const std::function<Outcome(QSqlDatabase &, db::Statement &)> &work,
            const std::function<Outcome(QSqlDatabase &, db::Statement &)> &guard = {}, bool *broken = nullptr);

// A column's value as the database stores it.
QVariant stored(const Target &target, const QVector<QVariant> &row, int column);

// Whether the table is written through the server's functions, not by statements.
bool throughFunctions(const Target &target, const QSqlDatabase &database);

// Texts as an array value of the server ({"a","b",NULL}), bound as one value.
QString textArray(const QVariantList &values);

// Two values alike, an empty one only like an empty one.
bool same(const QVariant &a, const QVariant &b);

// A column's value as the trail's details show it: amounts as amounts, dates as stored.
QString detailText(const Target &target, const QVector<QVariant> &row, int column);

// The place of a column by its name, any case; -1 when the table has none.
int columnOf(const Target &target, const QString &name);

// A password, or its hash, never stands in the trail.
bool secret(const QString &column);

// The entry of a write, filled in with what the write knows: the table, the key,
// the account number, and the given detail lines after the writer's own.
audit::Entry completed(const Target &target, audit::Entry entry, audit::Write write, qint64 key,
                       const QVector<QVariant> &row, const QStringList &lines);

// Every column of a row as "kolom=nilai" lines, a password never among them.
QStringList rowLines(const Target &target, const QVector<QVariant> &row);

// The row was deleted elsewhere since it was shown.
Outcome goneElsewhere(const Target &target);

// A refusal or failure of one of the database's write functions.
Outcome functionFailure(const Target &target, const QSqlError &error, const QSqlDatabase &database);

// The row of a key as the database holds it now (locked against other writers
// when inside a write), as the program holds values; empty when it is gone.
Outcome storedRow(QSqlDatabase &database, const Target &target, qint64 key, const QString &lockClause,
                  QVector<QVariant> *row);

// After a write with a token failed: whether a write with that token is stored
// after all, asked on the connection (opened again when it was lost). A write
// whose end is not known (`broken`) is first waited for, so that the answer is
// final; its outcome is then told as it is, stored or not. Another failure is
// told as it is, unless the token turns out stored (by an earlier try).
Outcome storedAfterAll(const Target &target, const QString &token, const Outcome &failed, bool broken,
                       QVector<QVariant> &row, qint64 *key);

} // namespace recordwrite::detail
