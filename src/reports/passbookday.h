#pragma once

#include "data/base/outcome.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>

namespace reports {

// The day's reprints and new books of passbooks, one line each, as their trail
// rows record them (the counter's local day): the time, the action, the
// account, the book and its lines, the clerk and the supervisor. Where a forged
// book hides, the branch manager reads them on the daily report.
Outcome passbookEvents(QSqlDatabase &database, const QDate &day, QString *text);

} // namespace reports
