#include "data/trail/auditcheck.h"

#include "data/engine/dialect.h"
#include "data/trail/ownersrows.h"
#include "data/engine/pool.h"
#include "data/base/textforms.h"

#include <QSqlError>
#include <QSqlQuery>

namespace audit {

QStringList describe(const CheckResult &result)
{
    QStringList lines;
    if (!result.hasTrail) {
        lines << QStringLiteral("Database ini belum punya jejak audit (tabel jejak): hanya kesinambungan saldo "
                                "yang diperiksa. Berikan jejak dengan simparo-initdb --upgrade.");
    } else if (!result.head) {
        lines << QStringLiteral("Jejak: belum ada baris.");
    } else {
        const QDateTime local = localTime(result.head->waktu, result.head->zona);
        lines << QStringLiteral("Jejak: %1 baris; segel terakhir (nomor %2, %3 %4):")
                     .arg(result.trailRows)
                     .arg(result.head->nomor)
                     .arg(local.isValid() ? local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : result.head->waktu,
                          result.head->zona)
              << QStringLiteral("  ") + groupedSeal(textform::printable(result.head->segel));
    }
    lines << QStringLiteral("Buku tabungan: %1 baris, %2 rekening.").arg(result.ledger.rows).arg(result.ledger.accounts);
    for (const KnownNotice &notice : result.known)
        lines << QStringLiteral("Catatan (sudah diketahui, %1 di jejak nomor %2): %3")
                     .arg(notice.tindakan)
                     .arg(notice.nomor)
                     .arg(notice.link.text());
    lines << result.notices;
    for (const Finding &finding : result.shown)
        lines << QStringLiteral("TIDAK COCOK: ") + finding.text;
    if (result.findings > result.shown.size())
        lines << QStringLiteral("... dan %1 temuan lain.").arg(result.findings - result.shown.size());
    lines << (result.holds() ? QStringLiteral("Semua cocok.")
                             : QStringLiteral("%1 temuan: jejak audit atau buku tabungan tidak cocok.").arg(result.findings));
    return lines;
}

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
    // Known only by a row the owner wrote (see ownersrows.h): one forged by another role names nothing.
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT nomor, tindakan, peran, rincian FROM jejak WHERE tindakan IN ('%1', '%2', '%3', '%4') "
                                   "ORDER BY nomor")
                        .arg(QLatin1String(action::kImport), QLatin1String(action::kTrailInstalled),
                             QLatin1String(action::kBreakAccepted), QLatin1String(action::kMove))))
        return finish(Outcome::failed(db::describeError(query.lastError(), database)));
    std::vector<OwnersRow> rows;
    while (query.next())
        rows.push_back({query.value(0).toLongLong(), query.value(1).toString(),
                        query.value(2).isNull() ? QString() : query.value(2).toString(), query.value(3).toString()});
    if (query.lastError().isValid())
        return finish(Outcome::failed(db::describeError(query.lastError(), database)));
    query.finish();
    std::optional<OwnersRow> knownBy;
    const Outcome judged = judgeOwnersRows(
        database, rows,
        [&](const OwnersRow &row) {
            if (!knownBy && breaksOf(row.rincian).contains(KnownBreak{account, key}))
                knownBy = row;
        },
        [](const OwnersRow &, const QString &) {});
    if (!judged.isOk())
        return finish(judged);
    if (knownBy)
        return finish(Outcome::refused(
            QStringLiteral("Putus saldo rekening %1 pada baris %2 sudah diketahui (%3, jejak nomor %4); "
                           "tidak ada yang dicatat.")
                .arg(account)
                .arg(key)
                .arg(knownBy->tindakan)
                .arg(knownBy->nomor)));
    Entry entry;
    entry.tindakan = QLatin1String(action::kBreakAccepted);
    entry.tabel = QStringLiteral("nabubg");
    entry.kunci = key;
    entry.norekening = account;
    entry.rincian = detail(QStringLiteral("putus"), QStringLiteral("%1@%2").arg(account).arg(key));
    return finish(append(database, entry));
}

} // namespace audit
