#pragma once

#include "data/base/outcome.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <functional>

namespace db {

// A statement with bound values (never pasted into its text), its rows read
// forward only into *query; failed with the database's words.
Outcome run(QSqlDatabase &database, const QString &sql, const QVariantList &values, QSqlQuery *query);

// One read on a connection of its own to what the connection text names: opened,
// read, closed.
Outcome readAlone(const QString &connectionText, const std::function<Outcome(QSqlDatabase &)> &read);

// One short write on a connection of its own to what the connection text names
// (as the service names it, with asService): opened, begun, written, committed
// when the write succeeded and rolled back when not, closed. A commit that fails
// turns a success into the failure; a failed write keeps its own outcome.
Outcome writeAlone(const QString &connectionText, const std::function<Outcome(QSqlDatabase &)> &write,
                   bool asService = false);

} // namespace db
