#include "auditcheck.h"

#include "dialect.h"
#include "pool.h"

#include <QSqlError>
#include <QSqlQuery>

namespace audit {

Outcome acceptBreak(QSqlDatabase &database, const QString &account, qint64 key)
{
    QSqlError failure;
    if (!db::beginWrite(database, &failure))
        return Outcome::failed(db::describeError(failure, database));
    const auto finish = [&database](const Outcome &outcome) {
        QSqlError error;
        if (!db::endWrite(database, outcome.isOk(), &error))
            return Outcome::failed(db::describeError(error, database));
        return outcome;
    };
    // Is the row a break of its chain, and is it known already?
    std::optional<ledger::Break> found;
    ledger::ChainWalker chains(0);
    ledger::Summary summary;
    const Outcome walked = ledger::checkChains(database, &summary, 0, [&](const ledger::Row &row) {
        const std::optional<ledger::Break> broken = chains.add(row);
        if (row.key == key && row.account == account)
            found = broken;
    });
    if (!walked.isOk())
        return finish(walked);
    if (!found)
        return finish(Outcome::refused(
            QStringLiteral("Baris %1 rekening %2 tidak memutus kesinambungan saldo; tidak ada yang dicatat.")
                .arg(key)
                .arg(account)));
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT nomor, tindakan, rincian FROM jejak WHERE tindakan IN ('%1', '%2', '%3') "
                                   "ORDER BY nomor")
                        .arg(QLatin1String(action::kImport), QLatin1String(action::kTrailInstalled),
                             QLatin1String(action::kBreakAccepted))))
        return finish(Outcome::failed(db::describeError(query.lastError(), database)));
    while (query.next())
        if (breaksOf(query.value(2).toString()).contains(KnownBreak{account, key}))
            return finish(Outcome::refused(
                QStringLiteral("Putus saldo rekening %1 pada baris %2 sudah diketahui (%3, jejak nomor %4); "
                               "tidak ada yang dicatat.")
                    .arg(account)
                    .arg(key)
                    .arg(query.value(1).toString())
                    .arg(query.value(0).toLongLong())));
    if (query.lastError().isValid())
        return finish(Outcome::failed(db::describeError(query.lastError(), database)));
    query.finish();
    Entry entry;
    entry.tindakan = QLatin1String(action::kBreakAccepted);
    entry.tabel = QStringLiteral("nabubg");
    entry.kunci = key;
    entry.norekening = account;
    entry.rincian = detail(QStringLiteral("putus"), QStringLiteral("%1@%2").arg(account).arg(key));
    return finish(append(database, entry));
}

} // namespace audit
