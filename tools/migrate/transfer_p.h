#pragma once

#include "migrate/transfer.h"

#include <QSqlDatabase>
#include <QString>

// What the move's copy and the supervisors' tables share.
namespace transfer::detail {

// Whether the database holds a table of that name.
bool hasTable(QSqlDatabase &database, const QString &name, bool *present, QString *error);
// Each operator keeps his kind (a supervisor stays one); a source made before
// there were kinds has none, and all its operators arrive as clerks.
bool keepKinds(QSqlDatabase &source, QSqlDatabase &target, const QList<Operator> &operators, QString *error);
// The supervisors' tables: settings, blocks, corrections' links, month-end runs.
bool keepSupervision(QSqlDatabase &source, QSqlDatabase &target, QString *error);

} // namespace transfer::detail
