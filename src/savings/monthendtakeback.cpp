#include "monthend.h"
#include "monthend_p.h"

#include "data/base/session.h"
#include "data/base/wallclock.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/trail/audit.h"
#include "data/trail/ledgerchain.h"
#include "savings/correction.h"

#include <QMap>
#include <QSqlQuery>
#include <algorithm>

// Taking a posted month back whole (see monthend.h).
namespace monthend {

using namespace profitshare;
using detail::RunRow;
using detail::run;

namespace {

// One account of the run: its share and tax rows (keys and amounts), the
// register's name now, and its balance now.
struct Held {
    QString name;
    std::optional<qint64> shareKey, taxKey;
    Money share, tax;
    std::optional<Money> balance;
};

// The correction rows of the take-back, in their order, with the keys of the rows they reverse.
struct Plan {
    QList<RunRow> taxes, shares;
    QList<qint64> taxKeys, shareKeys;
};


// The run's share and tax rows by account, and each account's balance now. On a
// server inside the write (`lock`), each account is locked first, in account
// order, with the lock every posting on it takes; a file's write shuts out every
// other writer. Refused, naming the first account in account order, where an
// account no longer holds its share less its tax.
Outcome planOf(QSqlDatabase &database, const Run &posted, bool lock, Plan *plan)
{
    *plan = Plan();
    if (!posted.firstKey || !posted.lastKey)
        return Outcome::refused(notPostedText(posted.month));
    const QString key = db::keyColumn(database);
    const bool server = db::dialect(database).hasOperatorRoles();
    QSqlQuery query;
    Outcome outcome = run(database,
                          QStringLiteral("SELECT n.%1, n.norekening, n.kode, n.debet, n.kredit, (SELECT d.nama FROM daftar d "
                                         "WHERE d.norekening = n.norekening ORDER BY d.%1 LIMIT 1) FROM nabubg n "
                                         "WHERE n.%1 BETWEEN ? AND ? AND n.kode IN ('03', '04') ORDER BY n.%1")
                              .arg(key),
                          {*posted.firstKey, *posted.lastKey}, &query);
    if (!outcome.isOk())
        return outcome;
    QMap<QString, Held> accounts; // in account order
    qint64 rows = 0;
    while (query.next()) {
        Held &held = accounts[query.value(1).toString()];
        held.name = query.value(5).toString();
        const std::optional<Money> debet = Money::fromStored(query.value(3));
        const std::optional<Money> kredit = Money::fromStored(query.value(4));
        if (!debet || !kredit)
            return Outcome::failed(ledger::unreadableBalanceText(query.value(1).toString(), query.value(0).toLongLong()));
        if (query.value(2).toString() == QLatin1String(kShareCode)) {
            held.shareKey = query.value(0).toLongLong();
            held.share = *kredit;
        } else {
            held.taxKey = query.value(0).toLongLong();
            held.tax = *debet;
        }
        ++rows;
    }
    if (query.lastError().isValid())
        return Outcome::failed(db::describeError(query.lastError(), database));
    query.finish();
    if (rows != posted.rows)
        return Outcome::failed(QStringLiteral("Bagi hasil bulan %1: %2 baris posting terbaca, tercatat %3.")
                                   .arg(posted.month.text())
                                   .arg(rows)
                                   .arg(posted.rows));

    const QStringList numbers = accounts.keys();
    const QString list = numbers.join(QChar(0x1f));
    if (server) {
        if (lock) {
            outcome = run(database,
                          QStringLiteral("SELECT simparo_kunci('nabubg.norekening', s.n) FROM (SELECT n FROM "
                                         "unnest(string_to_array(CAST(? AS text), chr(31))) AS n ORDER BY n) AS s"),
                          {list}, &query);
            if (!outcome.isOk())
                return outcome;
            query.finish();
        }
        outcome = run(database,
                      QStringLiteral("SELECT DISTINCT ON (norekening) norekening, saldo FROM nabubg "
                                     "WHERE norekening = ANY (string_to_array(CAST(? AS text), chr(31))) "
                                     "ORDER BY norekening, %1 DESC")
                          .arg(key),
                      {list}, &query);
    } else {
        outcome = run(database,
                      QStringLiteral("SELECT n.norekening, n.saldo FROM nabubg n JOIN (SELECT norekening, max(rowid) AS k "
                                     "FROM nabubg WHERE rowid >= ? GROUP BY norekening) l ON n.rowid = l.k"),
                      {*posted.firstKey}, &query);
    }
    if (!outcome.isOk())
        return outcome;
    while (query.next()) {
        const auto found = accounts.find(query.value(0).toString());
        if (found != accounts.end())
            found->balance = ledger::balanceOf(query.value(1));
    }
    if (query.lastError().isValid())
        return Outcome::failed(db::describeError(query.lastError(), database));
    query.finish();

    const QString kind = QString::fromLatin1(correction::kKind);
    const QString code = QString::fromLatin1(correction::kCode);
    for (auto held = accounts.cbegin(); held != accounts.cend(); ++held) {
        if (!held->balance)
            return Outcome::failed(ledger::unreadableBalanceText(held.key(), 0));
        const Money kept = Money::fromSen(held->share.sen() - held->tax.sen());
        if (held->balance->sen() < kept.sen())
            return Outcome::refused(withdrawnText(held.key(), held->name, *held->balance, kept));
        // The tax comes back before the share goes: the balance never falls below 0 between them.
        const Money afterTax = Money::fromSen(held->balance->sen() + held->tax.sen());
        if (held->taxKey) {
            plan->taxes << RunRow{held.key(), held->name, code, kind, Money(), held->tax, afterTax};
            plan->taxKeys << *held->taxKey;
        }
        if (held->shareKey) {
            plan->shares << RunRow{held.key(), held->name, code,
                                   kind,       held->share, Money(), Money::fromSen(afterTax.sen() - held->share.sen())};
            plan->shareKeys << *held->shareKey;
        }
    }
    return Outcome::ok();
}

// A file: each row after its link in koreksi, to the key the row is about to get
// (the file's rule keeps every new key right after the last one).
Outcome appendLinked(QSqlDatabase &database, const QList<RunRow> &rows, const QList<qint64> &reversed,
                     const QString &reason, const QString &approver, QList<qint64> *keys)
{
    const QDate today = wallclock::today();
    const QString time = wallclock::now().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    QSqlQuery query;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const RunRow &row = rows.at(i);
        Outcome outcome = run(database,
                              QStringLiteral("INSERT INTO koreksi (dibalik, nabubg_kunci, norekening, alasan, kasir, "
                                             "penyelia, waktu) VALUES (?, (SELECT coalesce(max(rowid), 0) + 1 FROM nabubg), "
                                             "?, ?, ?, ?, ?)"),
                              {reversed.at(i), row.account, reason, session::operatorName(), approver, time}, &query);
        if (!outcome.isOk())
            return outcome;
        query.finish();
        outcome = run(database,
                      QStringLiteral("INSERT INTO nabubg (norekening, nama, tanggal, kode, jenis, debet, kredit, saldo) "
                                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING rowid"),
                      {row.account, row.name, today, row.code, row.kind, row.debet.toDouble(), row.kredit.toDouble(),
                       row.saldo.toDouble()},
                      &query);
        if (!outcome.isOk())
            return outcome;
        if (!query.next())
            return Outcome::failed(db::describeError(query.lastError(), database));
        *keys << query.value(0).toLongLong();
        query.finish();
    }
    return Outcome::ok();
}

QString serverRefusal(const Outcome &outcome)
{
    const QString said = outcome.message();
    if (said.contains(QLatin1String("yang memposting tidak boleh")))
        return QString::fromLatin1(supervision::text::kPostedIt);
    if (said.contains(QLatin1String("hanya penyelia")))
        return QString::fromLatin1(supervision::text::kSupervisorsOnly);
    if (said.contains(QLatin1String("perlu persetujuan")))
        return QString::fromLatin1(supervision::text::kApprovalNeeded);
    return QString();
}

Outcome writeTakeBack(QSqlDatabase &database, const Run &asked, const std::optional<supervision::Approval> &approval,
                      qint64 *written)
{
    const bool server = db::dialect(database).hasOperatorRoles();
    supervision::Kind kind = supervision::Kind::Clerk;
    Outcome outcome = supervision::kindOf(database, session::operatorName(), &kind);
    if (!outcome.isOk())
        return outcome;
    if (kind != supervision::Kind::Supervisor)
        return Outcome::refused(QString::fromLatin1(supervision::text::kSupervisorsOnly));
    // The run as it stands now: another supervisor may have taken it back meanwhile.
    std::optional<Run> current;
    outcome = postedRun(database, asked.month, &current);
    if (!outcome.isOk())
        return outcome;
    if (!current || current->id != asked.id)
        return Outcome::refused(notPostedText(asked.month));
    const Run &posted = *current;
    outcome = supervision::useApproval(database, takeBackRequest(posted), approval);
    if (!outcome.isOk())
        return outcome;
    if (!approval)
        return Outcome::refused(QString::fromLatin1(supervision::text::kApprovalNeeded));
    if (approval->supervisor == posted.supervisor || approval->supervisor == session::operatorName())
        return Outcome::refused(QString::fromLatin1(supervision::text::kPostedIt));

    QSqlQuery query;
    const QString time = wallclock::now().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (server) {
        outcome = run(database,
                      QStringLiteral("SELECT simparo_bagi_hasil_batal_buka(CAST(? AS bigint), CAST(? AS bigint), "
                                     "CAST(? AS text))"),
                      {posted.id, approval->grant.value_or(0), time}, &query);
        if (!outcome.isOk() && !serverRefusal(outcome).isEmpty())
            return Outcome::refused(serverRefusal(outcome));
    } else {
        outcome = run(database,
                      QStringLiteral("UPDATE bagi_hasil SET batal = ?, batal_penyelia = ?, batal_penyetuju = ? "
                                     "WHERE id = ? AND batal IS NULL"),
                      {time, session::operatorName(), approval->supervisor, posted.id}, &query);
        if (outcome.isOk() && query.numRowsAffected() != 1)
            return Outcome::refused(notPostedText(posted.month));
    }
    if (!outcome.isOk())
        return outcome;
    query.finish();

    Plan plan;
    outcome = planOf(database, posted, true, &plan);
    if (!outcome.isOk())
        return outcome;
    QList<qint64> keys;
    const QString reason = QStringLiteral("%1 %2").arg(QLatin1String(audit::action::kMonthEndTakeBack), posted.month.text());
    if (server) {
        // The taxes come back first, then the shares go: one statement each.
        outcome = detail::appendAtOnce(database, plan.taxes, QLatin1String(correction::kCode),
                                       QLatin1String(correction::kKind), &keys);
        if (outcome.isOk())
            outcome = detail::appendAtOnce(database, plan.shares, QLatin1String(correction::kCode),
                                           QLatin1String(correction::kKind), &keys);
    } else {
        outcome = appendLinked(database, plan.taxes, plan.taxKeys, reason, approval->supervisor, &keys);
        if (outcome.isOk())
            outcome = appendLinked(database, plan.shares, plan.shareKeys, reason, approval->supervisor, &keys);
    }
    if (!outcome.isOk())
        return outcome;
    const qint64 count = keys.size();
    if (keys.isEmpty() || count != posted.rows)
        return Outcome::failed(QStringLiteral("Batal bagi hasil: %1 baris tertulis, seharusnya %2.")
                                   .arg(count)
                                   .arg(posted.rows));
    audit::Coverage coverage;
    outcome = audit::coverTakeBack(database, &coverage, *std::min_element(keys.cbegin(), keys.cend()),
                                   *std::max_element(keys.cbegin(), keys.cend()));
    if (!outcome.isOk())
        return outcome;
    if (coverage.count != count)
        return Outcome::failed(QStringLiteral("Batal bagi hasil: %1 baris ditulis, %2 terbaca kembali.")
                                   .arg(count)
                                   .arg(coverage.count));
    outcome = server ? run(database,
                           QStringLiteral("SELECT simparo_bagi_hasil_batal_tutup(CAST(? AS bigint), CAST(? AS bigint), "
                                          "CAST(? AS bigint), CAST(? AS bigint))"),
                           {posted.id, *coverage.first, *coverage.last, coverage.count}, &query)
                     : run(database,
                           QStringLiteral("UPDATE bagi_hasil SET batal_awal = ?, batal_akhir = ?, batal_baris = ? "
                                          "WHERE id = ?"),
                           {*coverage.first, *coverage.last, coverage.count, posted.id}, &query);
    if (!outcome.isOk())
        return outcome;
    query.finish();

    audit::Entry entry;
    entry.tindakan = QLatin1String(audit::action::kMonthEndTakeBack);
    entry.tabel = QStringLiteral("bagi_hasil");
    entry.kunci = posted.id;
    QStringList lines{audit::detail(QStringLiteral("bulan"), posted.month.text()),
                      audit::detail(QStringLiteral("jejak_posting"),
                                    posted.trailNumber ? QString::number(*posted.trailNumber) : QString()),
                      audit::detail(QStringLiteral("penyelia"), approval->supervisor)};
    if (approval->grant)
        lines << audit::detail(QStringLiteral("persetujuan"), QString::number(*approval->grant));
    entry.rincian = lines.join(u'\n') + u'\n' + audit::coverageDetails(coverage);
    outcome = audit::append(database, entry);
    if (outcome.isOk())
        *written = count;
    return outcome;
}

} // namespace

QString notPostedText(const Month &month)
{
    return QStringLiteral("BAGI HASIL BULAN %1 BELUM DIPOSTING").arg(month.text());
}

QString withdrawnText(const QString &account, const QString &name, Money balance, Money kept)
{
    return QStringLiteral("POSTING TIDAK BISA DIBATALKAN: BAGI HASIL REKENING %1 (%2) SUDAH DITARIK. SALDONYA "
                          "Rp %3, BAGI HASIL SETELAH PAJAK Rp %4.")
        .arg(account, name, balance.toText(), kept.toText());
}

supervision::Request takeBackRequest(const Run &posted)
{
    supervision::Request asked;
    asked.action = QLatin1String(supervision::kTakeBackAction);
    asked.account = posted.month.text();
    asked.amount = posted.totalGross;
    asked.reversed = posted.id;
    return asked;
}

Outcome judgeTakeBack(const QString &connectionText, const Month &month, Run *judged)
{
    return db::readAlone(connectionText, [&](QSqlDatabase &database) {
        std::optional<Run> posted;
        Outcome outcome = postedRun(database, month, &posted);
        if (!outcome.isOk())
            return outcome;
        if (!posted)
            return Outcome::refused(notPostedText(month));
        *judged = *posted;
        Plan plan;
        return planOf(database, *posted, false, &plan);
    });
}

Outcome takeBack(const QString &connectionText, const Run &posted, const std::optional<supervision::Approval> &approval,
                 qint64 *rows)
{
    *rows = 0;
    return db::writeAlone(connectionText,
                          [&](QSqlDatabase &database) { return writeTakeBack(database, posted, approval, rows); });
}

} // namespace monthend
