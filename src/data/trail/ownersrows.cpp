#include "data/trail/ownersrows.h"

#include "data/trail/audit.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"

#include <QRegularExpression>

namespace audit {

namespace {

bool isOperatorsRole(const QString &peran)
{
    static const QRegularExpression pattern(QStringLiteral("_(op_[0-9]+|operator|masuk)$"));
    return pattern.match(peran).hasMatch();
}

// The last row number of the trail a move copied ("jejak=1-N"); 0 when none.
qint64 copiedTrail(const QString &rincian)
{
    for (const auto &[key, value] : detailValues(rincian))
        if (key == QLatin1String("jejak") && value.startsWith(QLatin1String("1-")))
            return value.mid(2).toLongLong();
    return 0;
}

} // namespace

bool ownersOnly(QByteArrayView tindakan)
{
    for (const char *action : {action::kBreakAccepted, action::kImport, action::kTrailInstalled, action::kMove,
                               action::kOperatorAdded, action::kOperatorRemoved, action::kOperatorReset,
                               action::kOperatorKind})
        if (tindakan == action)
            return true;
    return false;
}

Outcome judgeOwnersRows(QSqlDatabase &database, const std::vector<OwnersRow> &rows,
                        const std::function<void(const OwnersRow &)> &honoured,
                        const std::function<void(const OwnersRow &, const QString &owner)> &refused)
{
    QString owner;
    QSqlError failure;
    if (!db::dialect(database).ownerRole(database, &owner, &failure))
        return Outcome::failed(db::describeError(failure, database));
    qint64 copiedTop = 0; // the rows up to here were copied by a move the owner wrote
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        const bool owners = row->peran.isNull() || (!owner.isEmpty() && row->peran == owner)
            || (row->nomor <= copiedTop && !isOperatorsRole(row->peran));
        if (!owners) {
            refused(*row, owner);
            continue;
        }
        if (row->tindakan == QLatin1String(action::kMove))
            copiedTop = std::max(copiedTop, copiedTrail(row->rincian));
        honoured(*row);
    }
    return Outcome::ok();
}

} // namespace audit
