#include "data/operators/supervision.h"

#include "data/trail/audit.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/operators/operators.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/records/recordsource.h"
#include "data/base/session.h"

#include <QDateTime>
#include <QSqlQuery>

namespace supervision {

namespace text {
const char *const kWrongPassword = "PASSWORD PENYELIA SALAH";
const char *const kNotSupervisor = "BUKAN PENYELIA";
const char *const kOwnAction = "PENYELIA TIDAK BOLEH MENYETUJUI TINDAKANNYA SENDIRI";
const char *const kNeedsApproval = "PENARIKAN DI ATAS BATAS PERLU PERSETUJUAN PENYELIA";
const char *const kCorrectionNeedsApproval = "KOREKSI PERLU PERSETUJUAN PENYELIA";
const char *const kApprovalNeeded = "TINDAKAN INI PERLU PERSETUJUAN PENYELIA LAIN";
const char *const kPostedIt = "PENYELIA YANG MEMPOSTING BAGI HASIL INI TIDAK BOLEH MENYETUJUI PEMBATALANNYA";
const char *const kSupervisorsOnly = "HANYA PENYELIA YANG BOLEH";
const char *const kBlocked = "REKENING DIBLOKIR: ";
const char *const kBlockReasonMissing = "ALASAN BLOKIR BELUM DIPILIH";
const char *const kNotBlocked = "REKENING INI TIDAK DIBLOKIR";
const char *const kBlockAccountUnknown = "NO REKENING TIDAK ADA DI DATA NASABAH";
} // namespace text

namespace {

const QString kKinds = QStringLiteral("jenis_operator");

using db::run;

// A database made before the table existed, and not yet upgraded, holds none of
// its rows: no operator is a supervisor there, no setting is changed and no
// account is blocked, and the clerks post on as before. Asked before the
// statement, since on a server a failed statement spoils the transaction around it.
Outcome present(QSqlDatabase &database, const QString &table, bool *there)
{
    QStringList tables, views;
    QSqlError failure;
    if (!db::dialect(database).relationNames(database, &tables, &views, &failure))
        return Outcome::failed(db::describeError(failure, database));
    *there = tables.contains(table, Qt::CaseInsensitive);
    return Outcome::ok();
}

// The last supervisor's rule refused the change (the file's trigger, the server's check).
bool leavesNoSupervisor(const Outcome &outcome)
{
    return outcome.message().contains(QLatin1String("penyelia terakhir"));
}

using db::readAlone;

} // namespace

QString kindText(Kind kind)
{
    return kind == Kind::Supervisor ? QStringLiteral("penyelia") : QStringLiteral("kasir");
}

std::optional<Kind> kindNamed(const QString &text)
{
    if (text == QLatin1String("penyelia"))
        return Kind::Supervisor;
    if (text == QLatin1String("kasir"))
        return Kind::Clerk;
    return std::nullopt;
}

QString lastSupervisorText(const QString &user)
{
    return QStringLiteral("Operator \"%1\" adalah penyelia terakhir; penyelia terakhir tidak boleh dihapus atau "
                          "dijadikan kasir (tidak ada lagi yang bisa menyetujui atau mengubah pengaturan). "
                          "Jadikan operator lain penyelia dulu.")
        .arg(user);
}

Outcome setKind(QSqlDatabase &database, qint64 key, const QString &user, Kind kind)
{
    QSqlQuery query;
    Outcome outcome = run(database,
                          QStringLiteral("INSERT INTO jenis_operator (nama, jenis) VALUES (?, ?) "
                                         "ON CONFLICT (nama) DO UPDATE SET jenis = excluded.jenis"),
                          {user, kindText(kind)}, &query);
    if (!outcome.isOk())
        return leavesNoSupervisor(outcome) ? Outcome::refused(lastSupervisorText(user)) : outcome;
    query.finish();
    if (!db::dialect(database).hasOperatorRoles())
        return Outcome::ok();
    return run(database, QStringLiteral("SELECT simparo_atur_penyelia(CAST(? AS bigint), CAST(? AS boolean))"),
               {key, kind == Kind::Supervisor}, &query);
}

Outcome forget(QSqlDatabase &database, const QString &user)
{
    QSqlQuery query;
    const Outcome outcome = run(database, QStringLiteral("DELETE FROM jenis_operator WHERE nama = ?"), {user}, &query);
    if (!outcome.isOk() && leavesNoSupervisor(outcome))
        return Outcome::refused(lastSupervisorText(user));
    return outcome;
}

Outcome renamed(QSqlDatabase &database, const QString &from, const QString &to)
{
    QSqlQuery query;
    return run(database, QStringLiteral("UPDATE jenis_operator SET nama = ? WHERE nama = ?"), {to, from}, &query);
}

Outcome storedKinds(QSqlDatabase &database, QHash<QString, Kind> *kinds)
{
    kinds->clear();
    bool there = false;
    if (const Outcome asked = present(database, QStringLiteral("jenis_operator"), &there); !asked.isOk() || !there)
        return asked;
    QSqlQuery query;
    const Outcome outcome = run(database, QStringLiteral("SELECT nama, jenis FROM jenis_operator"), {}, &query);
    if (!outcome.isOk())
        return outcome;
    while (query.next())
        kinds->insert(query.value(0).toString(), kindNamed(query.value(1).toString()).value_or(Kind::Clerk));
    return Outcome::ok();
}

Outcome kindOf(QSqlDatabase &database, const QString &user, Kind *kind)
{
    *kind = Kind::Clerk;
    QSqlQuery query;
    // On a server the session's own role is asked: the table only mirrors it.
    const bool server = db::dialect(database).hasOperatorRoles();
    bool there = true;
    if (const Outcome asked = present(database, server ? QStringLiteral("pengaturan") : kKinds, &there);
        !asked.isOk() || !there)
        return asked;
    const Outcome outcome =
        server ? run(database, QStringLiteral("SELECT simparo_penyelia_sesi()"), {}, &query)
               : run(database, QStringLiteral("SELECT jenis = 'penyelia' FROM jenis_operator WHERE nama = ?"), {user},
                     &query);
    if (!outcome.isOk())
        return outcome;
    if (query.next() && query.value(0).toBool())
        *kind = Kind::Supervisor;
    return Outcome::ok();
}

Outcome sessionKind(const QString &connectionText, Kind *kind)
{
    return readAlone(connectionText,
                     [&](QSqlDatabase &database) { return kindOf(database, session::operatorName(), kind); });
}

namespace {

// In a file, which has no roles: refused unless the operator who logged in is a supervisor.
Outcome supervisorAtWork(QSqlDatabase &database)
{
    Kind kind = Kind::Clerk;
    const Outcome outcome = kindOf(database, session::operatorName(), &kind);
    if (outcome.isOk() && kind != Kind::Supervisor)
        return Outcome::refused(QString::fromLatin1(text::kSupervisorsOnly));
    return outcome;
}

} // namespace

Outcome withdrawalLimit(QSqlDatabase &database, Money *limit)
{
    *limit = kDefaultWithdrawalLimit;
    bool there = false;
    if (const Outcome asked = present(database, QStringLiteral("pengaturan"), &there); !asked.isOk() || !there)
        return asked;
    QSqlQuery query;
    const Outcome outcome = run(database, QStringLiteral("SELECT nilai FROM pengaturan WHERE kunci = ?"),
                                {QLatin1String(kWithdrawalLimit)}, &query);
    if (!outcome.isOk())
        return outcome;
    if (query.next()) {
        bool number = false;
        const qint64 sen = query.value(0).toString().toLongLong(&number);
        // A value that is no amount is not taken as none: nothing above 0 passes unseen.
        *limit = number && sen >= 0 ? Money::fromSen(sen) : Money::fromSen(0);
    }
    return Outcome::ok();
}

Outcome withdrawalLimit(const QString &connectionText, Money *limit)
{
    return readAlone(connectionText, [&](QSqlDatabase &database) { return withdrawalLimit(database, limit); });
}

Outcome requireSupervisor(QSqlDatabase &database)
{
    return supervisorAtWork(database);
}

Outcome setWithdrawalLimit(const QString &connectionText, Money limit)
{
    if (limit.sen() < 0)
        return Outcome::refused(QStringLiteral("Batas penarikan tidak boleh kurang dari 0."));
    return setNumberSetting(connectionText, kWithdrawalLimit, limit.sen());
}

Outcome numberSetting(QSqlDatabase &database, const char *key, qint64 fallback, qint64 *value)
{
    *value = fallback;
    bool there = false;
    if (const Outcome asked = present(database, QStringLiteral("pengaturan"), &there); !asked.isOk() || !there)
        return asked;
    QSqlQuery query;
    const Outcome outcome =
        run(database, QStringLiteral("SELECT nilai FROM pengaturan WHERE kunci = ?"), {QLatin1String(key)}, &query);
    if (!outcome.isOk())
        return outcome;
    if (query.next()) {
        bool number = false;
        const qint64 stored = query.value(0).toString().toLongLong(&number);
        if (number && stored >= 0)
            *value = stored;
    }
    return Outcome::ok();
}

Outcome numberSetting(const QString &connectionText, const char *key, qint64 fallback, qint64 *value)
{
    return readAlone(connectionText,
                     [&](QSqlDatabase &database) { return numberSetting(database, key, fallback, value); });
}

Outcome setNumberSetting(const QString &connectionText, const char *key, qint64 number)
{
    if (number < 0)
        return Outcome::refused(QStringLiteral("Nilai pengaturan tidak boleh kurang dari 0."));
    const QString value = QString::number(number);
    return db::writeAlone(connectionText, [&](QSqlDatabase &database) {
        QSqlQuery query;
        if (db::dialect(database).hasOperatorRoles()) {
            // The server checks the session's role itself and writes the trail row.
            Outcome outcome = run(database,
                                  QStringLiteral("SELECT simparo_ubah_pengaturan(CAST(? AS text), CAST(? AS text), "
                                                 "CAST(? AS text), CAST(? AS text))"),
                                  {QLatin1String(key), value, audit::currentZone(), session::counterName()},
                                  &query);
            if (!outcome.isOk() && outcome.message().contains(QLatin1String("hanya penyelia")))
                return Outcome::refused(QString::fromLatin1(text::kSupervisorsOnly));
            return outcome;
        }
        Outcome outcome = supervisorAtWork(database);
        if (!outcome.isOk())
            return outcome;
        outcome = run(database, QStringLiteral("SELECT nilai FROM pengaturan WHERE kunci = ?"), {QLatin1String(key)},
                      &query);
        if (!outcome.isOk())
            return outcome;
        const QString old = query.next() ? query.value(0).toString() : QString();
        query.finish();
        outcome = run(database,
                      QStringLiteral("INSERT INTO pengaturan (kunci, nilai) VALUES (?, ?) "
                                     "ON CONFLICT (kunci) DO UPDATE SET nilai = excluded.nilai"),
                      {QLatin1String(key), value}, &query);
        if (!outcome.isOk())
            return outcome;
        query.finish();
        audit::Entry entry;
        entry.tindakan = QLatin1String(audit::action::kSettingChange);
        entry.tabel = QStringLiteral("pengaturan");
        entry.rincian = audit::change(QLatin1String(key), old, value);
        return audit::append(database, entry);
    });
}

// ---------------------------------------------------------------------------
// Blocked accounts

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
    if (const Outcome asked = present(database, QStringLiteral("blokir"), &there); !asked.isOk() || !there)
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
    return readAlone(connectionText,
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
        QSqlQuery query;
        if (db::dialect(database).hasOperatorRoles()) {
            // The server checks the session's role, the account and the state itself, and writes the trail row.
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
        Outcome outcome = supervisorAtWork(database);
        if (!outcome.isOk())
            return outcome;
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
    });
}

} // namespace supervision
