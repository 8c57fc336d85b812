#pragma once

#include "data/base/outcome.h"

#include <QSqlDatabase>
#include <QString>

// What the supervisors' files (the kinds, the settings, the blocked accounts) share.
namespace supervision::detail {

// A database made before the table existed, and not yet upgraded, holds none of
// its rows: no operator is a supervisor there, no setting is changed and no
// account is blocked, and the clerks post on as before. Asked before the
// statement, since on a server a failed statement spoils the transaction around it.
Outcome present(QSqlDatabase &database, const QString &table, bool *there);

} // namespace supervision::detail
