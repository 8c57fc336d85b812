#pragma once

#include "data/engine/writealone.h"
#include "savings/monthend.h"

#include <QHash>
#include <QSqlQuery>
#include <QVariantList>

// What the month end's reading and its posting share.
namespace monthend::detail {

// The month as bagi_hasil keeps it: "YYYY-MM".
QString storedMonth(const profitshare::Month &month);
// A statement with bound values (the data layer's one helper).
using db::run;
// The latest balance of each account, as the pass over the ledger met it; nothing
// when that row's saldo is empty or no number.
using Latest = QHash<QString, std::optional<Money>>;
// compute(), noting each account's latest balance too (when `latest` is given).
Outcome computeWithLatest(QSqlDatabase &database, const profitshare::Inputs &inputs, const profitshare::Month &month,
                          profitshare::Result *result, Latest *latest);

// One ledger row a run writes.
struct RunRow {
    QString account, name, code, kind;
    Money debet, kredit, saldo;
};
// Appends a server's rows of one code and kind in one statement, in their order; their keys.
Outcome appendAtOnce(QSqlDatabase &database, const QList<RunRow> &rows, const QString &code, const QString &kind,
                     QList<qint64> *keys);

} // namespace monthend::detail
