#pragma once

#include "migrate/transfer.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

namespace db {
struct Value;
}

// What the move's copy, its digests and the supervisors' tables share.
namespace transfer::detail {

// A table that moves: its columns as a statement names them, in stored order,
// and how its rows are keyed.
struct Moved {
    enum class Key {
        Hidden, // the engine's row key (rowid, simparo_key), moved with the row
        Nomor,  // the trail's own number, its first column
        None,   // no key on a server: the rows in the order they were set aside
    };
    QString name;
    QStringList columns;
    Key key = Key::Hidden;
    bool optional = false; // a database may lack it
};

// Every table of the program's schema.
QList<Moved> movedTables();
// The statement that reads a table in key order: its hidden key first, when it
// has one; the trail only up to trailTop when one is given.
QString readStatement(const Moved &table, const QString &key, std::optional<qint64> trailTop = std::nullopt);
// How many values a row of the table has as read.
int valueCount(const Moved &table);
// The canonical record of one row: its key, then its content as the trail
// writes it (an operator's only his name); a trail row with its seal.
QByteArray canonical(const Moved &table, const db::Value *values);
// A ledger row (its key and columns as read) for the balance chains.
ledger::Row ledgerRow(const db::Value *values);

// Whether the database holds a table of that name.
bool hasTable(QSqlDatabase &database, const QString &name, bool *present, QString *error);
// Each operator keeps his kind (a supervisor stays one); a source made before
// there were kinds has none, and all its operators arrive as clerks.
bool keepKinds(QSqlDatabase &source, QSqlDatabase &target, const QList<Operator> &operators, QString *error);
// The supervisors' tables: settings, blocks, corrections' links, month-end runs.
bool keepSupervision(QSqlDatabase &source, QSqlDatabase &target, QString *error);

} // namespace transfer::detail
