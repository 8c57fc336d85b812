#include "savings/correction.h"

#include "data/engine/writealone.h"

#include "data/base/session.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/trail/ledgerchain.h"
#include "savings/posting.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

namespace correction {

namespace text {
const char *const kNoRow = "PILIH DULU BARIS YANG AKAN DIKOREKSI";
const char *const kReasonMissing = "ALASAN KOREKSI HARUS DIISI";
const char *const kIsCorrection = "BARIS INI SENDIRI SEBUAH KOREKSI DAN TIDAK BISA DIKOREKSI";
const char *const kNotPosting = "HANYA SETORAN ATAU PENARIKAN YANG BISA DIKOREKSI";
const char *const kAlreadyCorrected = "BARIS INI SUDAH DIKOREKSI";
const char *const kMoneyGone =
    "KOREKSI DITOLAK: UANG SETORAN INI SUDAH DITARIK, SALDO REKENING TIDAK CUKUP UNTUK MEMBALIKNYA";
const char *const kNotUpgraded =
    "DATABASE INI BELUM BISA MENCATAT KOREKSI. MINTA PETUGAS TI MENJALANKAN simparo-initdb --upgrade.";
} // namespace text

namespace {

using db::run;

Outcome refused(const char *text)
{
    return Outcome::refused(QString::fromLatin1(text));
}

} // namespace

Outcome judge(QSqlDatabase &database, qint64 key, Original *row, bool balance)
{
    *row = Original();
    // A database made before corrections has no table to link them.
    QStringList tables, views;
    QSqlError failure;
    if (!db::dialect(database).relationNames(database, &tables, &views, &failure))
        return Outcome::failed(db::describeError(failure, database));
    if (!tables.contains(QStringLiteral("koreksi"), Qt::CaseInsensitive))
        return refused(text::kNotUpgraded);
    QSqlQuery query;
    Outcome outcome =
        run(database,
            QStringLiteral("SELECT norekening, kode, debet, kredit FROM nabubg WHERE %1 = ?").arg(db::keyColumn(database)),
            {key}, &query);
    if (!outcome.isOk())
        return outcome;
    if (!query.next())
        return refused(text::kNoRow);
    row->key = key;
    row->account = query.value(0).toString();
    row->code = query.value(1).toString();
    const std::optional<Money> debet = Money::fromStored(query.value(2));
    const std::optional<Money> kredit = Money::fromStored(query.value(3));
    query.finish();
    if (row->code == QLatin1String(kCode))
        return refused(text::kIsCorrection);
    // Only a deposit or a withdrawal as the screens write them: one amount, the other 0.
    const bool deposit = row->code == QLatin1String("01");
    if ((!deposit && row->code != QLatin1String("02")) || !debet || !kredit
        || (deposit ? debet->sen() != 0 || kredit->sen() <= 0 : kredit->sen() != 0 || debet->sen() <= 0))
        return refused(text::kNotPosting);
    row->debet = *debet;
    row->kredit = *kredit;
    outcome = run(database, QStringLiteral("SELECT 1 FROM koreksi WHERE dibalik = ?"), {key}, &query);
    if (!outcome.isOk())
        return outcome;
    if (query.next())
        return refused(text::kAlreadyCorrected);
    query.finish();
    if (!balance || !row->deposit())
        return Outcome::ok();
    Money latest;
    outcome = posting::latestBalance(database, row->account, &latest);
    if (!outcome.isOk())
        return outcome;
    return latest < row->kredit ? refused(text::kMoneyGone) : Outcome::ok();
}

Outcome judge(const QString &connectionText, qint64 key, Original *row)
{
    return db::readAlone(connectionText, [&](QSqlDatabase &database) { return judge(database, key, row); });
}

supervision::Request request(const Original &row, const QString &reason)
{
    supervision::Request asked;
    asked.action = QLatin1String(supervision::kCorrectionAction);
    asked.account = row.account;
    asked.amount = row.amount();
    asked.reversed = row.key;
    asked.reason = reason;
    return asked;
}

QVector<QVariant> ledgerRow(const Original &row, const QDate &date)
{
    return {row.account,         QVariant(), date, QString::fromLatin1(kCode), QString::fromLatin1(kKind),
            row.kredit.toDouble(), row.debet.toDouble(), QVariant()};
}

recordwrite::Check check(const Original &original, const QString &reason,
                         const std::optional<supervision::Approval> &approval)
{
    return [original, reason, approval](QSqlDatabase &database, QVector<QVariant> &written) {
        // Serialised with every posting on the account, at every counter.
        Outcome outcome = ledger::lockAccount(database, original.account);
        if (!outcome.isOk())
            return outcome;
        Original row;
        outcome = judge(database, original.key, &row, false);
        if (!outcome.isOk())
            return outcome;
        if (row.account != original.account || row.debet != original.debet || row.kredit != original.kredit)
            return refused(text::kNotPosting);
        // Reversing a deposit takes money out: a block on withdrawals stops it too.
        outcome = supervision::checkBlock(database, row.account, row.deposit());
        if (!outcome.isOk())
            return outcome;
        QString name;
        outcome = posting::registeredName(database, row.account, &name);
        if (!outcome.isOk())
            return outcome;
        Money previous;
        outcome = posting::latestBalance(database, row.account, &previous);
        if (!outcome.isOk())
            return outcome;
        const std::optional<Money> balance = row.deposit() ? previous.minus(row.kredit) : previous.plus(row.debet);
        if (!balance || balance->sen() < 0)
            return refused(text::kMoneyGone);
        outcome = supervision::useApproval(database, request(row, reason), approval);
        if (!outcome.isOk())
            return outcome;
        written[1] = name;
        written[7] = balance->toDouble();
        if (db::dialect(database).hasOperatorRoles())
            return Outcome::ok();
        // A file: the link, to the key the row is about to get (the file's rule
        // keeps every new key right after the last one, and this write shuts out
        // every other writer).
        QSqlQuery query;
        return run(database,
                   QStringLiteral("INSERT INTO koreksi (dibalik, nabubg_kunci, norekening, alasan, kasir, penyelia, waktu) "
                                  "VALUES (?, (SELECT coalesce(max(rowid), 0) + 1 FROM nabubg), ?, ?, ?, ?, ?)"),
                   {row.key, row.account, reason, session::operatorName(), approval ? approval->supervisor : QString(),
                    QDateTime::currentDateTime().toString(Qt::ISODate)},
                   &query);
    };
}

audit::Entry trailEntry(const Original &row, const QString &reason, const supervision::Approval &approval,
                        const QString &token)
{
    audit::Entry entry;
    entry.tindakan = QLatin1String(audit::action::kCorrection);
    entry.norekening = row.account;
    entry.token = token;
    QStringList lines{audit::detail(QStringLiteral("dibalik"), QString::number(row.key)),
                      audit::detail(QStringLiteral("alasan"), reason),
                      audit::detail(QStringLiteral("penyelia"), approval.supervisor)};
    if (approval.grant)
        lines << audit::detail(QStringLiteral("persetujuan"), QString::number(*approval.grant));
    entry.rincian = lines.join(u'\n');
    return entry;
}

QString refusalOf(const QString &words)
{
    const std::pair<const char *, const char *> known[] = {
        {"sudah dikoreksi", text::kAlreadyCorrected},
        {"sendiri koreksi", text::kIsCorrection},
        {"hanya setoran atau penarikan", text::kNotPosting},
        {"alasan harus", text::kReasonMissing},
        {"melebihi saldo", text::kMoneyGone},
        {"koreksi perlu persetujuan", supervision::text::kCorrectionNeedsApproval},
    };
    for (const auto &[said, meant] : known)
        if (words.contains(QLatin1String(said)))
            return QString::fromLatin1(meant);
    return words;
}

} // namespace correction
