#pragma once

#include "schema.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>

// The writes of a record source. Each is one transaction, committed when it is
// made, that serialises with every other writer of the database; a rule that must
// hold against other programs is checked inside it.
namespace recordwrite {

// Runs inside the write transaction before a row is written. It may look at the
// database as it stands now (not the snapshot) and change the row to be written;
// returning false refuses the write, with a message for the operator in *refusal.
using Check = std::function<bool(QSqlDatabase &database, QVector<QVariant> &row, QString *refusal)>;

// The table a record source writes.
struct Target {
    QString connection;
    QString file;
    QString table;
    QStringList columns; // as the database names them
    QList<schema::Kind> kinds;
    QString key;
};

struct Outcome {
    bool ok = true;
    bool refused = false; // refused by the check rather than by the database
    QString message;      // for the operator: the refusal, or the file and cause
};

// Appends a row (values by position, as the program holds them); *key gets its row key.
Outcome insert(const Target &target, QVector<QVariant> &row, const Check &check, qint64 *key);
// Writes the columns of the row with this key that differ from `original`.
Outcome update(const Target &target, qint64 key, const QVector<QVariant> &original, QVector<QVariant> &row,
               const Check &check);
// Deletes the row with this key; the check (when given) sees the row as the
// database holds it inside the write (a row already gone is not judged).
Outcome remove(const Target &target, qint64 key, const Check &check = {});

} // namespace recordwrite
