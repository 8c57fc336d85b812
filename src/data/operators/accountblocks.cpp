// Blocked accounts: a supervisor's block on an account's withdrawals or on all its
// postings, kept as events, and the check of a posting against it.
#include "data/operators/supervision.h"

#include "data/operators/supervision_p.h"
#include "data/trail/audit.h"
#include "data/engine/dialect.h"
#include "data/engine/writealone.h"
#include "data/base/session.h"

#include <QDateTime>
#include <QSqlQuery>

namespace supervision {

namespace {

using db::run;

// On a server: the server checks the session's role, the account and the state
// itself, and writes the trail row; its refusals are told as the program's own.
Outcome blockOnServer(QSqlDatabase &database, const QString &account, Block block, const QString &why,
                      const QString &note)
{
    QSqlQuery query;
    const Outcome outcome =
        run(database,
            QStringLiteral("SELECT simparo_blokir(CAST(? AS text), CAST(? AS text), CAST(? AS text), "
                           "CAST(? AS text), CAST(? AS text), CAST(? AS text))"),
            {account, blockText(block), why, note, audit::currentZone(), session::counterName()}, &query);
    const QString said = outcome.message();
    if (outcome.isOk())
        return outcome;
    if (said.contains(QLatin1String("hanya penyelia")))
        return Outcome::refused(QString::fromLatin1(text::kSupervisorsOnly));
    if (said.contains(QLatin1String("tidak ada di daftar")))
        return Outcome::refused(QString::fromLatin1(text::kBlockAccountUnknown));
    if (said.contains(QLatin1String("tidak diblokir")))
        return Outcome::refused(QString::fromLatin1(text::kNotBlocked));
    if (said.contains(QLatin1String("alasan harus")))
        return Outcome::refused(QString::fromLatin1(text::kBlockReasonMissing));
    return outcome;
}

// In a file the program refuses what the server would: a clerk, an account not
// registered, and lifting an account that is not blocked.
Outcome mayBlockInFile(QSqlDatabase &database, const QString &account, Block block)
{
    Outcome outcome = requireSupervisor(database);
    if (!outcome.isOk())
        return outcome;
    QSqlQuery query;
    outcome = run(database, QStringLiteral("SELECT 1 FROM daftar WHERE norekening = ? LIMIT 1"), {account}, &query);
    if (!outcome.isOk())
        return outcome;
    if (!query.next())
        return Outcome::refused(QString::fromLatin1(text::kBlockAccountUnknown));
    query.finish();
    BlockState state;
    outcome = currentBlock(database, account, &state);
    if (!outcome.isOk())
        return outcome;
    if (block == Block::None && state.block == Block::None)
        return Outcome::refused(QString::fromLatin1(text::kNotBlocked));
    return Outcome::ok();
}

// In a file: the block's event and its trail row.
Outcome blockInFile(QSqlDatabase &database, const QString &account, Block block, const QString &why,
                    const QString &note)
{
    Outcome outcome = mayBlockInFile(database, account, block);
    if (!outcome.isOk())
        return outcome;
    QSqlQuery query;
    outcome = run(database,
                  QStringLiteral("INSERT INTO blokir (norekening, jenis, alasan, keterangan, penyelia, waktu) "
                                 "VALUES (?, ?, ?, ?, ?, ?)"),
                  {account, blockText(block), why, note, session::operatorName(),
                   QDateTime::currentDateTime().toString(Qt::ISODate)},
                  &query);
    if (!outcome.isOk())
        return outcome;
    const qint64 key = query.lastInsertId().toLongLong();
    query.finish();
    audit::Entry entry;
    entry.tindakan = QLatin1String(block == Block::None ? audit::action::kUnblock : audit::action::kBlock);
    entry.tabel = QStringLiteral("blokir");
    entry.kunci = key;
    entry.norekening = account;
    entry.rincian = audit::detail(QStringLiteral("jenis"), blockText(block)) + u'\n'
        + audit::detail(QStringLiteral("alasan"), why) + u'\n'
        + audit::detail(QStringLiteral("keterangan"), note);
    return audit::append(database, entry);
}

} // namespace

QString blockText(Block block)
{
    switch (block) {
    case Block::Withdrawals:
        return QStringLiteral("debet");
    case Block::Everything:
        return QStringLiteral("semua");
    case Block::None:
        break;
    }
    return QStringLiteral("buka");
}

QStringList blockReasons()
{
    return {QStringLiteral("Buku hilang"), QStringLiteral("Permintaan wali"), QStringLiteral("Meninggal dunia"),
            QStringLiteral("Perintah pihak berwenang"), QStringLiteral("Lainnya")};
}

Outcome currentBlock(QSqlDatabase &database, const QString &account, BlockState *state)
{
    *state = BlockState();
    bool there = false;
    if (const Outcome asked = detail::present(database, QStringLiteral("blokir"), &there); !asked.isOk() || !there)
        return asked;
    QSqlQuery query;
    const Outcome outcome =
        run(database,
            QStringLiteral("SELECT jenis, alasan, keterangan, penyelia FROM blokir WHERE norekening = ? "
                           "ORDER BY id DESC LIMIT 1"),
            {account}, &query);
    if (!outcome.isOk() || !query.next())
        return outcome;
    const QString kind = query.value(0).toString();
    // A kind this program does not know is taken as the strictest.
    state->block = kind == QLatin1String("buka")    ? Block::None
                   : kind == QLatin1String("debet") ? Block::Withdrawals
                                                    : Block::Everything;
    state->reason = query.value(1).toString();
    state->note = query.value(2).toString();
    state->supervisor = query.value(3).toString();
    return Outcome::ok();
}

Outcome currentBlock(const QString &connectionText, const QString &account, BlockState *state)
{
    return db::readAlone(connectionText,
                     [&](QSqlDatabase &database) { return currentBlock(database, account, state); });
}

bool forbids(Block block, bool withdrawal)
{
    return block == Block::Everything || (block == Block::Withdrawals && withdrawal);
}

QString blockedText(const BlockState &state)
{
    return QString::fromLatin1(text::kBlocked) + state.reason;
}

Outcome checkBlock(QSqlDatabase &database, const QString &account, bool withdrawal)
{
    BlockState state;
    const Outcome outcome = currentBlock(database, account, &state);
    if (!outcome.isOk())
        return outcome;
    return forbids(state.block, withdrawal) ? Outcome::refused(blockedText(state)) : Outcome::ok();
}

Outcome setBlock(const QString &connectionText, const QString &account, Block block, const QString &reason,
                 const QString &remark)
{
    if (block != Block::None && !blockReasons().contains(reason))
        return Outcome::refused(QString::fromLatin1(text::kBlockReasonMissing));
    // No text is an empty one, never NULL.
    const QString why = reason.isNull() ? QString::fromUtf8("") : reason;
    const QString note = remark.isNull() ? QString::fromUtf8("") : remark;
    return db::writeAlone(connectionText, [&](QSqlDatabase &database) {
        return db::dialect(database).hasOperatorRoles() ? blockOnServer(database, account, block, why, note)
                                                        : blockInFile(database, account, block, why, note);
    });
}

} // namespace supervision
