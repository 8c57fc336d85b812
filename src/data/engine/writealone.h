#pragma once

#include "data/base/outcome.h"

#include <QSqlDatabase>
#include <QString>
#include <functional>

namespace db {

// One short write on a connection of its own to what the connection text names
// (as the service names it, with asService): opened, begun, written, committed
// when the write succeeded and rolled back when not, closed. A commit that fails
// turns a success into the failure; a failed write keeps its own outcome.
Outcome writeAlone(const QString &connectionText, const std::function<Outcome(QSqlDatabase &)> &write,
                   bool asService = false);

} // namespace db
