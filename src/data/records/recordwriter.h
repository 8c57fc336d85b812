#pragma once

#include "data/trail/audit.h"
#include "data/base/outcome.h"
#include "data/base/schema.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>

// The writes of a record source. Each is one transaction, committed when it is
// made, that serialises with every other writer of the database; a rule that must
// hold against other programs is checked inside it. Each appends its one row to
// the audit trail (audit.h) in the same transaction: the entry given, filled in
// with the table, the key, the account number (a table's column norekening), and
// the changed columns ("kolom: lama -> baru") or the deleted row ("kolom=nilai"),
// a password never among them. An entry without an action gets the one the write
// stands for (audit::defaultAction). A write that writes nothing (an update that
// changes no column, a deletion of a row already gone) appends nothing.
namespace recordwrite {

// Runs inside the write transaction before a row is written. It may look at the
// database as it stands now (not the snapshot) and change the row to be written.
// Anything but ok ends the write with nothing written: refused by a rule of the
// program, or failed when the database could not be read.
using Check = std::function<Outcome(QSqlDatabase &database, QVector<QVariant> &row)>;

// The table a record source writes.
struct Target {
    QString connection;
    QString file;
    QString table;
    QStringList columns; // as the database names them
    QList<schema::Kind> kinds;
    QString key;
};

// Appends a row (values by position, as the program holds them); *key gets its row key.
// A write whose entry has a token (a "SAVE") is stored at most once, however often
// it is tried: a token found stored (looked up inside the write, before the
// check) ends the write as done, with the stored row in `row` and a notice. When
// such a write breaks off (the COMMIT fails, or the connection is lost on the
// way) the database is asked again, on the connection opened again, once no
// write still open there can change the answer: stored (done, with a notice),
// not stored (failed: nothing was written), or, while it cannot be asked,
// unknown (failed, and the same token tried again stores it once).
Outcome insert(const Target &target, QVector<QVariant> &row, const Check &check, qint64 *key,
               const audit::Entry &entry = {});
// Writes the columns of the row with this key that differ from `original`.
Outcome update(const Target &target, qint64 key, const QVector<QVariant> &original, QVector<QVariant> &row,
               const Check &check, const audit::Entry &entry = {});
// Deletes the row with this key; the check (when given) sees the row as the
// database holds it inside the write (a row already gone is not judged).
// The check of a deletion run before it is asked for, on the row as the database
// holds it now, writing nothing: so the operator hears a refusal before he is
// asked to confirm. The deletion runs the check again inside its write.
Outcome judge(const Target &target, qint64 key, const Check &check);
Outcome remove(const Target &target, qint64 key, const Check &check = {}, const audit::Entry &entry = {});

// For tests only: runs inside every write of a table once its check has passed,
// just before the row is written, so a test can hold the write there while
// another program acts. An empty hook (the default) does nothing.
void setAfterCheckForTesting(const std::function<void(const QString &table)> &hook);

} // namespace recordwrite
